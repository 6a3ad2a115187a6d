// The review's beat-to-beat plots: beats.csv read back, the series and their
// fits worked by hand, and the two panels laid out.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "review/beat_plots.hpp"
#include "review/review_input.hpp"
#include "review/review_layout.hpp"

namespace mapari::review_tests {
namespace {

using namespace review;

// Five beats of recording r: RR -, 800, 780, 840, 780 ms, the last flagged.
// Lead l's ARI is 200 + l + 0.5 (RR - 800) (200 + l on the first beat);
// lead 3 has no values.
std::string five_beats() {
    const struct {
        int time_ms;
        const char* rr_ms;
        int rr_offset_ms;
        const char* flags;
    } beats[] = {{300, "", 0, ""},
                 {1100, "800", 0, ""},
                 {1880, "780", -20, ""},
                 {2720, "840", 40, ""},
                 {3500, "780", -20, "low-correlation"}};
    std::string text = std::string(beats_table_header) + "\n";
    for (int b = 1; b <= 5; ++b) {
        const auto& beat = beats[b - 1];
        for (int l = 1; l <= lead_count; ++l) {
            const double ari_ms = 200 + l + 0.5 * beat.rr_offset_ms;
            const std::string values =
                l == 3 ? ",," : "40," + std::to_string(40 + ari_ms) + "," + std::to_string(ari_ms);
            text += "r," + std::to_string(b) + "," + std::to_string(beat.time_ms) + "," +
                    beat.rr_ms + "," + std::to_string(l) + "," + values + "," + beat.flags + "\n";
        }
    }
    return text;
}

BeatPlots plots_of_five_beats() {
    std::map<std::string, std::vector<TableBeat>, std::less<>> beats;
    std::string reason;
    EXPECT_TRUE(read_beats_table(five_beats(), beats, reason)) << reason;
    const std::optional<BeatPlots> plots = beat_plots(beats["r"]);
    EXPECT_TRUE(plots.has_value());
    return plots.value_or(BeatPlots{});
}

TEST(BeatPlots, SeriesAndSlopesOfHandWorkedBeats) {
    const BeatPlots plots = plots_of_five_beats();
    // Leads with a value on every unflagged beat: 1, 2, 4 .. 64 (63 leads);
    // the first, the one at index 31 (lead 33) and the last; then the mean.
    ASSERT_EQ(plots.restitution.size(), 4u);
    const char* labels[] = {"lead 1", "lead 33", "lead 64", "mean"};
    for (std::size_t k = 0; k < 4; ++k) {
        const PlotSeries& series = plots.restitution[k];
        EXPECT_EQ(series.label, labels[k]);
        // The unflagged beats after the first: RR 800, 780, 840.
        ASSERT_EQ(series.points.size(), 3u) << labels[k];
        EXPECT_EQ(series.points[1].x_ms, 780.0);
        ASSERT_TRUE(series.fit.has_value());
        EXPECT_NEAR(series.fit->slope, 0.5, 1e-9) << labels[k];
        EXPECT_NEAR(series.fit->slope_se, 0.0, 1e-6) << labels[k];
    }
    EXPECT_NEAR(plots.restitution[1].points[2].y_ms, 200 + 33 + 20, 1e-4);
    // The mean over the 63 leads of 200 + l: 200 + (2080 - 3) / 63.
    const double mean_first_ms = 200.0 + 2077.0 / 63.0;
    ASSERT_EQ(plots.mean_over_time.size(), 4u);
    EXPECT_EQ(plots.mean_over_time[0].x_ms, 300.0);
    EXPECT_NEAR(plots.mean_over_time[0].y_ms, mean_first_ms, 1e-4);
    EXPECT_EQ(plots.mean_over_time[3].x_ms, 2720.0);
    EXPECT_NEAR(plots.mean_over_time[3].y_ms, mean_first_ms + 20, 1e-4);
}

TEST(BeatPlots, FaultsOfTheTableAreRefusedWithTheirLine) {
    const std::string good = five_beats();
    const std::size_t second_line = good.find('\n') + 1;
    const std::string first_row =
        good.substr(second_line, good.find('\n', second_line) - second_line);
    const struct {
        std::string text, reason;
    } faults[] = {
        {"recording,beat\n", "line 1: the header must be " + std::string(beats_table_header)},
        {std::string(beats_table_header) + "\nr,1,300,,1,40,240\n",
         "line 2: 7 fields where " + std::string(beats_table_header) + " are 9"},
        {std::string(beats_table_header) + "\nr,1,300,,1,40,240,x,\n",
         "line 2: \"x\" is not a number (ARI_ms)"},
        {std::string(beats_table_header) + "\nr,2,300,,1,40,240,200,\n",
         "line 2: beat 2 lead 1 out of its place (beats from 1, each with leads from 1)"},
        {std::string(beats_table_header) + "\nr,1,300,,65,40,240,200,\n",
         "line 2: the beat, its time or its lead is not a whole number in range"},
        {std::string(beats_table_header) + "\n" + first_row + "\nr,1,300,soon,2,40,240,200,\n",
         "line 3: \"soon\" is not an RR in ms"},
    };
    for (const auto& fault : faults) {
        std::map<std::string, std::vector<TableBeat>, std::less<>> beats;
        std::string reason;
        EXPECT_FALSE(read_beats_table(fault.text, beats, reason)) << fault.text;
        EXPECT_EQ(reason, fault.reason);
    }
}

TEST(BeatPlots, NoPlotsWithoutAnUnflaggedBeat) {
    std::vector<TableBeat> beats(2);
    beats[0].flagged = true;
    beats[0].ari_ms[0] = 200.0f;
    EXPECT_FALSE(beat_plots(beats).has_value());
}

TEST(BeatPlots, TwoPanelsBelowTheFlagsWithPointsAndLinesWhereTheirValuesFall) {
    ReviewData data;
    data.title = "r";
    data.beat_plots = plots_of_five_beats();
    const ReviewPicture picture = lay_out_review(data);
    data.beat_plots.reset();
    const ReviewPicture without = lay_out_review(data);
    ASSERT_EQ(picture.beat_panels.size(), 2u);
    const PlotPanel& restitution = picture.beat_panels[0];
    const PlotPanel& over_time = picture.beat_panels[1];
    EXPECT_EQ(restitution.title, "ARI against the preceding RR (ms)");
    EXPECT_EQ(over_time.title, "ARI of the mean beat after beat (ms)");
    EXPECT_EQ(restitution.title_box.top, picture.other_flags_box.bottom() + 12);
    EXPECT_EQ(over_time.title_box.top, restitution.title_box.top);
    EXPECT_GT(over_time.field.left, restitution.field.right());
    EXPECT_EQ(picture.height, std::ceil(restitution.legend_box.bottom() + 16));
    EXPECT_GT(picture.height, without.height);
    // RR 780 to 840 ms and ARI from lead 1's 201 - 10 to lead 64's 264 + 20,
    // each widened by 1 ms: x 779 to 841, y 190 to 285.
    EXPECT_EQ(restitution.axes, "RR 780 to 840 ms; ARI 191 to 284 ms");
    const Box& field = restitution.field;
    const PlotCurve& lead_1 = restitution.curves[0];
    EXPECT_EQ(lead_1.label, "lead 1: slope 0.50");
    EXPECT_EQ(restitution.curves[3].label, "mean: slope 0.50");
    EXPECT_FALSE(lead_1.joined);
    // (800, 201): 21 / 62 of the width from the left, 11 / 95 of the height up.
    ASSERT_EQ(lead_1.points.size(), 3u);
    EXPECT_NEAR(lead_1.points[0].x, field.left + 21.0 / 62.0 * field.width, 1e-9);
    EXPECT_NEAR(lead_1.points[0].y, field.bottom() - 11.0 / 95.0 * field.height, 1e-9);
    // The fit through (800, 201), (780, 191), (840, 221) at RR 779: the mean
    // (806.67, 204.33) less 0.5 x 27.67, 190.5 ms, 0.5 / 95 of the height up.
    ASSERT_TRUE(lead_1.fitted.has_value());
    EXPECT_NEAR(lead_1.fitted->first.x, field.left, 1e-9);
    EXPECT_NEAR(lead_1.fitted->first.y, field.bottom() - 0.5 / 95.0 * field.height, 1e-9);
    EXPECT_NEAR(lead_1.fitted->second.x, field.right(), 1e-9);
    ASSERT_EQ(over_time.curves.size(), 1u);
    EXPECT_TRUE(over_time.curves[0].joined);
    EXPECT_FALSE(over_time.curves[0].fitted.has_value());
    EXPECT_EQ(over_time.curves[0].points.size(), 4u);
    EXPECT_EQ(over_time.axes.substr(0, 21), "time 300 to 2720 ms; ");
}

}  // namespace
}  // namespace mapari::review_tests
