// The faster paths of the save step against the straightforward ones they
// replace, on many windows, rows and values, failing on a single differing bit
// or character:
//   - fits on shared abscissae with sliding sums against polynomial_regression
//     called afresh on every window;
//   - the whole ARI computation against the lead-by-lead, window-by-window
//     computation with a regression call of its own for every window.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ari/ari_computation.hpp"
#include "regression/polynomial_regression.hpp"
#include "regression/sliding_sums.hpp"

namespace mapari::ari_tests {
namespace {

using Lines = std::vector<std::string>;

struct Transcript final : ReportSink {
    void write(std::string_view record) override { lines.emplace_back(record); }
    Lines lines;
};

bool same_bits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}
bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// ---- series of points ----

enum class Ordinates {
    t_wave,         // a smooth wave with noise, a few thousand units
    random_16bit,   // whole numbers anywhere in 16 bits
    constant,       // no spread: every coefficient 0
    near_constant,  // 10^6 give or take 1: the warning that y is constant
    millions,       // up to 10^7: sums beyond 2^53, so each window is fitted alone
    large,          // up to 2 * 10^9: too large to slide, each window fitted alone
    at_the_bound,   // about 2 * 10^5, around the largest that slides exactly
    steps,          // flat runs and jumps, many windows without spread
    halves,         // not whole numbers: each window summed afresh
};

float ordinate(Ordinates kind, int k, std::mt19937& random) {
    std::uniform_int_distribution<int> noise(-40, 40), wide(-32768, 32767);
    std::uniform_int_distribution<int> millions(-10000000, 10000000), bound(150000, 250000);
    std::uniform_int_distribution<int> huge(-2000000000, 2000000000);
    const double t = (k - 600) / 70.0;
    switch (kind) {
        case Ordinates::t_wave:
            return static_cast<float>(std::lround(2500.0 * std::exp(-t * t)) + noise(random));
        case Ordinates::random_16bit:
            return static_cast<float>(wide(random));
        case Ordinates::constant:
            return -1234.0f;
        case Ordinates::near_constant:
            return static_cast<float>(1000000 + k % 2);
        case Ordinates::millions:
            return static_cast<float>(millions(random));
        case Ordinates::large:
            return static_cast<float>(huge(random));
        case Ordinates::at_the_bound:
            return static_cast<float>(bound(random));
        case Ordinates::steps:
            return static_cast<float>((k / 37) % 3 * 500 - 500);
        case Ordinates::halves:
            return static_cast<float>(noise(random)) + 0.5f;
    }
    return 0.0f;
}

enum class Abscissae {
    rows,      // x(k) = k, as the ARI computation fits
    far,       // x(k) = k + 20000: pivots dropped
    farther,   // x(k) = k + 10^6: matrices that are not positive definite
    centred,   // x(k) = k - 512: symmetric windows about 0
    constant,  // no spread in x
    quarters,  // not whole numbers: each window summed afresh
};

float abscissa(Abscissae kind, int k) {
    switch (kind) {
        case Abscissae::rows:
            return static_cast<float>(k);
        case Abscissae::far:
            return static_cast<float>(k + 20000);
        case Abscissae::farther:
            return static_cast<float>(k + 1000000);
        case Abscissae::centred:
            return static_cast<float>(k - 512);
        case Abscissae::constant:
            return 7.0f;
        case Abscissae::quarters:
            return static_cast<float>(k) * 0.25f;
    }
    return 0.0f;
}

// ---- fits on shared abscissae ----

struct WindowCase {
    Abscissae x;
    Ordinates y;
    int first_centre, last_centre, half_width, degree;
};

const WindowCase window_cases[] = {
    {Abscissae::rows, Ordinates::t_wave, 243, 601, 20, 3},
    {Abscissae::rows, Ordinates::t_wave, 1, 60, 2, 3},  // the first rows: refused, clamped
    {Abscissae::rows, Ordinates::random_16bit, 1, 40, 3, 3},
    {Abscissae::rows, Ordinates::random_16bit, 960, 1004, 20, 3},  // up to the last row
    {Abscissae::rows, Ordinates::random_16bit, 500, 600, 2, 3},    // cubic term dropped
    {Abscissae::rows, Ordinates::constant, 100, 160, 20, 3},
    {Abscissae::rows, Ordinates::near_constant, 100, 160, 20, 3},
    {Abscissae::rows, Ordinates::millions, 300, 360, 20, 3},
    {Abscissae::rows, Ordinates::large, 300, 360, 20, 3},
    {Abscissae::rows, Ordinates::at_the_bound, 300, 420, 20, 3},
    {Abscissae::rows, Ordinates::steps, 1, 300, 5, 3},
    {Abscissae::rows, Ordinates::halves, 300, 360, 20, 3},
    {Abscissae::rows, Ordinates::t_wave, 500, 560, 50, 3},
    {Abscissae::rows, Ordinates::t_wave, 1, 80, 4, 1},
    {Abscissae::rows, Ordinates::random_16bit, 1, 80, 4, 2},
    {Abscissae::rows, Ordinates::t_wave, 400, 460, 20, 4},  // above the shared degrees
    {Abscissae::far, Ordinates::t_wave, 1, 100, 20, 3},
    {Abscissae::far, Ordinates::random_16bit, 1, 100, 3, 3},
    {Abscissae::farther, Ordinates::t_wave, 1, 100, 20, 3},
    {Abscissae::farther, Ordinates::random_16bit, 1, 100, 3, 2},
    {Abscissae::centred, Ordinates::t_wave, 480, 545, 20, 3},
    {Abscissae::centred, Ordinates::random_16bit, 490, 535, 3, 2},
    {Abscissae::constant, Ordinates::t_wave, 100, 140, 20, 3},
    {Abscissae::quarters, Ordinates::t_wave, 100, 140, 20, 3},
};

// What one fitted window hands back that the shared path forms.
struct WindowResult {
    std::int32_t status = 0;
    float intercept = 0.0f;
    std::vector<float> coefficients;
};

WindowResult result_of(const RegressionResults& results, int degree) {
    WindowResult kept{results.status, results.intercept, {}};
    for (int i = 1; i <= degree; ++i) kept.coefficients.push_back(results.coefficients(i));
    return kept;
}

struct Series {
    std::vector<float> x, y, residuals;
};

Series make_series(const WindowCase& c, unsigned seed) {
    std::mt19937 random(seed);
    Series s;
    for (int k = 1; k <= averaged_rows; ++k) {
        s.x.push_back(abscissa(c.x, k));
        s.y.push_back(ordinate(c.y, k, random));
    }
    s.residuals.assign(averaged_rows, 0.0f);
    return s;
}

std::vector<WindowResult> fitted_afresh(Series& s, const WindowCase& c, Transcript& report) {
    auto work = std::make_unique<RegressionWork>();
    RegressionResults results;
    std::vector<WindowResult> fits;
    for (int k = c.first_centre; k <= c.last_centre; ++k) {
        const RegressionPoints window{k - c.half_width, k + c.half_width, s.x.data(), s.y.data(),
                                      s.residuals.data()};
        polynomial_regression(*work, window, c.degree, 0, results, report);
        fits.push_back(result_of(results, c.degree));
    }
    return fits;
}

// The sums with y of points first..last, point by point in ascending order as
// a fit adds them (none above the shared degrees, whose fits need none).
OrdinateSums sums_point_by_point(const Series& s, int first, int last, int degree) {
    OrdinateSums sums;
    for (int i = std::max(first, 1); i <= last; ++i) {
        const double xi = s.x[static_cast<std::size_t>(i - 1)];
        const double yi = s.y[static_cast<std::size_t>(i - 1)];
        double power = xi;
        for (int p = 1; p <= std::min(degree, largest_shared_degree); ++p) {
            if (p > 1) power = xi * power;
            sums.cross_sums(static_cast<std::size_t>(p)) += yi * power;
        }
        sums.sum_y += yi;
        sums.sum_yy += yi * yi;
    }
    return sums;
}

// Sums that slide where they may, as the ARI computation fits (each window
// fitted alone where they may not), or every window's summed point by point.
enum class Sums { sliding, point_by_point };

std::vector<WindowResult> fitted_on_shared(Series& s, const WindowCase& c, Sums kind,
                                           Transcript& report) {
    auto work = std::make_unique<RegressionWork>();
    RegressionResults results;
    std::vector<SharedAbscissae> shared(static_cast<std::size_t>(c.last_centre + 1));
    for (int k = c.first_centre; k <= c.last_centre; ++k)
        share_abscissae(*work, k - c.half_width, k + c.half_width, s.x.data(), c.degree,
                        shared[static_cast<std::size_t>(k)]);
    SlidingOrdinateSums sums;
    const bool sliding = sums.start(s.x.data(), s.y.data(), c.first_centre - c.half_width,
                                    c.last_centre + c.half_width, 2 * c.half_width + 1, c.degree);
    std::vector<WindowResult> fits;
    for (int k = c.first_centre; k <= c.last_centre; ++k) {
        const RegressionPoints window{k - c.half_width, k + c.half_width, s.x.data(), s.y.data(),
                                      s.residuals.data()};
        const SharedAbscissae& x_part = shared[static_cast<std::size_t>(k)];
        const int first = k - c.half_width, last = k + c.half_width;
        if (kind == Sums::point_by_point)
            fit_on_shared_abscissae(*work, x_part, window,
                                    sums_point_by_point(s, first, last, c.degree), c.degree,
                                    results, report);
        else if (sliding)
            fit_on_shared_abscissae(*work, x_part, window, sums.move_to(first, last), c.degree,
                                    results, report);
        else
            polynomial_regression(*work, window, c.degree, 0, results, report);
        fits.push_back(result_of(results, c.degree));
    }
    return fits;
}

TEST(FastPaths, FitsOnSharedAbscissaeEqualFitsAfresh) {
    std::vector<int> statuses_seen;
    for (const WindowCase& c : window_cases) {
        for (const Sums kind : {Sums::sliding, Sums::point_by_point}) {
            for (unsigned seed : {1u, 2u}) {
                SCOPED_TRACE(::testing::Message()
                             << "x kind " << int(c.x) << ", y kind " << int(c.y) << ", centres "
                             << c.first_centre << ".." << c.last_centre << ", h " << c.half_width
                             << ", degree " << c.degree << ", sums kind " << int(kind) << ", seed "
                             << seed);
                Series afresh = make_series(c, seed), shared = make_series(c, seed);
                Transcript afresh_report, shared_report;
                const auto expected = fitted_afresh(afresh, c, afresh_report);
                const auto got = fitted_on_shared(shared, c, kind, shared_report);
                ASSERT_EQ(got.size(), expected.size());
                for (std::size_t w = 0; w < got.size(); ++w) {
                    SCOPED_TRACE(c.first_centre + static_cast<int>(w));
                    const WindowResult &g = got[w], &e = expected[w];
                    ASSERT_EQ(g.status, e.status);
                    ASSERT_TRUE(same_bits(g.intercept, e.intercept));
                    for (std::size_t i = 0; i < e.coefficients.size(); ++i)
                        ASSERT_TRUE(same_bits(g.coefficients[i], e.coefficients[i]))
                            << "b" << i + 1 << " " << g.coefficients[i] << " against "
                            << e.coefficients[i];
                    statuses_seen.push_back(e.status);
                }
                EXPECT_EQ(shared_report.lines, afresh_report.lines);
            }
        }
    }
    // The table reaches refused windows and matrices, whole fits and dropped terms.
    for (int status : {-2, -1, 0, 1, 2})
        EXPECT_NE(std::find(statuses_seen.begin(), statuses_seen.end(), status),
                  statuses_seen.end())
            << status;
}

// ---- sliding sums ----

struct SlideCase {
    Ordinates y;
    int width, degree;
    bool slides;  // the bound holds for every window
};

const SlideCase slide_cases[] = {
    {Ordinates::t_wave, 41, 3, true},
    {Ordinates::random_16bit, 41, 3, true},
    {Ordinates::random_16bit, 5, 1, true},
    {Ordinates::at_the_bound, 41, 2, true},
    {Ordinates::at_the_bound, 41, 3, false},  // 41 * 2.5e5 * 1024^3 is above 2^52
    {Ordinates::steps, 101, 2, true},
    {Ordinates::t_wave, 1023, 3, true},  // sums up to 2^51
    {Ordinates::random_16bit, 1023, 3, false},
    {Ordinates::millions, 41, 3, false},
    {Ordinates::halves, 41, 3, false},
};

TEST(FastPaths, SlidingSumsEqualSumsPointByPoint) {
    for (const SlideCase& c : slide_cases) {
        SCOPED_TRACE(::testing::Message() << "y kind " << int(c.y) << ", width " << c.width);
        std::mt19937 random(7);
        std::vector<float> x, y;
        for (int k = 1; k <= averaged_rows; ++k) {
            x.push_back(static_cast<float>(k));
            y.push_back(ordinate(c.y, k, random));
        }
        SlidingOrdinateSums sums;
        const bool slides = sums.start(x.data(), y.data(), 1, averaged_rows, c.width, c.degree);
        EXPECT_EQ(slides, c.slides);
        if (!slides) continue;
        const int h = c.width / 2;
        for (int k = 1; k + h <= averaged_rows; ++k) {
            const int first = std::max(k - h, 1), last = k + h;
            const OrdinateSums& slid = sums.move_to(k - h, last);
            double cross[3] = {0, 0, 0}, sum_y = 0, sum_yy = 0;
            for (int i = first; i <= last; ++i) {
                const double xi = x[static_cast<std::size_t>(i - 1)];
                const double yi = y[static_cast<std::size_t>(i - 1)];
                double power = xi;
                for (int p = 0; p < c.degree; ++p) {
                    if (p > 0) power = xi * power;
                    cross[p] += yi * power;
                }
                sum_y += yi;
                sum_yy += yi * yi;
            }
            for (int p = 1; p <= c.degree; ++p)
                ASSERT_TRUE(same_bits(slid.cross_sums(static_cast<std::size_t>(p)), cross[p - 1]))
                    << "window centred on " << k << ", T(" << p << ")";
            ASSERT_TRUE(same_bits(slid.sum_y, sum_y)) << k;
            ASSERT_TRUE(same_bits(slid.sum_yy, sum_yy)) << k;
        }
    }
}

// ---- the whole ARI computation ----

// The computation lead by lead, each window fitted by a call of its own.
void ari_window_by_window(AriWork& work, ReportSink& report) {
    const std::int32_t h = work.smoothing_half_width;
    const auto& b = work.fit.coefficients;
    for (int l = 1; l <= lead_count; ++l) {
        for (int k = 1; k <= averaged_rows; ++k) {
            work.lead_samples(k) = work.beat_matrix(k, l);
            work.abscissae(k) = static_cast<float>(k);
            work.ordinates(k) = static_cast<float>(work.lead_samples(k));
        }
        find_activation(work, l);
        for (std::int32_t k = work.j_point; k <= work.t_end; ++k) {
            const RegressionPoints window{k - h, k + h, work.abscissae.data(),
                                          work.ordinates.data(), work.residuals.data()};
            polynomial_regression(work.regression, window, 3, 0, work.fit, report);
            const float row = static_cast<float>(k);
            work.slope_curve(k, l) = b(1) + 2.0f * b(2) * row + 3.0f * b(3) * (row * row);
        }
        float steepest = 0.0f;
        std::int32_t recovery = work.j_point + work.recovery_delay;
        for (std::int32_t k = work.j_point + work.recovery_delay; k <= work.t_end; ++k) {
            const float slope = work.slope_curve(k, l);
            if (slope > steepest && slope > work.slope_curve(k - 1, l)) {
                steepest = slope;
                recovery = k;
            }
        }
        work.recovery_ms(l) = static_cast<float>(recovery - work.reference_point);
    }
}

struct MarksCase {
    std::int32_t p, j, e, h, a, r;
};

const MarksCase marks_cases[] = {
    {148, 243, 601, 20, 7, 100},  // the demo's
    {1, 1, 40, 2, 2, 1},          // windows from the first row: refused, then clamped
    {3, 2, 60, 3, 1, 5},
    {700, 900, 1004, 20, 7, 30},  // the last window ends on the last row
    {100, 300, 700, 50, 7, 100},
    {100, 200, 400, 2, 7, 10},  // five points a window: cubic terms dropped
};

// Lead l's kind of values, every kind on several leads.
void fill_beat(AriWork& work, unsigned seed) {
    const Ordinates kinds[] = {Ordinates::t_wave,       Ordinates::random_16bit,
                               Ordinates::constant,     Ordinates::near_constant,
                               Ordinates::millions,     Ordinates::large,
                               Ordinates::at_the_bound, Ordinates::steps};
    std::mt19937 random(seed);
    for (int l = 1; l <= lead_count; ++l) {
        const Ordinates kind = kinds[(l - 1) % std::size(kinds)];
        for (int k = 1; k <= averaged_rows; ++k)
            work.beat_matrix(k, l) = static_cast<std::int32_t>(ordinate(kind, k, random));
    }
}

TEST(FastPaths, AriComputationEqualsTheWindowByWindowComputation) {
    for (const MarksCase& c : marks_cases) {
        SCOPED_TRACE(::testing::Message()
                     << "P " << c.p << ", J " << c.j << ", E " << c.e << ", h " << c.h);
        auto expected = std::make_unique<AriWork>(), got = std::make_unique<AriWork>();
        for (AriWork* work : {expected.get(), got.get()}) {
            fill_beat(*work, 11);
            work->reference_point = c.p;
            work->j_point = c.j;
            work->t_end = c.e;
            work->smoothing_half_width = c.h;
            work->activation_offset = c.a;
            work->recovery_delay = c.r;
            ASSERT_EQ(broken_limit(*work), "");
        }
        Transcript expected_report, got_report;
        ari_window_by_window(*expected, expected_report);
        compute_ari(*got, got_report);
        EXPECT_EQ(got_report.lines, expected_report.lines);
        for (int l = 1; l <= lead_count; ++l) {
            SCOPED_TRACE(l);
            ASSERT_TRUE(same_bits(got->activation_ms(l), expected->activation_ms(l)));
            ASSERT_TRUE(same_bits(got->recovery_ms(l), expected->recovery_ms(l)));
            for (int k = c.j; k <= c.e; ++k)
                ASSERT_TRUE(same_bits(got->slope_curve(k, l), expected->slope_curve(k, l)))
                    << "row " << k;
        }
        EXPECT_EQ(got->fit.status, expected->fit.status);
    }
}

}  // namespace
}  // namespace mapari::ari_tests
