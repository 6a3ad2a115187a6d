#include "beats/correlation.hpp"

#include <cmath>

namespace mapari {

float sequence_correlation(const std::int16_t* a, const std::int16_t* b, int n) {
    const float count = static_cast<float>(n);
    float sum_a = 0.0f, sum_b = 0.0f;
    for (int i = 0; i < n; ++i) sum_a += a[i];
    for (int i = 0; i < n; ++i) sum_b += b[i];
    const float mean_a = sum_a / count, mean_b = sum_b / count;
    float spread_a = 0.0f, spread_b = 0.0f;
    for (int i = 0; i < n; ++i) spread_a += (a[i] - mean_a) * (a[i] - mean_a);
    for (int i = 0; i < n; ++i) spread_b += (b[i] - mean_b) * (b[i] - mean_b);
    spread_a = std::sqrt(spread_a / count);
    spread_b = std::sqrt(spread_b / count);
    // A constant sequence has no shape to match; it correlates with nothing.
    if (spread_a == 0.0f || spread_b == 0.0f) return 0.0f;
    float r = 0.0f;
    for (int i = 0; i < n; ++i) r += (b[i] - mean_b) * (a[i] - mean_a);
    return r / (count * spread_a * spread_b);
}

}  // namespace mapari
