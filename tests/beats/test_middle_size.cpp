// The middle of many sizes counted out by their bytes, against the value
// std::nth_element gives: by hand, over ties and bytes shared in part, and
// over random sizes of every spread; a NaN or a negative value left to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "beats/middle_size.hpp"

namespace mapari::unit_tests {
namespace {

float by_nth_element(std::vector<float> sizes) {
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2),
                     sizes.end());
    return sizes[sizes.size() / 2];
}

float by_middle_size(std::vector<float> sizes) {
    return middle_size(sizes.data(), static_cast<int>(sizes.size()));
}

TEST(MiddleSize, IsTheValueAtHalfTheCountInOrder) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    constexpr float tiniest = std::numeric_limits<float>::denorm_min();
    const struct {
        std::vector<float> sizes;
        float middle;
    } cases[] = {
        {{7.0f}, 7.0f},
        {{2.0f, 1.0f}, 2.0f},                          // index 1 of {1, 2}
        {{3.0f, 1.0f, 2.0f}, 2.0f},                    // index 1 of {1, 2, 3}
        {{4.0f, 1.0f, 3.0f, 2.0f}, 3.0f},              // index 2 of {1, 2, 3, 4}
        {{0.0f, 0.0f, 5.0f}, 0.0f},                    // ties at the middle
        {{1.0f, 1.5f, 1.25f}, 1.25f},                  // one exponent: the high bytes agree
        {{1.0f, 1.0000001f, 1.0000002f}, 1.0000001f},  // only the lowest byte differs
        {{tiniest, 0.0f, 1.0f}, tiniest},
        {{infinity, 2.0f, infinity}, infinity},
        {{1.0e30f, 1.0e-30f, 1.0f, 1.0e10f}, 1.0e10f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(by_middle_size(c.sizes), c.middle) << c.sizes.size();
        EXPECT_EQ(by_nth_element(c.sizes), c.middle) << c.sizes.size();
    }
}

TEST(MiddleSize, LeavesTheSizesAsTheyAre) {
    std::vector<float> sizes = {5.0f, 3.0f, 9.0f, 1.0f};
    const std::vector<float> before = sizes;
    EXPECT_EQ(middle_size(sizes.data(), 4), 5.0f);
    EXPECT_EQ(sizes, before);
}

// Random sizes of several spreads (second differences of noise among them,
// whole numbers with many ties), of odd and even counts, as nth_element gives.
TEST(MiddleSize, EqualsNthElementOverRandomSizes) {
    std::mt19937 random(26);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::uniform_int_distribution<int> whole(0, 6);
    std::uniform_real_distribution<float> exponent(-40.0f, 38.0f);
    for (int count : {1, 2, 3, 10, 997, 998}) {
        for (int draw = 0; draw < 20; ++draw) {
            std::vector<float> sizes;
            for (int i = 0; i < count; ++i) {
                if (draw % 3 == 0) sizes.push_back(std::fabs(noise(random)));
                if (draw % 3 == 1) sizes.push_back(static_cast<float>(whole(random)));
                if (draw % 3 == 2) sizes.push_back(std::pow(10.0f, exponent(random)));
            }
            ASSERT_EQ(by_middle_size(sizes), by_nth_element(sizes)) << count << " " << draw;
        }
    }
}

TEST(MiddleSize, LeavesANanOrANegativeValueToNthElement) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const std::vector<float>& sizes :
         {std::vector<float>{1.0f, -0.0f, 2.0f}, std::vector<float>{3.0f, -1.0f, 2.0f, 0.5f},
          std::vector<float>{4.0f, 1.0f, 3.0f, 2.0f, nan}}) {
        const float expected = by_nth_element(sizes), got = by_middle_size(sizes);
        EXPECT_TRUE(got == expected || (std::isnan(got) && std::isnan(expected))) << sizes.size();
    }
}

}  // namespace
}  // namespace mapari::unit_tests
