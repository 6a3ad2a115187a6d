#include "review/integral_maps.hpp"

#include <algorithm>

namespace mapari::review {

std::pair<int, int> stretch_rows(const AriRecord& record, IntegralStretch stretch) {
    switch (stretch) {
        case IntegralStretch::qrs:
            return {record.reference_point, record.j_point};
        case IntegralStretch::qrst:
            return {record.reference_point, record.t_end};
        case IntegralStretch::stt:
            break;
    }
    return {record.j_point, record.t_end};
}

double lead_area_microvolt_ms(const BeatTraces& beat, int lead, int first, int last,
                              double microvolts_per_count) {
    first = std::max(first, 1);
    last = std::min(last, averaged_rows);
    if (last <= first) return 0.0;
    // Trapezoids: every inner row counts whole, the two ends half.
    double sum = (static_cast<double>(beat.at(first, lead)) + beat.at(last, lead)) / 2;
    for (int k = first + 1; k < last; ++k) sum += beat.at(k, lead);
    return sum * beat_row_ms * microvolts_per_count;
}

std::array<double, lead_count> integral_map(const BeatTraces& beat, const AriRecord& record,
                                            IntegralStretch stretch, double microvolts_per_count) {
    const auto [first, last] = stretch_rows(record, stretch);
    std::array<double, lead_count> areas{};
    for (int l = 1; l <= lead_count; ++l)
        areas[static_cast<std::size_t>(l - 1)] =
            lead_area_microvolt_ms(beat, l, first, last, microvolts_per_count);
    return areas;
}

}  // namespace mapari::review
