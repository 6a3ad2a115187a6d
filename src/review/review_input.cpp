#include "review/review_input.hpp"

#include <filesystem>
#include <memory>

#include "formats/files.hpp"
#include "formats/result_files.hpp"
#include "review/results_table.hpp"

namespace mapari::review {
namespace {

bool read_beat_text(const std::string& text, BeatTraces& beat, std::string& reason) {
    // The one .ds reader, so that the review reads a beat exactly as the ARI
    // computation did.
    auto matrix_store = std::make_unique<Array2<std::int32_t, averaged_rows, lead_count>>();
    if (!read_ds_text(text, *matrix_store, reason)) return false;
    const auto& matrix = matrix_store->values;  // each lead's 1024 samples in a row
    beat.values.assign(matrix.begin(), matrix.end());
    return true;
}

// Reads the file at path and hands its text to parse; a failure of either
// becomes "path: reason".
template <typename Parse>
bool load_file(const std::string& path, std::string& message, Parse parse) {
    std::string text, reason;
    if (read_whole_file(path, text, reason) && parse(text, reason)) return true;
    message = path + ": " + reason;
    return false;
}

// The layout file's electrodes, or the grid when no file is named.
bool load_layout(const std::string& path, ElectrodeLayout& layout, std::string& message) {
    layout = grid_layout();
    return path.empty() ||
           load_file(path, message, [&](const std::string& text, std::string& reason) {
               return parse_layout_csv(text, layout, reason);
           });
}

// Marks the leads whose saved beat holds one value at every sample.
void mark_leads_without_signal(const BeatTraces& beat, LeadTable& leads) {
    for (int l = 1; l <= lead_count; ++l) {
        bool constant = true;
        for (int k = 2; k <= averaged_rows && constant; ++k)
            constant = beat.at(k, l) == beat.at(1, l);
        if (constant) leads[static_cast<std::size_t>(l - 1)] = without_signal;
    }
}

}  // namespace

bool load_review(const ReviewRequest& request, ReviewData& data, std::string& message) {
    data.title = std::filesystem::path(request.ari_path).filename().string();
    data.recovery_delay_samples = request.recovery_delay_samples;
    data.microvolts_per_count = request.microvolts_per_count;
    AriRecord record;
    if (!load_file(request.ari_path, message, [&](const std::string& text, std::string& reason) {
            return parse_ari_text(text, record, reason);
        }))
        return false;
    data.record = record;
    data.leads = lead_values(record, data.recovery_delay_samples);
    data.other_flags.clear();
    if (!load_layout(request.layout_path, data.layout, message)) return false;
    data.beat.reset();
    if (request.ds_path.empty()) return true;
    BeatTraces beat;
    if (!load_file(request.ds_path, message, [&](const std::string& text, std::string& reason) {
            return read_beat_text(text, beat, reason);
        }))
        return false;
    mark_leads_without_signal(beat, *data.leads);
    data.beat = std::move(beat);
    return true;
}

bool load_results_review(const ResultsRequest& request, std::vector<ReviewData>& recordings,
                         std::string& message) {
    std::vector<RecordingResults> table;
    if (!load_file(request.table_path, message, [&](const std::string& text, std::string& reason) {
            return read_results_table(text, table, reason);
        }))
        return false;
    ElectrodeLayout layout;
    if (!load_layout(request.layout_path, layout, message)) return false;
    std::map<std::string, std::vector<TableBeat>, std::less<>> beats;
    const std::string beats_path =
        (std::filesystem::path(request.table_path).parent_path() / "beats.csv").string();
    if (std::filesystem::exists(beats_path) &&
        !load_file(beats_path, message, [&](const std::string& text, std::string& reason) {
            return read_beats_table(text, beats, reason);
        }))
        return false;
    recordings.clear();
    recordings.reserve(table.size());
    for (const RecordingResults& recording : table) {
        recordings.push_back(recording_review(recording, layout));
        if (const auto found = beats.find(recording.name); found != beats.end())
            recordings.back().beat_plots = beat_plots(found->second);
    }
    return true;
}

}  // namespace mapari::review
