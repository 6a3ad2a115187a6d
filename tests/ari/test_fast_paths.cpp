// The faster paths of the save step against the straightforward ones they
// replace, on many windows, rows and values, failing on a single differing bit
// or character:
//   - fits on shared abscissae with sliding sums against polynomial_regression
//     called afresh on every window;
//   - the whole ARI computation against the lead-by-lead, window-by-window
//     computation with a regression call of its own for every window;
//   - free-form reals written from their exact binary value against the
//     digits to_chars rounds them to, and whole records against value by
//     value;
//   - .ds text rounded to whole numbers from its digits against from_chars
//     and lround, refusals and their reasons included;
//   - the beat sort that stops when no position is left against every pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ari/ari_computation.hpp"
#include "beats/detection.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"
#include "formats/result_files.hpp"
#include "regression/polynomial_regression.hpp"
#include "regression/shared_abscissae.hpp"
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
            sums.cross_sums(p) += yi * power;
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

// ---- many series side by side ----

// Series of whole ordinates side by side slide exactly where each one's own
// sliding sums would, over the first rows and over all of them, narrow and
// wide windows.
TEST(FastPaths, SeriesSlideExactlyWhereEachSeriesAloneWould) {
    const Ordinates kinds[] = {
        Ordinates::t_wave, Ordinates::random_16bit, Ordinates::constant, Ordinates::millions,
        Ordinates::large,  Ordinates::at_the_bound, Ordinates::steps};
    struct Span {
        int first, last, width;
    };
    for (const Span span : {Span{1, 100, 41}, Span{1, 1024, 41}, Span{200, 700, 41},
                            Span{200, 700, 5}, Span{1, 1024, 1023}}) {
        SCOPED_TRACE(::testing::Message()
                     << span.first << ".." << span.last << ", width " << span.width);
        std::vector<std::vector<float>> y(series_side_by_side);
        std::vector<float> x, side_by_side;
        for (int k = 1; k <= averaged_rows; ++k) x.push_back(static_cast<float>(k));
        for (std::size_t s = 0; s < series_side_by_side; ++s) {
            std::mt19937 random(static_cast<unsigned>(s));
            for (int k = 1; k <= averaged_rows; ++k)
                y[s].push_back(ordinate(kinds[s % std::size(kinds)], k, random));
        }
        for (int k = span.first; k <= span.last; ++k)
            for (std::size_t s = 0; s < series_side_by_side; ++s)
                side_by_side.push_back(y[s][static_cast<std::size_t>(k - 1)]);
        const auto sliding = series_slide_exactly(side_by_side, span.last, span.width);
        int slides = 0;
        for (std::size_t s = 0; s < series_side_by_side; ++s) {
            SlidingOrdinateSums alone;
            EXPECT_EQ(sliding[s],
                      alone.start(x.data(), y[s].data(), span.first, span.last, span.width, 3))
                << "series " << s;
            slides += sliding[s];
        }
        EXPECT_GT(slides, 0);
        EXPECT_LT(slides, static_cast<int>(series_side_by_side));
    }
}

struct SeriesCase {
    Abscissae x;
    int first_centre, last_centre, half_width;
};

const SeriesCase series_cases[] = {
    {Abscissae::rows, 243, 601, 20},      // the ARI computation's windows
    {Abscissae::rows, 1, 60, 3},          // windows clamped at the first row
    {Abscissae::rows, 500, 600, 2},       // five points: the cubic term dropped
    {Abscissae::far, 1, 100, 20},         // pivots dropped
    {Abscissae::centred, 480, 545, 20},   // x about 0, negative abscissae
    {Abscissae::constant, 100, 140, 20},  // no spread in x: every fit 0
};

// Series s of every kind of ordinates in turn, seeded by s.
std::vector<Series> series_of_every_kind(const SeriesCase& c) {
    const Ordinates kinds[] = {
        Ordinates::t_wave,   Ordinates::random_16bit, Ordinates::constant, Ordinates::near_constant,
        Ordinates::millions, Ordinates::at_the_bound, Ordinates::steps};
    std::vector<Series> all;
    for (std::size_t s = 0; s < series_side_by_side; ++s)
        all.push_back(make_series(
            {c.x, kinds[s % std::size(kinds)], c.first_centre, c.last_centre, c.half_width, 3},
            static_cast<unsigned>(s)));
    return all;
}

