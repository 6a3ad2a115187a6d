// The colour scale of the maps: viridis, which is perceptually uniform (equal
// steps of value look like equal steps of colour), reads in grey print as a
// steady ramp from dark to light, and is told apart by the common kinds of
// colour blindness. Values map linearly from the low end (dark violet) to the
// high end (yellow) of the range shown.
#pragma once

#include <cstdint>
#include <vector>

namespace mapari::review {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colour at fraction t of the scale, t clamped to 0..1.
Rgb viridis(double t);

// Whether text on this colour should be white rather than black (the colour's
// relative luminance is below the middle grey's).
bool wants_light_text(Rgb colour);

// The range a colour bar shows: the least and greatest value, widened by 1
// each way when they are equal, so that one value still has a place.
struct ValueRange {
    double low = 0.0;
    double high = 0.0;
    bool empty = true;  // no value to show

    void include(double value);
    // Fraction of the range at value, 0 at low and 1 at high.
    double fraction(double value) const;
    ValueRange widened() const;
};

// Tick values for a colour bar over low..high: the multiples of the largest
// step of 1, 2 or 5 × 10^n that gives at least `least_ticks` of them.
std::vector<double> scale_ticks(double low, double high, int least_ticks);

}  // namespace mapari::review
