#include "ari/ari_computation.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "ari/result_files.hpp"
#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "dialogue/free_form.hpp"
#include "recording/recording.hpp"
#include "regression/polynomial_regression.hpp"

namespace mapari {
namespace {

constexpr int cubic = 3;
constexpr int silent_report = 0;
constexpr std::size_t shown_save_name_length = 12;
constexpr std::size_t ds_path_width = 30;
constexpr std::size_t se_path_width = 32;
constexpr std::size_t ari_path_width = 33;
constexpr int se_field_width = 5;

std::string padded(std::string_view text, std::size_t width) {
    std::string line(text);
    if (line.size() < width) line.append(width - line.size(), ' ');
    return line;
}

void ask_ari_settings(Store& store, Runtime& runtime) {
    AriWork& work = store.ari;
    work.smoothing_half_width = default_smoothing_half_width;
    work.activation_offset = default_activation_offset;
    work.recovery_delay = default_recovery_delay;
    if (is_yes_one(store.settings.settings_answer)) return;
    work.smoothing_half_width =
        ask_integer_field(runtime, Channel::text, "number of smoothing :", 2);
    work.activation_offset =
        ask_integer_field(runtime, Channel::text, " time to act after stim:", 4);
    work.recovery_delay =
        ask_integer_field(runtime, Channel::text, " enter minimum rt after j (1-200):", 4);
}

// Reads one result file back and parses it; on failure says which file and why.
using ResultParser = bool (*)(const std::string&, AriWork&, std::string&);
bool read_result(Store& store, Runtime& runtime, const std::string& label,
                 const TextField<32>& path, ResultParser parse) {
    runtime.write_line(Channel::text, label);
    std::string text, reason;
    if (read_text_file(host_path(store, path.stem()), text, reason) &&
        parse(text, store.ari, reason))
        return true;
    runtime.write_line(Channel::trace, "Cannot read " + std::string(path.stem()) + ": " + reason +
                                           "; no ARI file.");
    return false;
}

std::string ari_file_text(const AriWork& work) {
    FreeFormWriter record;
    record.add(work.reference_point);
    record.add(work.j_point);
    record.add(work.t_end);
    record.add(work.smoothing_half_width);
    for (int l = 1; l <= lead_count; ++l) record.add(work.activation_ms(l));
    for (int l = 1; l <= lead_count; ++l) record.add(work.recovery_ms(l));
    record.end_record();
    return record.take();
}

bool read_files(Store& store, Runtime& runtime) {
    const Results& results = store.results;
    return read_result(store, runtime,
                       "reading a file  :" + padded(results.ds_path.stem(), ds_path_width),
                       results.ds_path, read_ds_text) &&
           read_result(store, runtime,
                       "reading a file" + padded(results.se_path.stem(), se_path_width),
                       results.se_path, read_se_text);
}

}  // namespace

bool read_ds_text(const std::string& text, AriWork& work, std::string& reason) {
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) {
            while (cursor != end && std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
            if (cursor + 1 < end && *cursor == '+' && *(cursor + 1) != '-') ++cursor;
            double value = 0.0;
            auto [after, status] = std::from_chars(cursor, end, value);
            if (cursor == end ||
                (status != std::errc() && status != std::errc::result_out_of_range)) {
                reason = "record " + std::to_string(k) + " holds " + std::to_string(l - 1) +
                         " of its 64 numbers";
                return false;
            }
            if (status != std::errc() || !std::isfinite(value) || std::fabs(value) > 2.0e9) {
                reason = "record " + std::to_string(k) + " holds a value out of range";
                return false;
            }
            work.beat_matrix(k, l) = static_cast<std::int32_t>(std::lround(value));
            cursor = after;
        }
    }
    return true;
}

bool read_se_text(const std::string& text, AriWork& work, std::string& reason) {
    if (text.empty()) {
        reason = "the file holds no record";
        return false;
    }
    std::string_view record(text);
    record = record.substr(0, record.find('\n'));
    std::int32_t* targets[fiducial_count] = {&work.reference_point, &work.second_value,
                                             &work.j_point, &work.t_end};
    for (int field = 0; field < fiducial_count; ++field) {
        std::string_view columns =
            field * se_field_width < static_cast<int>(record.size())
                ? record.substr(static_cast<std::size_t>(field * se_field_width), se_field_width)
                : std::string_view();
        std::optional<std::int32_t> value = read_integer_field(columns, se_field_width);
        if (!value) {
            reason = "columns " + std::to_string(field * se_field_width + 1) + " to " +
                     std::to_string((field + 1) * se_field_width) + " hold no whole number";
            return false;
        }
        *targets[field] = *value;
    }
    return true;
}

