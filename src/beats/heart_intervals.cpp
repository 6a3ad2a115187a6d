#include "beats/heart_intervals.hpp"

#include <algorithm>
#include <cmath>

namespace mapari {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

std::optional<double> median_rr_samples(const std::vector<AcceptedBeat>& accepted) {
    if (accepted.size() < 2) return std::nullopt;
    std::vector<double> aligned;
    for (const AcceptedBeat& beat : accepted)
        aligned.push_back(beat.position_ms + beat.shift_samples);
    std::sort(aligned.begin(), aligned.end());
    std::vector<double> intervals;
    for (std::size_t k = 1; k < aligned.size(); ++k)
        intervals.push_back(aligned[k] - aligned[k - 1]);
    const double limit =
        longest_neighbour_interval_fraction * *std::min_element(intervals.begin(), intervals.end());
    std::erase_if(intervals, [limit](double interval) { return interval > limit; });
    return median(intervals);
}

double qtc_bazett_ms(double qt_ms, double rr_ms) {
    return qt_ms / std::sqrt(rr_ms / 1000.0);
}

double qtc_fridericia_ms(double qt_ms, double rr_ms) {
    return qt_ms / std::cbrt(rr_ms / 1000.0);
}

}  // namespace mapari
