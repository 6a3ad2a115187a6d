#include "review/colour_scale.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace mapari::review {
namespace {

// Viridis sampled at 20 evenly spaced points from 0 to 1, as 0xRRGGBB.
// Straight lines between neighbouring samples stay close to the full map.
constexpr std::array<std::uint32_t, 20> viridis_samples = {
    0x440154, 0x481568, 0x482677, 0x453781, 0x3F4788, 0x39558C, 0x32648E,
    0x2D718E, 0x287D8E, 0x238A8D, 0x1F968B, 0x20A386, 0x29AF7F, 0x3CBC75,
    0x56C667, 0x75D054, 0x95D840, 0xBADE28, 0xDDE318, 0xFDE725};

double channel(std::uint32_t rgb, int shift) {
    return static_cast<double>((rgb >> shift) & 0xFFu);
}

std::uint8_t mixed(std::uint32_t a, std::uint32_t b, int shift, double w) {
    return static_cast<std::uint8_t>(
        std::lround(channel(a, shift) + (channel(b, shift) - channel(a, shift)) * w));
}

}  // namespace

Rgb viridis(double t) {
    const double position = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) *
                            static_cast<double>(viridis_samples.size() - 1);
    const std::size_t below =
        std::min(static_cast<std::size_t>(position), viridis_samples.size() - 2);
    const double w = position - static_cast<double>(below);
    const std::uint32_t a = viridis_samples[below], b = viridis_samples[below + 1];
    return {mixed(a, b, 16, w), mixed(a, b, 8, w), mixed(a, b, 0, w)};
}

bool wants_light_text(Rgb colour) {
    // Rec. 709 weights on the sRGB values; precise enough to pick black or white.
    const double luminance = 0.2126 * colour.red + 0.7152 * colour.green + 0.0722 * colour.blue;
    return luminance < 128.0;
}

void ValueRange::include(double value) {
    if (empty) {
        low = high = value;
        empty = false;
        return;
    }
    low = std::min(low, value);
    high = std::max(high, value);
}

double ValueRange::fraction(double value) const {
    return high > low ? (value - low) / (high - low) : 0.5;
}

ValueRange ValueRange::widened() const {
    ValueRange range = *this;
    if (!empty && high == low) {
        range.low -= 1.0;
        range.high += 1.0;
    }
    return range;
}

std::vector<double> scale_ticks(double low, double high, int least_ticks) {
    if (!(high > low) || least_ticks < 1) return {};
    const double span = high - low;
    double step = std::pow(10.0, std::floor(std::log10(span)));
    // From a power of ten down through 5, 2, 1 × the next lower power.
    const double factors[] = {0.5, 0.4, 0.5};  // 10 → 5 → 2 → 1
    for (int k = 0; std::floor(high / step) - std::ceil(low / step) + 1 < least_ticks; ++k)
        step *= factors[k % 3];
    std::vector<double> ticks;
    for (double m = std::ceil(low / step); m <= std::floor(high / step); m += 1.0)
        ticks.push_back(m * step);
    return ticks;
}

}  // namespace mapari::review