std::string broken_limit(const AriWork& work) {
    const std::int32_t P = work.reference_point, J = work.j_point, E = work.t_end;
    const std::int32_t h = work.smoothing_half_width, a = work.activation_offset,
                       r = work.recovery_delay;
    if (h < 2) return "the smoothing half-width h = " + std::to_string(h) + " must be at least 2";
    if (P + a - 2 < 1) return "P + a - 2 = " + std::to_string(P + a - 2) + " must be at least 1";
    if (J < 1) return "the J point " + std::to_string(J) + " must be at least 1";
    if (J + 2 > averaged_rows) return "J + 2 = " + std::to_string(J + 2) + " must be at most 1024";
    if (E + h > averaged_rows) return "E + h = " + std::to_string(E + h) + " must be at most 1024";
    if (J + r - 1 < 1) return "J + r - 1 = " + std::to_string(J + r - 1) + " must be at least 1";
    // The first recovery test compares with the slope one row before J + r,
    // which this computation has formed only when r is at least 1.
    if (r < 1) return "the minimum recovery delay r = " + std::to_string(r) + " must be at least 1";
    return {};
}

void find_activation(AriWork& work, int lead) {
    const auto& S = work.lead_samples;
    float steepest = 0.0f;
    std::int32_t activation = work.reference_point;
    for (std::int32_t k = work.reference_point + work.activation_offset; k <= work.j_point; ++k) {
        // A .ds value may be as large as 2e9, so the six-fold sum is formed in 64 bits.
        const std::int64_t difference =
            std::int64_t{2} * S(k + 1) + S(k + 2) - std::int64_t{2} * S(k - 1) - S(k - 2);
        if (static_cast<float>(difference) < steepest) {
            steepest = static_cast<float>(difference);
            activation = k;
        }
    }
    work.activation_ms(lead) = static_cast<float>(activation - work.reference_point);
}

void find_recovery(AriWork& work, Runtime& runtime, int lead) {
    const std::int32_t h = work.smoothing_half_width;
    for (std::int32_t k = work.j_point; k <= work.t_end; ++k) {
        const std::int32_t first = k - h, last = k + h, degree = cubic, level = silent_report;
        polynomial_regression(
            work.regression, runtime, first, last, work.abscissae.data(), work.ordinates.data(),
            degree, level, work.intercept, work.coefficients.data(), work.standard_errors.data(),
            work.residuals.data(), work.fit_summary.data(), work.data_summary.data(),
            work.multiple_r.data(), work.regression_status);
        const float row = static_cast<float>(k);
        work.slope_curve(k, lead) = work.coefficients(1) + 2.0f * work.coefficients(2) * row +
                                    3.0f * work.coefficients(3) * (row * row);
    }
    float steepest = 0.0f;
    std::int32_t recovery = work.j_point + work.recovery_delay;
    for (std::int32_t k = work.j_point + work.recovery_delay; k <= work.t_end; ++k) {
        const float slope = work.slope_curve(k, lead);
        if (slope > steepest && slope > work.slope_curve(k - 1, lead)) {
            steepest = slope;
            recovery = k;
        }
    }
    work.recovery_ms(lead) = static_cast<float>(recovery - work.reference_point);
}

bool compute_ari(Store& store, Runtime& runtime) {
    AriWork& work = store.ari;
    ask_ari_settings(store, runtime);
    runtime.write_line(Channel::text,
                       store.results.save_name.view().substr(0, shown_save_name_length));
    std::string_view stem = store.results.save_name.stem();
    work.ari_path.assign(std::string(program_data_directory) + std::string(stem) + ".ari");
    if (!read_files(store, runtime)) return false;
    runtime.write_line(Channel::text, padded(store.results.ds_path.stem(), ds_path_width) +
                                          free_form(work.reference_point) +
                                          free_form(work.j_point) + free_form(work.t_end) +
                                          free_form(work.second_value));
    std::string limit = broken_limit(work);
    if (!limit.empty()) {
        runtime.write_line(Channel::trace, "No ARI file: " + limit + ".");
        return false;
    }
    for (int l = 1; l <= lead_count; ++l) {
        for (int k = 1; k <= averaged_rows; ++k) {
            work.lead_samples(k) = work.beat_matrix(k, l);
            work.abscissae(k) = static_cast<float>(k);
            work.ordinates(k) = static_cast<float>(work.lead_samples(k));
        }
        find_activation(work, l);
        find_recovery(work, runtime, l);
    }
    runtime.write_line(Channel::text,
                       "writing a file" + padded(work.ari_path.stem(), ari_path_width));
    std::string reason;
    if (write_file_safely(host_path(store, work.ari_path.stem()), ari_file_text(work), reason))
        return true;
    runtime.write_line(Channel::trace,
                       "Cannot write " + std::string(work.ari_path.stem()) + ": " + reason + ".");
    return false;
}

}  // namespace mapari
