// Result files at the edges of what their readers accept: a value of the .ds
// file may be as large as 2e9, and the searches that follow must still give
// the right sample.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "ari/ari_computation.hpp"
#include "formats/result_files.hpp"
#include "window/headless_runtime.hpp"

namespace mapari::ari_tests {
namespace {

// A .ds text whose lead 1 holds `high` up to row `last_high` and `low` after;
// every other lead holds 0.
std::string step_beat(const std::string& high, const std::string& low, int last_high) {
    std::string text;
    for (int k = 1; k <= averaged_rows; ++k) {
        text += k <= last_high ? high : low;
        for (int l = 2; l <= lead_count; ++l) text += " 0";
        text += '\n';
    }
    return text;
}

// A fall from 2e9 to -2e9 after row 300: the five-point differences of rows
// 300 and 301 are both -1.2e10, far below what 32 bits hold, and the earlier
// of the two is the activation sample. Formed in 32 bits they wrapped round
// to positive values and no activation was found.
TEST(AriExtremeValues, ActivationOfAFallBetweenTheLargestValues) {
    auto work = std::make_unique<AriWork>();
    std::string reason;
    ASSERT_TRUE(read_se_text("  148  143  243  601\n", *work, reason)) << reason;
    ASSERT_TRUE(read_ds_text(step_beat("2000000000", "-2e9", 300), work->beat_matrix, reason))
        << reason;
    work->reference_point = 148;
    work->j_point = 400;  // the search runs from row 155 to row 400
    EXPECT_EQ(broken_limit(*work), "");
    for (int k = 1; k <= averaged_rows; ++k) work->lead_samples(k) = work->beat_matrix(k, 1);
    ASSERT_EQ(work->lead_samples(300), 2000000000);
    ASSERT_EQ(work->lead_samples(301), -2000000000);

    find_activation(*work, 1);
    EXPECT_EQ(work->activation_ms(1), 300.0f - 148.0f);
}

// The same fall, upside down, is a rise: no negative difference, so the
// activation stays at P.
TEST(AriExtremeValues, RiseBetweenTheLargestValuesHasNoActivation) {
    auto work = std::make_unique<AriWork>();
    std::string reason;
    ASSERT_TRUE(read_se_text("  148  143  400  601\n", *work, reason)) << reason;
    ASSERT_TRUE(read_ds_text(step_beat("-2e9", "2000000000", 300), work->beat_matrix, reason))
        << reason;
    for (int k = 1; k <= averaged_rows; ++k) work->lead_samples(k) = work->beat_matrix(k, 1);

    find_activation(*work, 1);
    EXPECT_EQ(work->activation_ms(1), 0.0f);
}

}  // namespace
}  // namespace mapari::ari_tests
