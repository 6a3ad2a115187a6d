// The colour scale of the maps and the ticks of its bar.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "review/colour_scale.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

using ::testing::DoubleNear;
using ::testing::ElementsAre;

TEST(ColourScale, EndsAreViridisDarkVioletAndYellow) {
    EXPECT_EQ(viridis(0.0), (Rgb{0x44, 0x01, 0x54}));
    EXPECT_EQ(viridis(1.0), (Rgb{0xFD, 0xE7, 0x25}));
}

TEST(ColourScale, BetweenTwoSamplesColoursMix) {
    // Halfway between the samples at 0 and 1/19: (0x44 + 0x48) / 2 = 70,
    // (0x01 + 0x15) / 2 = 11, (0x54 + 0x68) / 2 = 94.
    EXPECT_EQ(viridis(0.5 / 19), (Rgb{70, 11, 94}));
    // The sample at 10/19 itself: 0x1F968B.
    EXPECT_EQ(viridis(10.0 / 19), (Rgb{0x1F, 0x96, 0x8B}));
}

TEST(ColourScale, OutsideTheRangeTheEndsHold) {
    EXPECT_EQ(viridis(-0.5), viridis(0.0));
    EXPECT_EQ(viridis(7.0), viridis(1.0));
    EXPECT_EQ(viridis(NAN), viridis(0.0));
}

TEST(ColourScale, TheScaleGrowsLighterThroughout) {
    // Perceptual order: each step is lighter than the one before.
    double previous = -1.0;
    for (int k = 0; k <= 100; ++k) {
        const Rgb c = viridis(k / 100.0);
        const double luminance = 0.2126 * c.red + 0.7152 * c.green + 0.0722 * c.blue;
        EXPECT_GT(luminance, previous) << k;
        previous = luminance;
    }
}

TEST(ColourScale, TextIsWhiteOnTheDarkEndAndBlackOnTheLightEnd) {
    EXPECT_TRUE(wants_light_text(viridis(0.0)));
    EXPECT_FALSE(wants_light_text(viridis(1.0)));
    EXPECT_TRUE(wants_light_text(Rgb{0, 0, 0}));
    EXPECT_FALSE(wants_light_text(Rgb{255, 255, 255}));
}

TEST(ValueRange, CoversTheValuesIncluded) {
    ValueRange range;
    EXPECT_TRUE(range.empty);
    for (double v : {40.0, 61.0, 27.0}) range.include(v);
    EXPECT_FALSE(range.empty);
    EXPECT_EQ(range.low, 27.0);
    EXPECT_EQ(range.high, 61.0);
    EXPECT_EQ(range.fraction(44.0), 0.5);  // (44 − 27) / (61 − 27)
}

TEST(ValueRange, OneValueIsWidenedByOneEachWay) {
    ValueRange range;
    range.include(260.0);
    range.include(260.0);
    const ValueRange wide = range.widened();
    EXPECT_EQ(wide.low, 259.0);
    EXPECT_EQ(wide.high, 261.0);
    EXPECT_EQ(wide.fraction(260.0), 0.5);
}

TEST(ScaleTicks, LargestRoundStepGivingEnoughTicks) {
    // 27..61: a step of 10 gives 30, 40, 50, 60 (four).
    EXPECT_THAT(scale_ticks(27, 61, 4), ElementsAre(30, 40, 50, 60));
    // 27..58: steps of 10 give three, so 5: 30, 35, ..., 55.
    EXPECT_THAT(scale_ticks(27, 58, 4), ElementsAre(30, 35, 40, 45, 50, 55));
    // 0..1: 1 gives two, 0.5 three, 0.2 six.
    EXPECT_THAT(scale_ticks(0, 1, 4), ElementsAre(DoubleNear(0.0, 1e-12), DoubleNear(0.2, 1e-12),
                                                  DoubleNear(0.4, 1e-12), DoubleNear(0.6, 1e-12),
                                                  DoubleNear(0.8, 1e-12), DoubleNear(1.0, 1e-12)));
    // −12..3: 10 gives two (−10, 0), 5 three, 2 eight.
    EXPECT_THAT(scale_ticks(-12, 3, 4), ElementsAre(-12, -10, -8, -6, -4, -2, 0, 2));
}

TEST(ScaleTicks, NoTicksWithoutARange) {
    EXPECT_TRUE(scale_ticks(5, 5, 4).empty());
    EXPECT_TRUE(scale_ticks(6, 5, 4).empty());
}

}  // namespace
}  // namespace mapari::review_tests
