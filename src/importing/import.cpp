#include "importing/import.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "importing/import_record.hpp"
#include "importing/resampling.hpp"
#include "importing/source_reader.hpp"
#include "recording/recording.hpp"

namespace mapari::importing {
namespace {

using Channels = std::vector<std::vector<std::int16_t>>;  // [channel - 1][frame]

std::string name_problem(const std::string& name) {
    if (name.empty() || name.size() > 6) return "it must be 1 to 6 bytes long";
    return unsafe_name_reason(name);
}

std::string hertz(double rate_hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", rate_hz);
    return text;
}

// The rate of the samples: the file's own, or the one the request states.
bool settle_rate(const ImportRequest& request, SourceRecording& source, std::string& reason) {
    if (request.rate_hz > 0.0 && source.rate_hz > 0.0 &&
        std::fabs(request.rate_hz - source.rate_hz) > 1e-9 * source.rate_hz) {
        reason = "the file says its rate is " + hertz(source.rate_hz) + "; --rate-hz says " +
                 hertz(request.rate_hz);
        return false;
    }
    if (request.rate_hz > 0.0) source.rate_hz = request.rate_hz;
    if (source.rate_hz <= 0.0) {
        reason = "the file states no rate; give it with --rate-hz";
        return false;
    }
    return true;
}

bool choose_lead_map(const ImportRequest& request, const SourceRecording& source,
                     ImportReport& report, std::string& reason) {
    for (const SourceSignal& signal : source.signals) report.labels.push_back(signal.label);
    if (request.lead_map.empty()) {
        report.map = default_lead_map(static_cast<int>(source.signals.size()));
    } else {
        std::string text;
        if (!read_whole_file(request.lead_map.string(), text, reason) ||
            !parse_lead_map(text, report.labels, report.map, reason)) {
            reason = request.lead_map.string() + ": " + reason;
            return false;
        }
    }
    if (const std::string unfed = unfed_leads(report.map); !unfed.empty())
        report.warnings.push_back("no signal for map leads " + unfed + ": they stay zero");
    return true;
}

// Every signal the map uses at 1000 Hz; the others are left empty.
bool resample_used_signals(const SourceRecording& source, const LeadMap& map,
                           const ImportProgress& progress, std::vector<std::vector<double>>& used,
                           std::string& reason) {
    used.assign(source.signals.size(), {});
    std::vector<int> wanted(map.signal_of_channel.begin(), map.signal_of_channel.end());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::erase(wanted, -1);
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        const auto signal = static_cast<std::size_t>(wanted[k]);
        if (!resample_to_recording_rate(source.signals[signal].microvolts, source.rate_hz,
                                        used[signal], reason))
            return false;
        if (progress) progress("resampling", static_cast<double>(k + 1) / wanted.size());
    }
    return true;
}

double largest_magnitude(const std::vector<std::vector<double>>& signals) {
    double largest = 0.0;
    for (const auto& signal : signals)
        for (double value : signal) largest = std::max(largest, std::fabs(value));
    return largest;
}

// The channels in counts; samples beyond 16 bits are clipped and counted.
Channels to_counts(const std::vector<std::vector<double>>& used, long long frames,
                   ImportReport& report) {
    Channels channels(channel_count, std::vector<std::int16_t>(frames, 0));
    const double step = report.microvolts_per_count;
    for (int c = 1; c <= channel_count; ++c) {
        const int signal = report.map.signal_of_channel[static_cast<std::size_t>(c - 1)];
        if (signal < 0) continue;
        const std::vector<double>& values = used[static_cast<std::size_t>(signal)];
        std::vector<std::int16_t>& counts = channels[static_cast<std::size_t>(c - 1)];
        long long clipped = 0;
        for (long long t = 0; t < frames; ++t) {
            const double count = std::round(values[static_cast<std::size_t>(t)] / step);
            const double held = std::clamp(count, -32768.0, 32767.0);
            clipped += held != count;
            counts[static_cast<std::size_t>(t)] = static_cast<std::int16_t>(held);
        }
        if (clipped > 0) report.clipped.emplace_back(c, clipped);
    }
    return channels;
}

std::string piece_bytes(const Channels& channels, const ImportedPiece& piece) {
    std::vector<std::int16_t> frames;
    frames.reserve(static_cast<std::size_t>(piece.frames) * channels.size());
    for (long long t = piece.first_frame; t < piece.first_frame + piece.frames; ++t)
        for (const std::vector<std::int16_t>& channel : channels)
            frames.push_back(channel[static_cast<std::size_t>(t)]);
    return encode_frames(frames);
}

// An import never replaces a recording: a name already used is refused.
bool refuse_existing(const std::vector<FileContent>& files, std::string& reason) {
    std::error_code error;
    for (const FileContent& file : files)
        if (std::filesystem::exists(file.path, error)) {
            reason = file.path + " is there already; choose another name or move it away";
            return false;
        }
    return true;
}

bool read_settled_source(const ImportRequest& request, SourceRecording& source,
                         ImportReport& report, std::string& reason) {
    if (!read_source(request.source, request.variable, source, reason)) return false;
    if (source.signals.empty()) {
        reason = "holds no signals";
        return false;
    }
    if (!settle_rate(request, source, reason)) return false;
    report.format = source.format;
    report.source_rate_hz = source.rate_hz;
    report.resampled = source.rate_hz != frames_per_second;
    if (!source.unit_note.empty()) report.warnings.push_back(source.unit_note);
    const auto frames = static_cast<long long>(resampled_length(source.samples(), source.rate_hz));
    if (frames < shortest_source_frames) {
        reason = "is " + std::to_string(frames) + " ms long; a recording needs at least 4 s";
        return false;
    }
    return true;
}

// Resamplers may give one sample more or less on one signal than on another.
long long shortest_used(const std::vector<std::vector<double>>& used) {
    long long shortest = 0;
    for (const auto& signal : used)
        if (!signal.empty() && (shortest == 0 || static_cast<long long>(signal.size()) < shortest))
            shortest = static_cast<long long>(signal.size());
    return shortest;
}

std::vector<FileContent> files_of(const ImportRequest& request, const ImportReport& report,
                                  const Channels& channels) {
    std::vector<FileContent> files;
    for (const ImportedPiece& piece : report.pieces)
        files.push_back(
            {(request.data_directory / piece.file_name).string(), piece_bytes(channels, piece)});
    files.push_back({(request.data_directory / (request.name + ".import.json")).string(),
                     import_record_json(request, report)});
    return files;
}

}  // namespace

