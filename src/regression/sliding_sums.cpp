#include "regression/sliding_sums.hpp"

#include <algorithm>
#include <cmath>

namespace mapari {
namespace {

// Sums at or below 2^52 leave a margin for the rounding of the bound itself.
constexpr double exact_bound = 0x1p52;

bool is_whole(float value) {
    if (std::fabs(value) < 0x1p23f)
        return static_cast<float>(static_cast<std::int32_t>(value)) == value;
    return std::isfinite(value);  // every float from 2^23 up is whole
}

struct Point {
    double x, y;
};

// Point `out` taken out of every sum and point `in` added. FixedDegree > 0 is
// the degree known when compiling (the ARI computation's cubic), which lets
// the compiler unroll the loop over the powers; 0 takes the degree passed.
// The operations are the same either way.
template <std::int32_t FixedDegree>
void exchange_of_degree(OrdinateSums& sums, std::int32_t degree, Point out, Point in) {
    const std::int32_t m = FixedDegree > 0 ? FixedDegree : degree;
    double power_out = out.x, power_in = in.x;
#pragma GCC unroll 3
    for (std::int32_t k = 1; k <= m; ++k) {
        if (k > 1) {
            power_out = out.x * power_out;
            power_in = in.x * power_in;
        }
        sums.cross_sums(k) = (sums.cross_sums(k) - out.y * power_out) + in.y * power_in;
    }
    sums.sum_y = (sums.sum_y - out.y) + in.y;
    sums.sum_yy = (sums.sum_yy - out.y * out.y) + in.y * in.y;
}

}  // namespace

bool SlidingOrdinateSums::start(const float* x, const float* y, std::int32_t first,
                                std::int32_t last, std::int32_t width, std::int32_t degree) {
    x_ = x;
    y_ = y;
    degree_ = degree;
    first_ = 1;
    last_ = 0;
    if (degree < 1 || degree > largest_shared_degree) return false;
    double largest_x = 1.0, largest_y = 0.0;
    for (std::int32_t i = std::max(first, 1); i <= last; ++i) {
        const float xi = x[i - 1], yi = y[i - 1];
        if (!is_whole(xi) || !is_whole(yi)) return false;
        largest_x = std::max(largest_x, double(std::fabs(xi)));
        largest_y = std::max(largest_y, double(std::fabs(yi)));
    }
    return slides_exactly(largest_x, largest_y, width, degree);
}

bool SlidingOrdinateSums::slides_exactly(double largest_x, double largest_y, std::int32_t width,
                                         std::int32_t degree) {
    double largest_power = 1.0;
    for (std::int32_t k = 1; k <= degree; ++k) largest_power *= largest_x;
    const double points = width;
    return largest_power <= exact_bound && points * largest_y * largest_power <= exact_bound &&
           points * largest_y * largest_y <= exact_bound;
}

void SlidingOrdinateSums::add(std::int32_t i) {
    const double xi = x_[i - 1], yi = y_[i - 1];
    double power = xi;
    for (std::int32_t k = 1; k <= degree_; ++k) {
        if (k > 1) power = xi * power;
        sums_.cross_sums(k) += yi * power;
    }
    sums_.sum_y += yi;
    sums_.sum_yy += yi * yi;
}

void SlidingOrdinateSums::take_out(std::int32_t i) {
    const double xi = x_[i - 1], yi = y_[i - 1];
    double power = xi;
    for (std::int32_t k = 1; k <= degree_; ++k) {
        if (k > 1) power = xi * power;
        sums_.cross_sums(k) -= yi * power;
    }
    sums_.sum_y -= yi;
    sums_.sum_yy -= yi * yi;
}

void SlidingOrdinateSums::exchange(std::int32_t leaving, std::int32_t coming) {
    constexpr std::int32_t cubic = 3;
    const Point out{x_[leaving - 1], y_[leaving - 1]}, in{x_[coming - 1], y_[coming - 1]};
    if (degree_ == cubic) return exchange_of_degree<cubic>(sums_, degree_, out, in);
    exchange_of_degree<0>(sums_, degree_, out, in);
}

const OrdinateSums& SlidingOrdinateSums::move_to(std::int32_t first, std::int32_t last) {
    first = std::max(first, 1);
    if (first == first_ + 1 && last == last_ + 1 && first <= last_) {  // on by one row
        exchange(first_, last);
    } else if (first_ <= last_ && first >= first_ && last >= last_ && first <= last_) {
        for (std::int32_t i = first_; i < first; ++i) take_out(i);
        for (std::int32_t i = last_ + 1; i <= last; ++i) add(i);
    } else {
        sums_ = OrdinateSums{};
        for (std::int32_t i = first; i <= last; ++i) add(i);
    }
    first_ = first;
    last_ = last;
    return sums_;
}

std::array<bool, series_side_by_side> series_slide_exactly(std::span<const float> ordinates,
                                                           std::int32_t last, std::int32_t width) {
    constexpr std::int32_t cubic = 3;
    std::array<float, series_side_by_side> largest_y{};
    for (std::size_t at = 0; at + series_side_by_side <= ordinates.size();
         at += series_side_by_side)
        for (std::size_t s = 0; s < series_side_by_side; ++s)
            largest_y[s] = std::max(largest_y[s], std::fabs(ordinates[at + s]));
    const double largest_x = std::max(1, last);
    std::array<bool, series_side_by_side> sliding{};
    for (std::size_t s = 0; s < series_side_by_side; ++s)
        sliding[s] = SlidingOrdinateSums::slides_exactly(largest_x, largest_y[s], width, cubic);
    return sliding;
}

void add_to_series(SeriesSums& sums, double x, SeriesOrdinates y) {
    const double x2 = x * x, x3 = x * x2;
    for (std::size_t s = 0; s < series_side_by_side; ++s) {
        const double ys = y[s];
        sums.cross_1[s] += ys * x;
        sums.cross_2[s] += ys * x2;
        sums.cross_3[s] += ys * x3;
        sums.sum_y[s] += ys;
        sums.sum_yy[s] += ys * ys;
    }
}

void take_out_of_series(SeriesSums& sums, double x, SeriesOrdinates y) {
    const double x2 = x * x, x3 = x * x2;
    for (std::size_t s = 0; s < series_side_by_side; ++s) {
        const double ys = y[s];
        sums.cross_1[s] -= ys * x;
        sums.cross_2[s] -= ys * x2;
        sums.cross_3[s] -= ys * x3;
        sums.sum_y[s] -= ys;
        sums.sum_yy[s] -= ys * ys;
    }
}

}  // namespace mapari