std::array<float, series_side_by_side> ordinates_at(const std::vector<Series>& all, int point) {
    std::array<float, series_side_by_side> y{};
    for (std::size_t s = 0; s < series_side_by_side; ++s)
        y[s] = all[s].y[static_cast<std::size_t>(point - 1)];
    return y;
}

// Every series slides along the windows side by side: where its own sliding
// sums would be exact, its sums are those summed point by point, bit for bit,
// and its cubic that of its own call on the shared window, with a warning
// where its call writes one.
TEST(FastPaths, CubicsOfSeriesSideBySideEqualEachSeriesOwnFit) {
    int warned = 0, fitted = 0;
    for (const SeriesCase& c : series_cases) {
        SCOPED_TRACE(::testing::Message() << "x kind " << int(c.x) << ", centres " << c.first_centre
                                          << ".." << c.last_centre);
        std::vector<Series> all = series_of_every_kind(c);
        std::vector<bool> slides;
        for (const Series& one : all) {
            SlidingOrdinateSums own;
            slides.push_back(own.start(one.x.data(), one.y.data(), c.first_centre - c.half_width,
                                       c.last_centre + c.half_width, 2 * c.half_width + 1, 3));
        }
        auto work = std::make_unique<RegressionWork>();
        SeriesSums sums;
        int first_held = std::max(c.first_centre - c.half_width, 1), last_held = first_held - 1;
        for (int k = c.first_centre; k <= c.last_centre; ++k) {
            SCOPED_TRACE(k);
            const int first = std::max(k - c.half_width, 1), last = k + c.half_width;
            for (; first_held < first; ++first_held)
                take_out_of_series(sums, all[0].x[static_cast<std::size_t>(first_held - 1)],
                                   ordinates_at(all, first_held));
            for (; last_held < last; ++last_held)
                add_to_series(sums, all[0].x[static_cast<std::size_t>(last_held)],
                              ordinates_at(all, last_held + 1));
            SharedAbscissae shared;
            share_abscissae(*work, first, last, all[0].x.data(), 3, shared);
            if (shared.solver_status < 0) continue;
            SeriesCubics cubics;
            fit_cubics_on_shared_abscissae(shared, sums, cubics);
            for (std::size_t s = 0; s < series_side_by_side; ++s) {
                if (!slides[s]) continue;
                SCOPED_TRACE(s);
                const OrdinateSums own = sums_point_by_point(all[s], first, last, 3);
                ASSERT_TRUE(same_bits(sums.cross_1[s], own.cross_sums(1)));
                ASSERT_TRUE(same_bits(sums.cross_2[s], own.cross_sums(2)));
                ASSERT_TRUE(same_bits(sums.cross_3[s], own.cross_sums(3)));
                ASSERT_TRUE(same_bits(sums.sum_y[s], own.sum_y));
                ASSERT_TRUE(same_bits(sums.sum_yy[s], own.sum_yy));
                RegressionResults results;
                Transcript report;
                const RegressionPoints window{first, last, all[s].x.data(), all[s].y.data(),
                                              all[s].residuals.data()};
                fit_on_shared_abscissae(*work, shared, window, own, 3, results, report);
                ASSERT_TRUE(same_bits(cubics.b1[s], results.coefficients(1)));
                ASSERT_TRUE(same_bits(cubics.b2[s], results.coefficients(2)));
                ASSERT_TRUE(same_bits(cubics.b3[s], results.coefficients(3)));
                ASSERT_EQ(cubics.warns[s], !report.lines.empty());
                warned += cubics.warns[s];
                ++fitted;
            }
        }
    }
    // The table reaches fits that warn and fits that do not.
    EXPECT_GT(warned, 0);
    EXPECT_GT(fitted - warned, 0);
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
                ASSERT_TRUE(same_bits(slid.cross_sums(p), cross[p - 1]))
                    << "window centred on " << k << ", T(" << p << ")";
            ASSERT_TRUE(same_bits(slid.sum_y, sum_y)) << k;
            ASSERT_TRUE(same_bits(slid.sum_yy, sum_yy)) << k;
        }
    }
}

