// The preview of a saved beat with moved marks, on beats worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "beats/beat_preview.hpp"

namespace mapari {
namespace {

using SavedBeat = Array2<std::int32_t, averaged_rows, lead_count>;

constexpr AriSettings settings{20, 7, 100};

// Lead l holds l * k at row k: a straight line in every lead.
std::unique_ptr<SavedBeat> ramps() {
    auto beat = std::make_unique<SavedBeat>();
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k) (*beat)(k, l) = l * k;
    return beat;
}

TEST(BeatPreview, TheBaselineThroughTheQOnsetAndTEndTakesAStraightLeadToZero) {
    const BeatPreview preview = preview_beat(*ramps(), {140, 150, 230, 600}, settings);
    EXPECT_EQ(preview.refusal, "");
    for (int lead : {1, 33, 64})
        for (int row : {1, 150, 400, 1024}) EXPECT_EQ(preview.at(row, lead), 0.0f) << row;
}

TEST(BeatPreview, MarksThatCannotBeMarksGiveTheRefusalAndTheBeatAsSaved) {
    struct Case {
        MarkRowArray marks;
        std::string refusal;
    };
    const Case cases[] = {
        {{140, 150, 150, 600},
         "the marks are out of order: stimulus 140, Q onset 150, J point 150, T end 600 "
         "(stimulus <= Q onset < J point < T end)"},
        {{140, 150, 230, 1001}, "the T end at row 1001 lies outside the beat (rows 1 to 1000)"},
        {{0, 150, 230, 600}, "the stimulus mark at row 0 lies outside the beat (rows 1 to 1000)"},
        // E + h <= 1024 broken: 1000 + 30.
        {{140, 150, 230, 1000}, "E + h = 1030 must be at most 1024"},
    };
    for (const Case& c : cases) {
        const BeatPreview preview = preview_beat(
            *ramps(), c.marks, c.marks[3] == 1000 ? AriSettings{30, 7, 100} : settings);
        EXPECT_NE(preview.refusal.find(c.refusal), std::string::npos) << preview.refusal;
        EXPECT_EQ(preview.activation_ms[0], 0.0f);
    }
    // The beat as saved where no baseline can be drawn.
    EXPECT_EQ(preview_beat(*ramps(), {140, 150, 150, 600}, settings).at(10, 3), 30.0f);
}

TEST(BeatPreview, TheRmsIsOverTheLeadsWithASignalOnly) {
    auto beat = std::make_unique<SavedBeat>();
    (*beat)(300, 1) = 3;
    (*beat)(300, 2) = 4;
    (*beat)(300, 3) = 1000;  // a lead without a signal: left out
    const BeatPreview preview = preview_beat(*beat, {140, 150, 230, 600}, settings);
    std::array<bool, lead_count> with_signal{};
    with_signal[0] = with_signal[1] = true;
    const std::vector<float> rms = rms_curve(preview, with_signal);
    ASSERT_EQ(rms.size(), 1024u);
    EXPECT_FLOAT_EQ(rms[299], std::sqrt((9.0f + 16.0f) / 2.0f));  // sqrt(12.5)
    EXPECT_EQ(rms[298], 0.0f);
    EXPECT_EQ(rms_curve(preview, {})[299], 0.0f);  // no lead with a signal
}

}  // namespace
}  // namespace mapari
