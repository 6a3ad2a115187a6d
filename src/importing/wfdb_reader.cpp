#include "importing/wfdb_reader.hpp"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "formats/files.hpp"
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

// The recording is replaced only when every signal decodes.
bool decode_record(const WfdbHeader& header, const std::map<std::string, std::string>& files,
                   SourceRecording& recording, std::string& reason) {
    SourceRecording decoded;
    if (!decode_wfdb_signals(header, files, decoded.signals, reason)) return false;
    decoded.format = format_text(header);
    decoded.rate_hz = header.rate_hz;
    decoded.unit_note = unit_note(header);
    recording = std::move(decoded);
    return true;
}

}  // namespace

bool decode_wfdb_record(std::string_view header_text,
                        const std::map<std::string, std::string>& signal_files,
                        SourceRecording& recording, std::string& reason) {
    WfdbHeader header;
    return parse_wfdb_header(header_text, header, reason) &&
           decode_record(header, signal_files, recording, reason);
}

bool read_wfdb_record(const std::filesystem::path& header_file, SourceRecording& recording,
                      std::string& reason) {
    std::string header_text;
    WfdbHeader header;
    if (!read_whole_file(header_file.string(), header_text, reason) ||
        !parse_wfdb_header(header_text, header, reason))
        return false;
    std::map<std::string, std::string> files;
    for (const WfdbFile& file : header.files) {
        const std::filesystem::path path = header_file.parent_path() / file.name;
        if (!read_whole_file(path.string(), files[file.name], reason)) {
            reason = file.name + ": " + reason;
            return false;
        }
    }
    return decode_record(header, files, recording, reason);
}

}  // namespace mapari::importing