// ---- the whole ARI computation ----

// The computation lead by lead, each window fitted by a call of its own, the
// slope curve formed from first_row (J unless given) to E.
void ari_window_by_window(AriWork& work, ReportSink& report, std::int32_t first_row = 0) {
    if (first_row == 0) first_row = work.j_point;
    const std::int32_t h = work.settings.smoothing_half_width_samples;
    const auto& b = work.fit.coefficients;
    for (int l = 1; l <= lead_count; ++l) {
        for (int k = 1; k <= averaged_rows; ++k) {
            work.lead_samples(k) = work.beat_matrix(k, l);
            work.abscissae(k) = static_cast<float>(k);
            work.ordinates(k) = static_cast<float>(work.lead_samples(k));
        }
        find_activation(work, l);
        for (std::int32_t k = first_row; k <= work.t_end; ++k) {
            const RegressionPoints window{k - h, k + h, work.abscissae.data(),
                                          work.ordinates.data(), work.residuals.data()};
            polynomial_regression(work.regression, window, 3, 0, work.fit, report);
            const float row = static_cast<float>(k);
            work.slope_curve(k, l) = b(1) + 2.0f * b(2) * row + 3.0f * b(3) * (row * row);
        }
        float steepest = 0.0f;
        std::int32_t recovery = work.j_point + work.settings.recovery_delay_samples;
        for (std::int32_t k = work.j_point + work.settings.recovery_delay_samples; k <= work.t_end;
             ++k) {
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
    {100, 200, 400, 2, 7, 10},    // five points a window: cubic terms dropped
    {100, 300, 350, 20, 7, 100},  // the recovery delay reaches past the T end
};

void set_marks(AriWork& work, const MarksCase& c) {
    work.reference_point = c.p;
    work.j_point = c.j;
    work.t_end = c.e;
    work.settings.smoothing_half_width_samples = c.h;
    work.settings.activation_offset_samples = c.a;
    work.settings.recovery_delay_samples = c.r;
}

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
            set_marks(*work, c);
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

// The many-beat form: windows shared once, then beat after beat with the
// slope curve formed only where the recovery search reads it; the same AT and
// RT as compute_ari, bit for bit, on every beat and on every case of marks
// (the second beat's values another draw).
TEST(FastPaths, AriOnSharedWindowsEqualsTheComputationOfEachBeat) {
    for (const MarksCase& c : marks_cases) {
        SCOPED_TRACE(::testing::Message()
                     << "P " << c.p << ", J " << c.j << ", E " << c.e << ", r " << c.r);
        auto expected = std::make_unique<AriWork>(), got = std::make_unique<AriWork>();
        for (AriWork* work : {expected.get(), got.get()}) set_marks(*work, c);
        Transcript expected_report, got_report;
        share_ari_windows(*got);
        for (unsigned seed : {11u, 12u}) {
            fill_beat(*expected, seed);
            fill_beat(*got, seed);
            compute_ari(*expected, expected_report);
            compute_ari_on_shared_windows(*got, got_report);
            for (int l = 1; l <= lead_count; ++l) {
                ASSERT_TRUE(same_bits(got->activation_ms(l), expected->activation_ms(l))) << l;
                ASSERT_TRUE(same_bits(got->recovery_ms(l), expected->recovery_ms(l))) << l;
            }
        }
    }
}

// The leads fitted side by side (each lead whose sums do not slide, or whose
// fits warn, fitted again on its own): every row of the slope curve the
// search reads and every message as the lead-by-lead, window-by-window
// computation from the first row the search reads, J + r - 1.
TEST(FastPaths, AriOnSharedWindowsEqualsTheWindowByWindowComputation) {
    for (const MarksCase& c : marks_cases) {
        SCOPED_TRACE(::testing::Message()
                     << "P " << c.p << ", J " << c.j << ", E " << c.e << ", r " << c.r);
        auto expected = std::make_unique<AriWork>(), got = std::make_unique<AriWork>();
        for (AriWork* work : {expected.get(), got.get()}) {
            set_marks(*work, c);
            fill_beat(*work, 13);
        }
        const std::int32_t first_row = std::min(c.j + c.r - 1, c.e);
        Transcript expected_report, got_report;
        ari_window_by_window(*expected, expected_report, first_row);
        share_ari_windows(*got);
        compute_ari_on_shared_windows(*got, got_report);
        EXPECT_EQ(got_report.lines, expected_report.lines);
        for (int l = 1; l <= lead_count; ++l) {
            SCOPED_TRACE(l);
            ASSERT_TRUE(same_bits(got->activation_ms(l), expected->activation_ms(l)));
            ASSERT_TRUE(same_bits(got->recovery_ms(l), expected->recovery_ms(l)));
            for (int k = first_row; k <= c.e; ++k)
                ASSERT_TRUE(same_bits(got->slope_curve(k, l), expected->slope_curve(k, l)))
                    << "row " << k;
        }
    }
}

// ---- free-form reals ----

std::string right_aligned(const std::string& text, std::size_t width) {
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

// The free form as to_chars rounds to 7 significant digits (d.dddddde±XX).
std::string free_form_by_to_chars(float value) {
    const double exact = value;
    if (std::isnan(exact)) return right_aligned("NaN", 15);
    if (std::isinf(exact)) return right_aligned(exact < 0 ? "-Infinity" : "Infinity", 15);
    if (exact == 0.0) return "   0.000000    ";
    char scientific[32];
    *std::to_chars(scientific, scientific + 31, std::fabs(exact), std::chars_format::scientific, 6)
         .ptr = '\0';
    const std::string digits = std::string(1, scientific[0]) + std::string(scientific + 2, 6);
    const int k = std::atoi(scientific + 9) + 1;
    const std::string sign = exact < 0 ? "-" : "";
    if (k < 0 || k > 7) {
        char exponent[8];
        std::snprintf(exponent, sizeof exponent, "E%c%02d", k < 0 ? '-' : '+', std::abs(k) % 100);
        return right_aligned(sign + "0." + digits + exponent, 15);
    }
    const std::string whole = k == 0 ? "0" : digits.substr(0, static_cast<std::size_t>(k));
    return right_aligned(sign + whole + "." + digits.substr(static_cast<std::size_t>(k)), 11) +
           "    ";
}

float next_up(float value) {
    return std::nextafter(value, INFINITY);
}
float next_down(float value) {
    return std::nextafter(value, -INFINITY);
}

// Each value, its neighbours one unit in the last place away, and their negatives.
std::vector<float> with_neighbours(std::initializer_list<float> values) {
    std::vector<float> all;
    for (float v : values)
        for (float w : {next_down(v), v, next_up(v)}) {
            all.push_back(w);
            all.push_back(-w);
        }
    return all;
}

const std::vector<float> free_form_edges = with_neighbours({
    0.0f,          1.0f,
    0.5f,          0.1f,
    0.01f,         1e-4f,
    1e-5f,         9.99999e-6f,
    1e-6f,         1e-10f,
    1e-30f,        FLT_MIN,
    FLT_TRUE_MIN,  2 * FLT_TRUE_MIN,
    FLT_MAX,       9.9999995f,
    99.999995f,    0.099999995f,
    0.0099999995f, 9999999.5f,
    9999999.0f,    1e7f,
    1.0e7f + 1.0f, 8388607.5f,
    8388608.0f,    16777215.0f,
    16777216.0f,   2e9f,
    1e30f,         1234.5625f,
    1234.5635f,    0.5775f,
    10.06250f,     -0.62875f,
    123456.75f,    1.25f,
    2.5f,          3.4028235e38f,
    0.1234568f,    1234567.5f,
    1234568.5f,    999999.95f,
    99999.995f,
});

std::vector<float> free_form_randoms() {
    std::mt19937 random(5);
    std::vector<float> values;
    // Any bit pattern.
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 60000; ++i) values.push_back(std::bit_cast<float>(bits(random)));
    // Every decade from 10^-8 to 10^9, evenly within it.
    std::uniform_real_distribution<float> unit(1.0f, 10.0f);
    for (int decade = -8; decade <= 9; ++decade)
        for (int i = 0; i < 4000; ++i)
            values.push_back(unit(random) * std::pow(10.0f, static_cast<float>(decade)));
    // Ties: whole numbers plus a few binary fractions, exact with 8 or more
    // significant digits, many ending in a 5 that must round to even.
    std::uniform_int_distribution<int> whole(0, 9999999), fraction_bits(1, 12);
    for (int i = 0; i < 40000; ++i) {
        const int b = fraction_bits(random);
        const float fraction = static_cast<float>(whole(random) % (1 << b)) / float(1 << b);
        values.push_back(static_cast<float>(whole(random) >> (b / 2)) + fraction);
    }
    // Averages of whole samples, as the working beat holds them.
    std::uniform_int_distribution<int> sample(-32768, 32767), count(1, 40);
    for (int i = 0; i < 40000; ++i)
        values.push_back(static_cast<float>(sample(random)) / static_cast<float>(count(random)));
    return values;
}

TEST(FastPaths, FreeFormRealsEqualTheDigitsToCharsGives) {
    for (const std::vector<float>& values : {free_form_edges, free_form_randoms()}) {
        for (float value : values) {
            ASSERT_EQ(free_form(value), free_form_by_to_chars(value))
                << "bits " << std::hex << std::bit_cast<std::uint32_t>(value);
        }
    }
}

TEST(FastPaths, FreeFormIntegersEqualPrintf) {
    std::mt19937 random(3);
    std::uniform_int_distribution<std::int32_t> any(INT_MIN, INT_MAX);
    std::vector<std::int32_t> values = {
        0,       1,       -1,          9,         10,        -10, 99999999999 % 1000,
        INT_MIN, INT_MAX, INT_MIN + 1, 100000000, -100000000};
    for (int i = 0; i < 2000; ++i) values.push_back(any(random) >> (i % 31));
    for (std::int32_t value : values) {
        char printed[32];
        std::snprintf(printed, sizeof printed, "%12d", static_cast<int>(value));
        ASSERT_EQ(free_form(value), printed);
    }
}

// A record at once equals its values one by one, lines already begun included.
TEST(FastPaths, FreeFormRecordEqualsItsValuesOneByOne) {
    const std::vector<float> values = free_form_randoms();
    for (std::size_t count : {0u, 1u, 4u, 5u, 6u, 10u, 11u, 64u, 67u}) {
        for (std::size_t begun : {0u, 1u, 4u, 5u, 7u}) {
            SCOPED_TRACE(::testing::Message() << count << " values after " << begun);
            FreeFormWriter at_once, one_by_one;
            for (std::size_t i = 0; i < begun; ++i) {
                at_once.add(values[i]);
                one_by_one.add(values[i]);
            }
            at_once.add_record(values.data() + begun, count);
            for (std::size_t i = 0; i < count; ++i) one_by_one.add(values[begun + i]);
            one_by_one.end_record();
            at_once.add(values[0]);  // the next record starts on a line of its own
            one_by_one.add(values[0]);
            ASSERT_EQ(at_once.take(), one_by_one.take());
        }
    }
}

// ---- reading .ds text ----

using Matrix = Array2<std::int32_t, averaged_rows, lead_count>;

// Each number as from_chars reads it into a double (a + before anything but a
// - passed over, blanks as std::isspace says), rounded by lround.
bool read_ds_by_from_chars(const std::string& text, Matrix& matrix, std::string& reason) {
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
                reason = message("record {1} holds {2} of its 64 numbers",
                                 {std::to_string(k), std::to_string(l - 1)});
                return false;
            }
            if (status != std::errc() || !std::isfinite(value) || std::fabs(value) > 2.0e9) {
                reason = message("record {1} holds a value out of range", {std::to_string(k)});
                return false;
            }
            matrix(k, l) = static_cast<std::int32_t>(std::lround(value));
            cursor = after;
        }
    }
    return true;
}

