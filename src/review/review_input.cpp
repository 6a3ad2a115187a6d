#include "review/review_input.hpp"

#include <filesystem>
#include <memory>

#include "formats/files.hpp"
#include "formats/result_files.hpp"

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

}  // namespace

bool load_review(const ReviewRequest& request, ReviewData& data, std::string& message) {
    data.title = std::filesystem::path(request.ari_path).filename().string();
    data.recovery_delay_samples = request.recovery_delay_samples;
    if (!load_file(request.ari_path, message, [&](const std::string& text, std::string& reason) {
            return parse_ari_text(text, data.record, reason);
        }))
        return false;
    data.leads = lead_values(data.record, data.recovery_delay_samples);
    data.layout = grid_layout();
    if (!request.layout_path.empty() &&
        !load_file(request.layout_path, message, [&](const std::string& text, std::string& reason) {
            return parse_layout_csv(text, data.layout, reason);
        }))
        return false;
    data.beat.reset();
    if (request.ds_path.empty()) return true;
    BeatTraces beat;
    if (!load_file(request.ds_path, message, [&](const std::string& text, std::string& reason) {
            return read_beat_text(text, beat, reason);
        }))
        return false;
    data.beat = std::move(beat);
    return true;
}

}  // namespace mapari::review
