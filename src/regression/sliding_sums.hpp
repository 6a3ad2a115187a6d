// The sums with y of a window moving along a series of points (T(k) = sum of
// y x^k for k = 1..m, Sy, and the sum of y^2), each window's sums formed from
// the last window's by taking out the points that left it and adding those
// that came in, instead of from all its points afresh.
//
// Method: a fit adds its sums in 64-bit reals, point by point in ascending
// order. When x and y are whole numbers and every product and every sum over
// a window stays below 2^53 in magnitude, each of those additions is exact,
// so the sums are the exact whole numbers whatever the order of the
// additions, and sliding gives the very same doubles. start() checks this for
// every point the windows will cover: max(1, |x|)^m, and |y| max(1, |x|)^m
// and y^2 times the points of a window, at most 2^52. When it fails the
// caller sums each window afresh. Points that leave are taken out before
// points that come in, so no partial sum ever covers more than one window.
//
// Check a result: move_to gives the sums of a fit's own accumulation on the
// same window, bit for bit (tests/ari/test_fast_paths.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "store/regression_work.hpp"

namespace mapari {

class SlidingOrdinateSums {
  public:
    // Whether windows of at most `width` points within first..last of x and y
    // (pointers at element 1, as RegressionPoints holds them) slide exactly
    // for a fit of the given degree (at most 3).
    bool start(const float* x, const float* y, std::int32_t first, std::int32_t last,
               std::int32_t width, std::int32_t degree);
    // The bound start() checks, from the largest |x| (at least 1) and |y| of
    // whole numbers x and y.
    static bool slides_exactly(double largest_x, double largest_y, std::int32_t width,
                               std::int32_t degree);
    // The sums of points first..last, a first point below 1 counting from 1
    // as in polynomial_regression; a window that does not move on from the
    // last one (forwards, overlapping it) is summed afresh.
    const OrdinateSums& move_to(std::int32_t first, std::int32_t last);

  private:
    void add(std::int32_t i);
    void take_out(std::int32_t i);
    // Point `leaving` taken out and point `coming` added, in that order, in every sum.
    void exchange(std::int32_t leaving, std::int32_t coming);

    const float* x_ = nullptr;
    const float* y_ = nullptr;
    std::int32_t degree_ = 0;
    std::int32_t first_ = 1;  // the window whose sums are held; empty when last_ < first_
    std::int32_t last_ = 0;
    OrdinateSums sums_;
};

// The sums with y of many series of ordinates over one window of shared x,
// for a cubic: series s at element s of every array. A point enters or
// leaves every series at once, so that the compiler can take several series
// at once. For a series whose own SlidingOrdinateSums::start accepts the
// windows every sum and partial sum is an exact whole number, so its sums are
// those a SlidingOrdinateSums of its own holds, bit for bit; the other series
// hold sums that mean nothing.
inline constexpr std::size_t series_side_by_side = 64;

struct SeriesSums {
    using Values = std::array<double, series_side_by_side>;
    Values cross_1{}, cross_2{}, cross_3{};  // T(1..3)
    Values sum_y{}, sum_yy{};
};

// The ordinates of every series at one point.
using SeriesOrdinates = std::span<const float, series_side_by_side>;

// Whether the sums of each series slide exactly, as SlidingOrdinateSums::start
// finds for a cubic on that series alone, over the windows of `width` points
// within points first..last whose x are the rows first..last (first at
// least 1). `ordinates` holds the series' y at those points, point after
// point, the series of a point side by side; every x and y must be whole.
std::array<bool, series_side_by_side> series_slide_exactly(std::span<const float> ordinates,
                                                           std::int32_t last, std::int32_t width);

void add_to_series(SeriesSums& sums, double x, SeriesOrdinates y);
void take_out_of_series(SeriesSums& sums, double x, SeriesOrdinates y);

}  // namespace mapari