// Both readings of the text agree on the outcome, the reason and every value.
void expect_same_reading(const std::string& text) {
    auto expected = std::make_unique<Matrix>(), got = std::make_unique<Matrix>();
    expected->fill(-7);
    got->fill(-7);
    std::string expected_reason, got_reason;
    const bool expected_read = read_ds_by_from_chars(text, *expected, expected_reason);
    ASSERT_EQ(read_ds_text(text, *got, got_reason), expected_read);
    ASSERT_EQ(got_reason, expected_reason);
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k)
            ASSERT_EQ((*got)(k, l), (*expected)(k, l))
                << "record " << k << ", number " << l << " of\n"
                << text.substr(0, 200);
}

const char* const separators[] = {" ", "  ", "\n", "\t", "\r\n", " \v", "\f", "    \n   "};

// The values one after another in every cell, with every kind of blank between them.
std::string ds_text_of(const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t cell = 0; cell < std::size_t{averaged_rows} * lead_count; ++cell)
        text += values[cell % values.size()] + separators[cell % std::size(separators)];
    return text;
}

// The text in record 3 at number 5, every other number 0.
std::string ds_text_holding(const std::string& odd) {
    std::string text;
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) text += k == 3 && l == 5 ? odd : "0 ";
        text += '\n';
    }
    return text;
}

