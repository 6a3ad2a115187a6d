// The per-beat analysis's arithmetic by hand: the least-squares line and its
// standard error, a lead's summary over the unflagged beats, and the two flag
// rules. The analysis of synthetic recordings against their planted beats is
// in tests/batch/test_beat_series.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "beats/baseline.hpp"
#include "beats/beat_series.hpp"

namespace mapari {
namespace {

// A beat with every lead's AT `at_ms` and RT `at_ms + ari_ms`.
BeatResult beat_with(std::optional<std::int32_t> rr_ms, float at_ms, float ari_ms,
                     float correlation = 0.999f) {
    BeatResult beat;
    beat.rr_ms = rr_ms;
    beat.correlation = correlation;
    beat.activation_ms.fill(at_ms);
    beat.recovery_ms.fill(at_ms + ari_ms);
    return beat;
}

// A beat's value as the .ds file writes it: nearest, halves away from zero,
// on both sides of zero and at the ends of a float's whole numbers.
TEST(WholeNumber, NearestWithHalvesAwayFromZero) {
    const struct {
        float value;
        std::int32_t whole;
    } cases[] = {{0.0f, 0},
                 {-0.0f, 0},
                 {0.49999997f, 0},
                 {-0.49999997f, 0},
                 {0.5f, 1},
                 {-0.5f, -1},
                 {1.5f, 2},
                 {-1.5f, -2},
                 {2.4999998f, 2},
                 {-2.5f, -3},
                 {123.75f, 124},
                 {-123.25f, -123},
                 {16777215.0f, 16777215},
                 {-16777216.0f, -16777216}};
    for (const auto& c : cases) EXPECT_EQ(whole_number(c.value), c.whole) << c.value;
}

TEST(LeastSquaresLine, SlopeAndItsStandardErrorByHand) {
    // x - 790 = 10, 30, -10, -30; y - 246.5 = 3.5, 9.5, -2.5, -10.5.
    // Sxx = 2000, Sxy = 35 + 285 + 25 + 315 = 660, slope 0.33; residuals
    // 0.2, -0.4, 0.8, -0.6, their squares 1.2; SE = sqrt(1.2 / 2 / 2000).
    const std::vector<double> x = {800, 820, 780, 760}, y = {250, 256, 244, 236};
    const std::optional<LineFit> fit = least_squares_line(x, y);
    ASSERT_TRUE(fit.has_value());
    EXPECT_NEAR(fit->slope, 0.33, 1e-12);
    EXPECT_NEAR(fit->slope_se, std::sqrt(0.0003), 1e-12);
}

TEST(LeastSquaresLine, NoneForFewerThanThreePointsOrNoSpread) {
    const struct {
        std::vector<double> x, y;
    } cases[] = {{{800, 820}, {250, 256}}, {{800, 800, 800}, {250, 256, 244}}, {{}, {}}};
    for (const auto& c : cases) EXPECT_FALSE(least_squares_line(c.x, c.y).has_value());
    // Three points on a line: slope exact, no residual.
    const std::vector<double> x = {700, 800, 900}, y = {200, 250, 300};
    ASSERT_TRUE(least_squares_line(x, y).has_value());
    EXPECT_DOUBLE_EQ(least_squares_line(x, y)->slope, 0.5);
    EXPECT_DOUBLE_EQ(least_squares_line(x, y)->slope_se, 0.0);
}

TEST(LeadSummary, UnflaggedBeatsGiveTheSdAndTheRestitutionByHand) {
    // The first beat has no RR; the flagged one is left out of everything.
    std::vector<BeatResult> beats = {beat_with(std::nullopt, 40, 246.5f),
                                     beat_with(800, 40, 250),
                                     beat_with(820, 41, 256),
                                     beat_with(700, 40, 400),
                                     beat_with(780, 40, 244),
                                     beat_with(760, 39, 236)};
    beats[3].at_scatter = true;
    const LeadSummary summary = summarise_lead(beats, 7);
    EXPECT_EQ(summary.beats_used, 5);
    // ARI 246.5, 250, 256, 244, 236: mean 246.5, squares 0 + 12.25 + 90.25 +
    // 6.25 + 110.25 = 219, SD sqrt(219 / 4).
    ASSERT_TRUE(summary.ari_sd_ms.has_value());
    EXPECT_NEAR(*summary.ari_sd_ms, std::sqrt(219.0 / 4.0), 1e-9);
    ASSERT_TRUE(summary.restitution.has_value());
    EXPECT_NEAR(summary.restitution->slope, 0.33, 1e-9);  // the line worked above
    EXPECT_NEAR(summary.restitution->slope_se, std::sqrt(0.0003), 1e-9);
}

TEST(LeadSummary, TooFewBeatsLeaveTheValuesUndefined) {
    const struct {
        std::vector<BeatResult> beats;
        int used;
        bool sd, slope;
    } cases[] = {
        {{}, 0, false, false},
        {{beat_with(std::nullopt, 40, 250)}, 1, false, false},
        {{beat_with(std::nullopt, 40, 250), beat_with(800, 40, 252), beat_with(810, 40, 253)},
         3,
         true,
         false},  // two beats with an RR
        {{beat_with(800, 40, 250), beat_with(800, 40, 252), beat_with(800, 40, 253)},
         3,
         true,
         false},  // no spread of RR
    };
    for (const auto& c : cases) {
        const LeadSummary summary = summarise_lead(c.beats, 1);
        EXPECT_EQ(summary.beats_used, c.used);
        EXPECT_EQ(summary.ari_sd_ms.has_value(), c.sd);
        EXPECT_EQ(summary.restitution.has_value(), c.slope);
    }
}

TEST(BeatFlags, ACorrelationClearlyBelowTheMedianIsLow) {
    // Median 1 - r = 0.003: the bound is 3 x 0.003 + 0.002 = 0.011 below 1.
    const struct {
        float correlation;
        bool low;
    } cases[] = {{0.997f, false}, {0.998f, false}, {0.996f, false}, {0.997f, false},
                 {0.990f, false}, {0.988f, true},  {0.9975f, false}};
    std::vector<BeatResult> beats;
    for (const auto& c : cases) beats.push_back(beat_with(800, 40, 250, c.correlation));
    std::array<bool, lead_count> with_signal{};
    with_signal.fill(true);
    flag_beats(beats, beats[0].activation_ms, with_signal);
    for (std::size_t k = 0; k < beats.size(); ++k) {
        EXPECT_EQ(beats[k].low_correlation, cases[k].low) << "beat " << k + 1;
        EXPECT_FALSE(beats[k].at_scatter) << "beat " << k + 1;
    }
}

TEST(BeatFlags, AnActivationMapFarFromTheAveragedOnesScatters) {
    // The averaged beat's AT is 40 on every lead. Beats 1 to 4 differ from it
    // by 0 on leads 1-32 and by 1 on leads 33-64 (IQR 1), so the bound is
    // 3 x 1 + 2 = 5 ms. Beat 5 differs by 6 on half its leads (IQR 6): flagged;
    // beat 6 by 5 (IQR 5): not flagged. Beat 7 scatters only on leads without
    // a signal, which count for nothing.
    std::array<float, lead_count> averaged{};
    averaged.fill(40.0f);
    std::array<bool, lead_count> with_signal{};
    with_signal.fill(true);
    for (std::size_t at = 60; at < lead_count; ++at) with_signal[at] = false;
    std::vector<BeatResult> beats(7, beat_with(800, 40, 250));
    const float lift_ms[] = {1, 1, 1, 1, 6, 5, 0};
    for (std::size_t k = 0; k < beats.size(); ++k)
        for (std::size_t at = 32; at < lead_count; ++at) beats[k].activation_ms[at] += lift_ms[k];
    for (std::size_t at = 60; at < lead_count; ++at) beats[6].activation_ms[at] = 400.0f;
    flag_beats(beats, averaged, with_signal);
    const bool scatters[] = {false, false, false, false, true, false, false};
    for (std::size_t k = 0; k < beats.size(); ++k) {
        EXPECT_EQ(beats[k].at_scatter, scatters[k]) << "beat " << k + 1;
        EXPECT_FALSE(beats[k].low_correlation) << "beat " << k + 1;
    }
}

}  // namespace
}  // namespace mapari
