#include "importing/import.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "importing/import_record.hpp"
#include "importing/piece_writer.hpp"
#include "importing/repeated_beat.hpp"
#include "importing/resampling.hpp"
#include "importing/source_reader.hpp"
#include "recording/recording.hpp"

namespace mapari::importing {
namespace {

// The source opened, and how its signals become the channels.
struct Conversion {
    std::string source_name;  // as the request gives it, for messages
    std::unique_ptr<SourceStream> source;
    double rate_hz = 0.0;                              // the file's, or the request's
    std::vector<std::size_t> used;                     // the signals the map takes, ascending
    std::array<int, channel_count> slot_of_channel{};  // each channel's index into used, or -1
};

// What the first pass finds.
struct Measure {
    long long frames = 0;  // the shortest used signal at 1000 Hz
    double largest_magnitude_microvolts = 0.0;
    SampleBlock kept;  // the used signals at 1000 Hz, when asked to keep them
};

using ResampledBlockSink = std::function<bool(const SampleBlock& resampled, std::string& reason)>;

std::string name_problem(const std::string& name) {
    if (name.empty() || name.size() > 6) return "it must be 1 to 6 bytes long";
    return unsafe_name_reason(name);
}

std::string hertz(double rate_hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", rate_hz);
    return text;
}

std::string milliseconds(long long frames) {
    return std::to_string(frames) + " ms";
}

// The rate of the samples: the file's own, or the one the request states.
bool settle_rate(const ImportRequest& request, double file_rate_hz, double& rate_hz,
                 std::string& reason) {
    if (request.rate_hz > 0.0 && file_rate_hz > 0.0 &&
        std::fabs(request.rate_hz - file_rate_hz) > 1e-9 * file_rate_hz) {
        reason = "the file says its rate is " + hertz(file_rate_hz) + "; --rate-hz says " +
                 hertz(request.rate_hz);
        return false;
    }
    rate_hz = request.rate_hz > 0.0 ? request.rate_hz : file_rate_hz;
    if (rate_hz <= 0.0) {
        reason = "the file states no rate; give it with --rate-hz";
        return false;
    }
    return true;
}

// A source of at least 4 s is imported as it is; a shorter one only as a beat
// to repeat, every period at least as long as the beat.
bool check_length(const ImportRequest& request, long long frames, std::string& reason) {
    const std::string length = "is " + milliseconds(frames) + " long";
    const int repeat = request.repeat_every_ms;
    std::string problem;
    if (repeat == 0 && frames < shortest_source_frames)
        problem =
            "; a recording needs at least 4 s, or a single beat repeated with --repeat-every MS";
    else if (repeat > 0 && frames >= shortest_source_frames)
        problem = "; --repeat-every is for a single beat shorter than 4 s";
    else if (repeat > 0 && frames == 0)
        problem = "; there is no beat to repeat";
    else if (repeat > 0 && repeat < frames)
        problem = ", longer than --repeat-every " + std::to_string(repeat) + "; repeat it every " +
                  milliseconds(frames) + " or more";
    if (problem.empty()) return true;
    reason = length + problem;
    return false;
}

bool open_settled_source(const ImportRequest& request, Conversion& conversion, ImportReport& report,
                         std::string& reason) {
    conversion.source_name = request.source.string();
    conversion.source = open_source(request.source, request.variable, reason);
    if (!conversion.source) return false;
    const SourceDescription& description = conversion.source->description();
    if (description.labels.empty()) {
        reason = "holds no signals";
        return false;
    }
    if (!settle_rate(request, description.rate_hz, conversion.rate_hz, reason)) return false;
    report.format = description.format;
    report.source_rate_hz = conversion.rate_hz;
    report.resampled = conversion.rate_hz != frames_per_second;
    if (!description.unit_note.empty()) report.warnings.push_back(description.unit_note);
    return check_length(
        request, static_cast<long long>(resampled_length(description.samples, conversion.rate_hz)),
        reason);
}

// "16 signals left out (no lead takes them): \"V65\", ..."
std::string unused_signals_note(const ImportReport& report) {
    std::vector<std::string> labels;
    for (std::size_t signal : report.unused_signals) labels.push_back(report.labels[signal]);
    const bool one = labels.size() == 1;
    return std::to_string(labels.size()) + (one ? " signal" : " signals") +
           " left out (no lead takes " + (one ? "it" : "them") + "): " + listed_labels(labels);
}

bool choose_lead_map(const ImportRequest& request, ImportReport& report, std::string& reason) {
    if (request.lead_map.empty()) {
        report.map = default_lead_map(static_cast<int>(report.labels.size()));
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
    report.unused_signals = unused_signals(report.map, report.labels.size());
    if (!report.unused_signals.empty()) report.warnings.push_back(unused_signals_note(report));
    return true;
}

// The signals the map takes, and where each channel finds its own among them.
void take_used_signals(const LeadMap& map, Conversion& conversion) {
    for (int signal : map.signal_of_channel)
        if (signal >= 0) conversion.used.push_back(static_cast<std::size_t>(signal));
    std::sort(conversion.used.begin(), conversion.used.end());
    conversion.used.erase(std::unique(conversion.used.begin(), conversion.used.end()),
                          conversion.used.end());
    for (std::size_t c = 0; c < conversion.slot_of_channel.size(); ++c) {
        const int signal = map.signal_of_channel[c];
        conversion.slot_of_channel[c] =
            signal < 0
                ? -1
                : static_cast<int>(std::lower_bound(conversion.used.begin(), conversion.used.end(),
                                                    static_cast<std::size_t>(signal)) -
                                   conversion.used.begin());
    }
}

// Reads the used signals from the start, block by block, and hands each
// block brought to 1000 Hz to `take`; the last block handed over holds what
// the resamplers gave once the source was read.
bool resample_pass(const Conversion& conversion, std::size_t block_samples,
                   const ImportProgress& progress, std::string_view stage,
                   const ResampledBlockSink& take, std::string& reason) {
    SourceStream& source = *conversion.source;
    const std::size_t samples = source.description().samples;
    std::vector<Resampler> resamplers;
    for (std::size_t k = 0; k < conversion.used.size(); ++k)
        resamplers.emplace_back(conversion.rate_hz, samples);
    source.restart(conversion.used, block_samples);
    SampleBlock block, resampled(conversion.used.size());
    for (std::size_t read = 0;;) {
        if (!source.next_block(block, reason)) {
            reason = conversion.source_name + ": " + reason;
            return false;
        }
        const bool last = block.front().empty();
        for (std::size_t k = 0; k < resamplers.size(); ++k) {
            resampled[k].clear();
            if (!(last ? resamplers[k].finish(resampled[k], reason)
                       : resamplers[k].add(block[k], resampled[k], reason)))
                return false;
        }
        if (!take(resampled, reason)) return false;
        if (last) return true;
        read += block.front().size();
        if (progress) progress(stage, static_cast<double>(read) / static_cast<double>(samples));
    }
}

// The first pass: the length and largest magnitude of the used signals at
// 1000 Hz (resamplers may give one sample more or less on one signal than on
// another), and with `keep` the signals themselves.
bool measure(const Conversion& conversion, const ImportRequest& request,
             const ImportProgress& progress, bool keep, Measure& measured, std::string& reason) {
    std::vector<long long> lengths(conversion.used.size(), 0);
    if (keep) measured.kept.assign(conversion.used.size(), {});
    const auto take = [&](const SampleBlock& resampled, std::string&) {
        for (std::size_t k = 0; k < resampled.size(); ++k) {
            for (double value : resampled[k])
                measured.largest_magnitude_microvolts =
                    std::max(measured.largest_magnitude_microvolts, std::fabs(value));
            lengths[k] += static_cast<long long>(resampled[k].size());
            if (keep)
                measured.kept[k].insert(measured.kept[k].end(), resampled[k].begin(),
                                        resampled[k].end());
        }
        return true;
    };
    if (!resample_pass(conversion, request.block_samples, progress, "reading", take, reason))
        return false;
    measured.frames = *std::min_element(lengths.begin(), lengths.end());
    if (keep)
        for (std::vector<double>& values : measured.kept)
            values.resize(static_cast<std::size_t>(measured.frames));
    return true;
}

// An import never replaces a recording: a name already used is refused.
bool refuse_existing(const std::vector<std::string>& paths, std::string& reason) {
    std::error_code error;
    for (const std::string& path : paths)
        if (std::filesystem::exists(path, error)) {
            reason = path + " is there already; choose another name or move it away";
            return false;
        }
    return true;
}

std::vector<std::string> paths_of(const ImportRequest& request, const ImportReport& report) {
    std::vector<std::string> paths;
    for (const ImportedPiece& piece : report.pieces)
        paths.push_back((request.data_directory / piece.file_name).string());
    paths.push_back(record_path(request));
    return paths;
}

// The second pass: the pieces converted and written under their temporary names.
bool write_pieces(const Conversion& conversion, const ImportRequest& request,
                  const ImportProgress& progress, const Measure& measured, ImportReport& report,
                  PendingFiles& files, std::string& reason) {
    PieceWriter writer(report.pieces, request.data_directory, conversion.slot_of_channel,
                       conversion.used.size(), report.microvolts_per_count, files);
    const bool written =
        request.repeat_every_ms > 0
            ? writer.add(repeated_beat(measured.kept, request.repeat_every_ms, repeated_frames),
                         reason)
            : resample_pass(
                  conversion, request.block_samples, progress, "writing",
                  [&writer](const SampleBlock& resampled, std::string& why) {
                      return writer.add(resampled, why);
                  },
                  reason);
    if (!written) return false;
    report.clipped = writer.clipped();
    return true;
}

// Puts every file in its place, or, when one cannot be, takes back those
// already placed (none of them replaced a file: each name was free).
bool place_files(PendingFiles& files, std::string& reason) {
    std::string failed_path;
    if (files.commit(failed_path, reason)) return true;
    for (const std::string& path : files.paths()) {
        if (path == failed_path) break;
        std::remove(path.c_str());
    }
    reason = "cannot write " + failed_path + ": " + reason;
    return false;
}

bool check_request(const ImportRequest& request, std::string& reason) {
    if (const std::string problem = name_problem(request.name); !problem.empty()) {
        reason = "the name \"" + request.name + "\" cannot be used: " + problem;
        return false;
    }
    if (request.repeat_every_ms < 0 || request.repeat_every_ms > longest_repeat_ms) {
        reason = "--repeat-every takes 1 to " + std::to_string(longest_repeat_ms) + " ms";
        return false;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(request.data_directory, error)) {
        reason = "the data folder " + request.data_directory.string() + " is not a folder";
        return false;
    }
    return true;
}

// The source opened and measured, and the pieces planned.
bool plan_import(const ImportRequest& request, const ImportProgress& progress,
                 Conversion& conversion, Measure& measured, ImportReport& report,
                 std::string& reason) {
    if (progress) progress("reading", 0.0);
    if (!open_settled_source(request, conversion, report, reason)) {
        reason = request.source.string() + ": " + reason;
        return false;
    }
    report.labels = conversion.source->description().labels;
    if (!choose_lead_map(request, report, reason)) return false;
    take_used_signals(report.map, conversion);
    if (conversion.used.empty()) {
        reason = "the lead map feeds no channel";
        return false;
    }
    if (!measure(conversion, request, progress, request.repeat_every_ms > 0, measured, reason))
        return false;
    report.source_frames = measured.frames;
    report.pieces =
        plan_pieces(request.name, request.repeat_every_ms > 0 ? repeated_frames : measured.frames);
    if (static_cast<int>(report.pieces.size()) > most_pieces) {
        reason = "would make " + std::to_string(report.pieces.size()) + " pieces; at most " +
                 std::to_string(most_pieces) + " fit the names";
        return false;
    }
    report.microvolts_per_count = microvolts_per_count(measured.largest_magnitude_microvolts);
    return refuse_existing(paths_of(request, report), reason);
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
    Conversion conversion;
    Measure measured;
    if (!check_request(request, reason) ||
        !plan_import(request, progress, conversion, measured, report, reason))
        return false;
    if (progress) progress("writing", 0.0);
    PendingFiles files;
    if (!write_pieces(conversion, request, progress, measured, report, files, reason)) return false;
    const std::string record = record_path(request);
    if (!files.write(record, import_record_json(request, report), reason)) {
        reason = "cannot write " + record + ": " + reason;
        return false;
    }
    if (!refuse_existing(files.paths(), reason) || !place_files(files, reason)) return false;
    if (progress) progress("writing", 1.0);
    return true;
}

}  // namespace mapari::importing