const std::vector<std::string> ds_values = {
    // halves, both signs, at every size
    "0.5", "-0.5", "1.5", "-1.5", "2.5", "-2.5", "0.5775000", "-0.6287500", "10.06250", "4.500000",
    "-4.500000", "0.4999999", "-0.4999999", "0.5000001", "1234.500", "-1234.500",
    // seven digits, the free form's largest plain values
    "1234567.", "-9999999.", "1234567.5", "-1234567.5", "9999999.5", "8388608.", "0.9999999",
    // the exponent form
    "0.1234568E-01", "-0.1234568E-01", "0.5000000E+01", "0.2500000E+01", "-0.2500000E+01",
    "0.1000000E+08", "0.2000000E+10", "-0.2000000E+10", "0.4999999E-06", "0.5000000E+00",
    "0.1500000E+01", "1e9", "2e9", "-2e9", "2.0e+09", "1E0", "1e-0", "5e-1", "-5e-1", "4.9e-1",
    "1.5e-3", "15E-1", "25e-1", "-35e-1", "7.5E+00", "0.7500000E+1", "1e-16", "5e-17",
    // the limits
    "2000000000", "-2000000000", "1999999999.5", "-1999999999.5", "2000000000.0", "1999999999.4",
    "2000000000.000000",
    // signs, points, zeros and digits the exact reading leaves to from_chars
    "+5", "+0.5", "+2.5E+00", "5.", "-5.5", "0", "-0", "0.0", "-0.0", "0e5", "000000000000000002.5",
    "0000000000000000002.5", "0.49999999999999999", "0.4999999999999999", "0.49999999999999995",
    "2.4999999999999999", "-2.49999999999999999", "12345678.4999999", "1.0000005e2",
    "123456789012345678901", "0.12345678901234567890", ".5", "-.5", "9.9999999999999999e8", "1e-5",
    "5.000000000000001e-1", "1e+001", "1e0001"};