std::vector<ImportedPiece> plan_pieces(const std::string& name, long long frames) {
    std::vector<ImportedPiece> pieces;
    for (long long first = 0;; first += piece_step_frames) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", static_cast<int>(pieces.size()) + 1);
        const long long length = std::min(piece_frames, frames - first);
        pieces.push_back({name + number + ".dat", first, length});
        if (first + length == frames) return pieces;
    }
}

int microvolts_per_count(double largest_magnitude_microvolts) {
    for (int step : count_steps_microvolts)
        if (std::round(largest_magnitude_microvolts / step) <= 32767.0) return step;
    return count_steps_microvolts[std::size(count_steps_microvolts) - 1];
}

bool import_recording(const ImportRequest& request, const ImportProgress& progress,
                      ImportReport& report, std::string& reason) {
    report = ImportReport();
    if (const std::string problem = name_problem(request.name); !problem.empty()) {
        reason = "the name \"" + request.name + "\" cannot be used: " + problem;
        return false;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(request.data_directory, error)) {
        reason = "the data folder " + request.data_directory.string() + " is not a folder";
        return false;
    }
    SourceRecording source;
    if (progress) progress("reading", 0.0);
    if (!read_settled_source(request, source, report, reason)) {
        reason = request.source.string() + ": " + reason;
        return false;
    }
    std::vector<std::vector<double>> used;
    if (!choose_lead_map(request, source, report, reason) ||
        !resample_used_signals(source, report.map, progress, used, reason))
        return false;
    source = SourceRecording();
    const long long frames = shortest_used(used);
    if (frames == 0) {
        reason = "the lead map feeds no channel";
        return false;
    }
    report.pieces = plan_pieces(request.name, frames);
    if (static_cast<int>(report.pieces.size()) > most_pieces) {
        reason = "would make " + std::to_string(report.pieces.size()) + " pieces; at most " +
                 std::to_string(most_pieces) + " fit the names";
        return false;
    }
    report.microvolts_per_count = microvolts_per_count(largest_magnitude(used));
    const Channels channels = to_counts(used, frames, report);
    if (progress) progress("writing", 0.0);
    const std::vector<FileContent> files = files_of(request, report, channels);
    std::string failed_path;
    if (!refuse_existing(files, reason)) return false;
    if (!write_files_atomically(files, failed_path, reason)) {
        reason = "cannot write " + failed_path + ": " + reason;
        return false;
    }
    if (progress) progress("writing", 1.0);
    return true;
}

}  // namespace mapari::importing
