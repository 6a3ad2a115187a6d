#include "review/review_input.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

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

// Why the .ds file is not the beat the .ari record was computed from, or
// empty. A session saves NAME.ds, NAME.se and NAME.ari together, so the .ds
// must have the .ari's name; and where the .se record of the marks stands
// beside the .ds, its reference point, J and T end must be the .ari's.
std::string beat_mismatch(const ReviewRequest& request, const AriRecord& record) {
    namespace fs = std::filesystem;
    const fs::path ds(request.ds_path), ari(request.ari_path);
    const std::string ari_name = ari.filename().string();
    if (ds.stem() != ari.stem())
        return "not the saved beat of " + ari_name + ": a session saves " + ari.stem().string() +
               ".ds beside it, not " + ds.filename().string();
    const fs::path se = fs::path(ds).replace_extension(".se");
    std::string text, reason;
    std::error_code ignored;
    if (!fs::exists(se, ignored) || !read_whole_file(se.string(), text, reason)) return {};
    auto marks = std::make_unique<AriWork>();
    if (!read_se_text(text, *marks, reason)) return {};
    const std::tuple<const char*, std::int32_t, std::int32_t> compared[] = {
        {"the reference point", marks->reference_point, record.reference_point},
        {"J", marks->j_point, record.j_point},
        {"the T end", marks->t_end, record.t_end}};
    for (const auto& [name, saved, computed] : compared)
        if (saved != computed)
            return "not the saved beat of " + ari_name + ": its marks " + se.filename().string() +
                   " put " + name + " at " + std::to_string(saved) + ", the .ari at " +
                   std::to_string(computed);
    return {};
}

// Reads the study's table at path when there is one; true when there is none.
template <typename Parse>
bool load_table_beside(const std::filesystem::path& path, std::string& message, Parse parse) {
    std::error_code ignored;
    return !std::filesystem::exists(path, ignored) || load_file(path.string(), message, parse);
}

// A review of each recording of the study, in the order of its recordings.csv
// with its row: the results table's values, or none where the table has no
// rows of it (a recording the analysis failed on); then the recordings of
// the results table that recordings.csv does not name, in their order.
std::vector<ReviewData> study_reviews(const std::vector<RecordingResults>& table,
                                      const std::vector<RecordingSummary>& summaries,
                                      const ElectrodeLayout& layout) {
    std::vector<ReviewData> reviews;
    reviews.reserve(std::max(table.size(), summaries.size()));
    std::map<std::string_view, const RecordingResults*> results;
    for (const RecordingResults& recording : table) results.emplace(recording.name, &recording);
    for (const RecordingSummary& summary : summaries) {
        const auto found = results.find(summary.name);
        RecordingResults without_results;
        without_results.name = summary.name;
        reviews.push_back(
            recording_review(found != results.end() ? *found->second : without_results, layout));
        reviews.back().summary = summary;
        if (found != results.end()) results.erase(found);
    }
    for (const RecordingResults& recording : table)
        if (results.contains(recording.name))
            reviews.push_back(recording_review(recording, layout));
    return reviews;
}

}  // namespace

bool load_review(const ReviewRequest& request, ReviewData& data, std::string& message) {
    data.title = std::filesystem::path(request.ari_path).filename().string();
    data.recovery_delay_samples = request.recovery_delay_samples;
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
    if (const std::string mismatch = beat_mismatch(request, record); !mismatch.empty()) {
        message = request.ds_path + ": " + mismatch;
        return false;
    }
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
    std::vector<RecordingSummary> summaries;
    const std::filesystem::path folder = std::filesystem::path(request.table_path).parent_path();
    if (!load_table_beside(folder / "beats.csv", message,
                           [&](const std::string& text, std::string& reason) {
                               return read_beats_table(text, beats, reason);
                           }) ||
        !load_table_beside(folder / "recordings.csv", message,
                           [&](const std::string& text, std::string& reason) {
                               return read_recordings_table(text, summaries, reason);
                           }))
        return false;
    recordings = study_reviews(table, summaries, layout);
    for (ReviewData& recording : recordings)
        if (const auto found = beats.find(recording.title); found != beats.end())
            recording.beat_plots = beat_plots(found->second);
    return true;
}

}  // namespace mapari::review