TEST(FastPaths, DsValuesRoundAsFromCharsAndLround) {
    expect_same_reading(ds_text_of(ds_values));
}

// Texts that are refused, or read otherwise than they look, each in the midst of good numbers.
TEST(FastPaths, DsTextRefusedForTheSameReasons) {
    const std::string odd[] = {"2000000000.5",
                               "2000000001",
                               "-2000000001",
                               "2.0000001e9",
                               "1e10",
                               "1e400",
                               "-1e400",
                               "1e-400",
                               "inf",
                               "-Infinity",
                               "NaN",
                               "nan(0x1)",
                               "+-5",
                               "-+5",
                               "--5",
                               "x",
                               "1d5 ",
                               "0x10",
                               "e5",
                               "1e ",
                               "1e+ ",
                               "1.5e",
                               "1.5.3 ",
                               "\u00a05",
                               "\2055",
                               "0.2000000E+11",
                               "99999999999999999999999",
                               "1e99",
                               "1e999",
                               "1e-99",
                               "-",
                               "+",
                               ".",
                               "",
                               "2000000000.0000001"};
    for (const std::string& text : odd) {
        SCOPED_TRACE("\"" + text + "\"");
        expect_same_reading(ds_text_holding(text));
    }
    // Fewer numbers than the file must hold, the text ending in the middle of one or after a blank.
    const std::string whole = ds_text_of({"12.5", "-3.25"});
    for (std::size_t cut : {std::size_t{0}, whole.size() / 2, whole.size() - 3, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        expect_same_reading(whole.substr(0, cut));
    }
}

// Random numbers: what the .ds file writes of random reals, and decimals of
// every length, point place and exponent.
TEST(FastPaths, RandomDsTextRoundsAsFromCharsAndLround) {
    std::mt19937 random(9);
    const std::vector<float> reals = free_form_randoms();
    std::vector<std::string> written;
    for (float value : reals)
        if (std::isfinite(value) && std::fabs(value) <= 2.0e9f) written.push_back(free_form(value));
    expect_same_reading(ds_text_of(written));

    std::uniform_int_distribution<int> digit(0, 9), length(0, 12), whole_length(0, 9);
    std::uniform_int_distribution<int> exponent(-24, 1), choice(0, 3);
    std::vector<std::string> decimals;
    for (int i = 0; i < 60000; ++i) {
        std::string text = choice(random) == 0 ? "-" : "";
        const int whole = whole_length(random), fraction = length(random);
        for (int d = 0; d < std::max(whole, 1); ++d) text += static_cast<char>('0' + digit(random));
        if (fraction > 0 || choice(random) == 0) text += '.';
        for (int d = 0; d < fraction; ++d) text += static_cast<char>('0' + digit(random));
        if (whole < 9 && choice(random) == 0) text += "E" + std::to_string(exponent(random));
        decimals.push_back(text);
    }
    expect_same_reading(ds_text_of(decimals));
}

// The whole number of each value as written, against the text written and
// read back, value by value (reals read as read_ds_by_from_chars reads them,
// itself held to read_ds_text above); none only for what the text may not
// give: values not finite or of 10^7 or more after rounding.
TEST(FastPaths, WholeNumberAsWrittenEqualsTheTextReadBack) {
    for (const std::vector<float>& values : {free_form_edges, free_form_randoms()}) {
        for (float value : values) {
            const std::optional<std::int32_t> whole = whole_number_as_written(value);
            const std::string text = free_form(value);
            double read = 0.0;
            const char* first = text.data() + text.find_first_not_of(' ');
            std::from_chars(first, text.data() + text.size(), read);
            const bool readable = std::isfinite(value) && std::fabs(read) < 1.0e7;
            ASSERT_EQ(whole.has_value(), readable) << text;
            if (whole) {
                ASSERT_EQ(*whole, std::lround(read)) << text;
            }
        }
    }
}

// The values' whole numbers taken at once equal each value's own, over the
// edges and the random values; the run stops at the first value with none,
// the wholes before it written and the one after left as it was.
TEST(FastPaths, WholeNumbersAsWrittenEqualEachValuesOwn) {
    for (const std::vector<float>& values : {free_form_edges, free_form_randoms()}) {
        std::vector<std::int32_t> wholes(values.size() + 1, -7);
        std::size_t first_none = values.size();
        for (std::size_t i = 0; i < values.size() && first_none == values.size(); ++i)
            if (!whole_number_as_written(values[i])) first_none = i;
        EXPECT_EQ(whole_numbers_as_written(values.data(), values.size(), wholes.data()),
                  first_none == values.size());
        for (std::size_t i = 0; i < first_none; ++i)
            ASSERT_EQ(wholes[i], *whole_number_as_written(values[i])) << free_form(values[i]);
        EXPECT_EQ(wholes[first_none + 1 <= values.size() ? first_none + 1 : values.size()], -7);
        std::vector<float> readable;
        for (float value : values)
            if (whole_number_as_written(value)) readable.push_back(value);
        std::vector<std::int32_t> all(readable.size());
        ASSERT_TRUE(whole_numbers_as_written(readable.data(), readable.size(), all.data()));
        for (std::size_t i = 0; i < readable.size(); ++i)
            ASSERT_EQ(all[i], *whole_number_as_written(readable[i])) << free_form(readable[i]);
    }
}

// The beat's whole numbers equal what read_ds_text takes from its .ds text,
// for beats of the random values that have them; a beat holding one value of
// 10^7 is left to the text.
TEST(FastPaths, DsWholeNumbersEqualTheDsTextReadBack) {
    std::vector<float> values;
    for (float value : free_form_randoms())
        if (whole_number_as_written(value)) values.push_back(value);
    auto beat = std::make_unique<Beat>();
    auto from_beat = std::make_unique<Matrix>(), from_text = std::make_unique<Matrix>();
    const std::size_t cells = std::size_t{averaged_rows} * lead_count;
    for (std::size_t first = 0; first < values.size(); first += cells) {
        for (std::size_t cell = 0; cell < cells; ++cell)
            beat->averaged(static_cast<int>(cell / lead_count) + 1,
                           static_cast<int>(cell % lead_count) + 1) =
                values[(first + cell) % values.size()];
        std::string reason;
        ASSERT_TRUE(read_ds_text(ds_file_text(*beat), *from_text, reason)) << reason;
        ASSERT_TRUE(ds_whole_numbers(*beat, *from_beat));
        for (int k = 1; k <= averaged_rows; ++k)
            for (int l = 1; l <= lead_count; ++l)
                ASSERT_EQ((*from_beat)(k, l), (*from_text)(k, l)) << k << ", " << l;
    }
    beat->averaged(1024, 64) = 1.0e7f;
    EXPECT_FALSE(ds_whole_numbers(*beat, *from_beat));
}

// ---- sorting beats ----

// Every one of the 200 passes: the largest position left, the last of equals.
void sort_every_pass(Display& display) {
    display.work_list = display.beat_list;
    for (int s = 1; s <= beat_slots; ++s) {
        std::int16_t best = 0;
        int place = 1;
        for (int j = 1; j <= beat_slots; ++j) {
            if (display.work_list(j) >= best) {
                best = display.work_list(j);
                place = j;
            }
        }
        display.sorted_beats(s) = best;
        display.work_list(place) = 0;
    }
}

TEST(FastPaths, BeatSortEqualsEveryPass) {
    std::mt19937 random(4);
    std::uniform_int_distribution<int> position(1, 4000), count(0, beat_slots), few(1, 3);
    std::vector<std::vector<std::int16_t>> lists = {{}, {1}, {4000}, {7, 7, 7}, {0, 0, 5}};
    for (int i = 0; i < 200; ++i) {
        std::vector<std::int16_t> list(
            static_cast<std::size_t>(i < 100 ? count(random) : few(random)));
        for (std::int16_t& p : list) p = static_cast<std::int16_t>(position(random) / (i % 2 + 1));
        lists.push_back(list);
    }
    std::vector<std::int16_t> full(beat_slots, 12);
    lists.push_back(full);
    for (const auto& list : lists) {
        SCOPED_TRACE(list.size());
        auto expected = std::make_unique<Display>(), got = std::make_unique<Display>();
        for (Display* display : {expected.get(), got.get()}) {
            display->beat_list.fill(0);
            display->sorted_beats.fill(-3);
            // Positions where beat finding puts them, zeros (empty slots) between some.
            for (int j = 0; j < static_cast<int>(list.size()); ++j)
                display->beat_list(j + 1) = list[j];
        }
        sort_every_pass(*expected);
        sort_beats(*got);
        ASSERT_EQ(got->sorted_beats.values, expected->sorted_beats.values);
        ASSERT_EQ(got->work_list.values, expected->work_list.values);
    }
}

}  // namespace
}  // namespace mapari::ari_tests
