// Speed of one polynomial regression window as the ARI computation calls it:
// degree 3 through 41 points (half-width 20) of a T wave, report level 0.
// Run: build/bench/bench_regression.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "regression/polynomial_regression.hpp"

namespace {

constexpr int samples = 1024;

// Counts the report lines: a fitted window at report level 0 writes none.
struct CountedReport final : mapari::ReportSink {
    void write(std::string_view) override { ++lines; }
    int lines = 0;
};

// A T wave on a slight baseline slope, in whole numbers as the beat file holds them.
void fill_t_wave(std::array<float, samples>& x, std::array<float, samples>& y) {
    for (int k = 1; k <= samples; ++k) {
        const double offset = (k - 600) / 80.0;
        x[k - 1] = static_cast<float>(k);
        y[k - 1] = static_cast<float>(std::round(900.0 * std::exp(-offset * offset) + 0.2 * k));
    }
}

void BM_RegressionWindowDegree3(benchmark::State& state) {
    std::array<float, samples> x{}, y{}, residuals{};
    fill_t_wave(x, y);
    CountedReport report;
    mapari::RegressionWork work;
    mapari::RegressionResults results;
    const std::int32_t half_width = 20, centre = 560, degree = 3, report_level = 0;
    const std::int32_t first = centre - half_width, last = centre + half_width;
    const mapari::RegressionPoints window{first, last, x.data(), y.data(), residuals.data()};
    for (auto _ : state) {
        mapari::polynomial_regression(work, window, degree, report_level, results, report);
        benchmark::DoNotOptimize(results.coefficients.data());
        benchmark::ClobberMemory();
    }
    // Far from x = 0 the cubic term may be dropped (status 1); a refusal or a
    // solver failure would make the figure meaningless.
    if (results.status < 0 || report.lines != 0) state.SkipWithError("the window was not fitted");
}
BENCHMARK(BM_RegressionWindowDegree3);

}  // namespace

BENCHMARK_MAIN();
