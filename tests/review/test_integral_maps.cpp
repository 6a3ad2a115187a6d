// The QRS, QRST and STT areas of each lead, against areas worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "review/integral_maps.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// ref = 100, J = 200, T end = 500.
AriRecord marks() {
    AriRecord record;
    record.reference_point = 100, record.j_point = 200, record.t_end = 500;
    return record;
}

// Lead 1: a triangle of height 1000 counts rising from row 120 to 150 and
// falling to 180, inside the QRS; lead 2: a negative half sine of 800 counts
// from row 250 to 450, inside the STT, rounded to whole counts as the .ds is
// read; lead 3: 7 counts everywhere; every other lead 0.
BeatTraces planted_beat() {
    BeatTraces beat;
    beat.values.assign(static_cast<std::size_t>(lead_count * averaged_rows), 0);
    const auto set = [&](int lead, int row, double value) {
        beat.values[static_cast<std::size_t>((lead - 1) * averaged_rows + row - 1)] =
            static_cast<std::int32_t>(std::lround(value));
    };
    for (int k = 120; k <= 180; ++k) set(1, k, 1000.0 * (30 - std::abs(k - 150)) / 30);
    for (int k = 250; k <= 450; ++k)
        set(2, k, -800.0 * std::sin(std::numbers::pi * (k - 250) / 200));
    for (int k = 1; k <= averaged_rows; ++k) set(3, k, 7);
    return beat;
}

TEST(IntegralMaps, StretchesRunBetweenTheirMarks) {
    EXPECT_EQ(stretch_rows(marks(), IntegralStretch::qrs), std::pair(100, 200));
    EXPECT_EQ(stretch_rows(marks(), IntegralStretch::qrst), std::pair(100, 500));
    EXPECT_EQ(stretch_rows(marks(), IntegralStretch::stt), std::pair(200, 500));
}

TEST(IntegralMaps, AreasMatchTheHandWorkedOnesWithinOnePercent) {
    // Triangle: 1000 · 60 / 2 = 30000 counts·ms; half sine: −800 · 200 · 2/π =
    // −101859.2 counts·ms; constant 7 over 100 rows (ref to J) = 700, over 400 = 2800,
    // over 300 = 2100. At 2 µV a count every area doubles.
    const double half_sine = -800.0 * 200 * 2 / std::numbers::pi;
    struct Case {
        IntegralStretch stretch;
        int lead;
        double microvolt_ms;
    };
    const Case cases[] = {
        {IntegralStretch::qrs, 1, 60000.0},
        {IntegralStretch::qrst, 1, 60000.0},
        {IntegralStretch::stt, 1, 0.0},
        {IntegralStretch::qrs, 2, 0.0},
        {IntegralStretch::qrst, 2, 2 * half_sine},
        {IntegralStretch::stt, 2, 2 * half_sine},
        {IntegralStretch::qrs, 3, 1400.0},
        {IntegralStretch::qrst, 3, 5600.0},
        {IntegralStretch::stt, 3, 4200.0},
        {IntegralStretch::qrst, 64, 0.0},
    };
    const BeatTraces beat = planted_beat();
    for (const Case& c : cases) {
        const auto areas = integral_map(beat, marks(), c.stretch, 2.0);
        const double area = areas[static_cast<std::size_t>(c.lead - 1)];
        EXPECT_NEAR(area, c.microvolt_ms, std::fabs(c.microvolt_ms) * 0.01 + 1e-9)
            << "lead " << c.lead << ", stretch " << static_cast<int>(c.stretch);
    }
}

TEST(IntegralMaps, TheTrapezoidRuleCountsTheEndsHalf) {
    // Lead 3 is 7 everywhere: rows 10 to 12 are two intervals of 1 ms, 14 counts·ms,
    // not the 21 a plain sum of three rows would give.
    EXPECT_DOUBLE_EQ(lead_area_microvolt_ms(planted_beat(), 3, 10, 12, 1.0), 14.0);
    EXPECT_DOUBLE_EQ(lead_area_microvolt_ms(planted_beat(), 3, 12, 12, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(lead_area_microvolt_ms(planted_beat(), 3, 12, 10, 1.0), 0.0);
    // Cut to the saved rows: 1020 to 1030 is 1020 to 1024, four intervals.
    EXPECT_DOUBLE_EQ(lead_area_microvolt_ms(planted_beat(), 3, 1020, 1030, 1.0), 28.0);
}

}  // namespace
}  // namespace mapari::review_tests
