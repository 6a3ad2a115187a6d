#include "importing/wfdb_reader.hpp"

#include <algorithm>
#include <fstream>
#include <set>
#include <utility>
#include <vector>

#include "formats/files.hpp"
#include "formats/messages.hpp"
#include "importing/wfdb_header.hpp"
#include "importing/wfdb_signals.hpp"

namespace mapari::importing {
namespace {

// "WFDB (format 212)", or "WFDB (formats 16, 212)" when the files differ.
std::string format_text(const WfdbHeader& header) {
    std::set<int> formats;
    for (const WfdbFile& file : header.files) formats.insert(file.format);
    std::string text = formats.size() == 1 ? "WFDB (format " : "WFDB (formats ";
    for (int format : formats)
        text += (format == *formats.begin() ? "" : ", ") + std::to_string(format);
    return text + ")";
}

// "no unit given: millivolts assumed" when no signal has one, "no unit given
// for V5, vx: ..." when some have; empty when all have.
std::string assumption(const WfdbHeader& header, bool WfdbSignal::*given, const std::string& what,
                       const std::string& assumed) {
    std::vector<std::string> labels;
    for (const WfdbSignal& signal : header.signals)
        if (!(signal.*given)) labels.push_back(signal.label);
    if (labels.empty()) return "";
    std::string text = "no " + what + " given";
    if (labels.size() < header.signals.size()) {
        text += " for ";
        for (std::size_t i = 0; i < labels.size(); ++i) text += (i == 0 ? "" : ", ") + labels[i];
    }
    return text + ": " + assumed + " assumed";
}

// How the values became microvolts where the header left it open.
std::string unit_note(const WfdbHeader& header) {
    const std::string unit = assumption(header, &WfdbSignal::unit_given, "unit", "millivolts");
    const std::string gain =
        assumption(header, &WfdbSignal::gain_given, "gain", "200 ADC units a physical unit");
    return unit + (unit.empty() || gain.empty() ? "" : "; ") + gain;
}

// What the header says of the record before its samples are read.
SourceDescription description_of(const WfdbHeader& header) {
    SourceDescription description;
    description.format = format_text(header);
    description.rate_hz = header.rate_hz;
    description.unit_note = unit_note(header);
    return description;
}

// Signal files already in memory.
class FilesInMemory final : public WfdbFiles {
  public:
    explicit FilesInMemory(const std::map<std::string, std::string>& files) : files_(files) {}

    bool size(const std::string& name, std::size_t& bytes, std::string& reason) override {
        const auto found = files_.find(name);
        if (found == files_.end()) {
            reason = "not among the signal files";
            return false;
        }
        bytes = found->second.size();
        return true;
    }

    bool read(const std::string& name, std::size_t offset, std::size_t count, std::string& bytes,
              std::string&) override {
        const std::string& file = files_.at(name);
        bytes.assign(file, std::min(offset, file.size()), count);
        return true;
    }

  private:
    const std::map<std::string, std::string>& files_;
};

// Signal files in the header's folder, each opened once and read in ranges.
class FilesOnDisk final : public WfdbFiles {
  public:
    explicit FilesOnDisk(std::filesystem::path folder) : folder_(std::move(folder)) {}

    bool size(const std::string& name, std::size_t& bytes, std::string& reason) override {
        std::ifstream* file = opened(name, reason);
        if (file == nullptr) return false;
        file->seekg(0, std::ios::end);
        bytes = static_cast<std::size_t>(std::max<std::streamoff>(0, file->tellg()));
        return true;
    }

    bool read(const std::string& name, std::size_t offset, std::size_t count, std::string& bytes,
              std::string& reason) override {
        std::ifstream* file = opened(name, reason);
        if (file == nullptr) return false;
        file->clear();
        file->seekg(static_cast<std::streamoff>(offset));
        bytes.resize(count);
        file->read(bytes.data(), static_cast<std::streamsize>(count));
        bytes.resize(static_cast<std::size_t>(file->gcount()));
        if (!file->bad()) return true;
        reason = message("it cannot be read to the end");
        return false;
    }

  private:
    std::ifstream* opened(const std::string& name, std::string& reason) {
        const auto found = open_.find(name);
        if (found != open_.end()) return &found->second;
        std::ifstream file;
        if (!open_for_reading((folder_ / name).string(), file, reason)) return nullptr;
        return &open_.emplace(name, std::move(file)).first->second;
    }

    std::filesystem::path folder_;
    std::map<std::string, std::ifstream> open_;
};

}  // namespace

bool decode_wfdb_record(std::string_view header_text,
                        const std::map<std::string, std::string>& signal_files,
                        SourceRecording& recording, std::string& reason) {
    WfdbHeader header;
    if (!parse_wfdb_header(header_text, header, reason)) return false;
    const std::unique_ptr<SourceStream> stream = open_wfdb_signals(
        header, std::make_unique<FilesInMemory>(signal_files), description_of(header), reason);
    return stream && read_whole_source(*stream, recording, reason);
}

std::unique_ptr<SourceStream> open_wfdb_record(const std::filesystem::path& header_file,
                                               std::string& reason) {
    std::string header_text;
    WfdbHeader header;
    if (!read_whole_file(header_file.string(), header_text, reason) ||
        !parse_wfdb_header(header_text, header, reason))
        return nullptr;
    return open_wfdb_signals(header, std::make_unique<FilesOnDisk>(header_file.parent_path()),
                             description_of(header), reason);
}

bool read_wfdb_record(const std::filesystem::path& header_file, SourceRecording& recording,
                      std::string& reason) {
    const std::unique_ptr<SourceStream> stream = open_wfdb_record(header_file, reason);
    return stream && read_whole_source(*stream, recording, reason);
}

}  // namespace mapari::importing
