// What the batch says about a finished analysis: the flags of a lead's values
// on hand-made computations, and each reason to check a recording on
// hand-made analyses.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "app/batch_analysis.hpp"
#include "app/lead_flags.hpp"

namespace mapari::batch_tests {
namespace {

// P = 148, J = 243, E = 601, r = 100: the default RT is J + r − P = 195, the
// window's edge E − P = 453.
TEST(LeadFlags, DefaultValuesOfTheComputationAreFlagged) {
    struct Case {
        const char* name;
        float activation_ms, recovery_ms;
        std::int32_t recovery_delay_samples;
        LeadFlags flags;
    } cases[] = {
        {"findings", 40.0f, 300.0f, 100, {}},
        {"AT = 0", 0.0f, 300.0f, 100, {LeadFlag::no_downstroke}},
        {"AT just after P", 1.0f, 300.0f, 100, {}},
        {"RT = J + r - P", 40.0f, 195.0f, 100, {LeadFlag::no_upstroke}},
        {"RT = J + r - P, r = 150", 40.0f, 245.0f, 150, {LeadFlag::no_upstroke}},
        {"RT = J + 100 - P, r = 150", 40.0f, 195.0f, 150, {}},
        {"RT = E - P", 40.0f, 453.0f, 100, {LeadFlag::rt_at_window_edge}},
        {"RT one short of E - P", 40.0f, 452.0f, 100, {}},
        // J + r = E: the default, not the edge.
        {"RT = J + r - P = E - P", 40.0f, 453.0f, 358, {LeadFlag::no_upstroke}},
        {"both defaults", 0.0f, 195.0f, 100, {LeadFlag::no_downstroke, LeadFlag::no_upstroke}},
    };
    auto work = std::make_unique<AriWork>();
    work->reference_point = 148;
    work->j_point = 243;
    work->t_end = 601;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        work->settings.recovery_delay_samples = c.recovery_delay_samples;
        work->activation_ms(7) = c.activation_ms;
        work->recovery_ms(7) = c.recovery_ms;
        EXPECT_TRUE(ari_default_flags(*work, 7) == c.flags);
    }
}

TEST(LeadFlags, EachQualityIsItsFlag) {
    const LeadQuality weak{.weak = true}, flat{.flat = true}, noisy{.noisy = true},
        clipped{.clipped = true};
    EXPECT_TRUE(quality_flags(LeadQuality{}) == LeadFlags{});
    EXPECT_TRUE(quality_flags(weak) == LeadFlags{LeadFlag::weak});
    EXPECT_TRUE(quality_flags(flat) == LeadFlags{LeadFlag::flat});
    EXPECT_TRUE(quality_flags(noisy) == LeadFlags{LeadFlag::noisy});
    EXPECT_TRUE(quality_flags(clipped) == LeadFlags{LeadFlag::clipped});
    EXPECT_TRUE((quality_flags(weak) | quality_flags(noisy)) ==
                (LeadFlags{LeadFlag::noisy, LeadFlag::weak}));
}

// A lead without a signal has that flag alone, whatever the computation left
// in its values and whatever else its quality says; a lead with one keeps its
// defaults and its quality. P = 148, J = 243, r = 100: RT 195 is the default.
TEST(LeadFlags, ALeadWithoutASignalHasThatFlagAlone) {
    struct Case {
        const char* name;
        float activation_ms, recovery_ms;
        LeadQuality quality;
        LeadFlags flags;
    } cases[] = {
        {"no signal, both defaults", 0.0f, 195.0f, {.no_signal = true}, {LeadFlag::no_signal}},
        {"no signal, findings", 40.0f, 300.0f, {.no_signal = true}, {LeadFlag::no_signal}},
        {"no signal said flat and weak",
         0.0f,
         195.0f,
         {.no_signal = true, .flat = true, .weak = true},
         {LeadFlag::no_signal}},
        {"a signal keeps its defaults",
         0.0f,
         195.0f,
         {},
         {LeadFlag::no_downstroke, LeadFlag::no_upstroke}},
        {"a signal keeps its defaults and quality",
         0.0f,
         300.0f,
         {.flat = true},
         {LeadFlag::no_downstroke, LeadFlag::flat}},
    };
    auto work = std::make_unique<AriWork>();
    work->reference_point = 148;
    work->j_point = 243;
    work->t_end = 601;
    work->settings.recovery_delay_samples = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        work->activation_ms(7) = c.activation_ms;
        work->recovery_ms(7) = c.recovery_ms;
        EXPECT_TRUE(lead_flags(*work, 7, c.quality) == c.flags);
    }
    EXPECT_TRUE(quality_flags({.no_signal = true}) == LeadFlags{LeadFlag::no_signal});
}

// 5 beats a pass over 8 passes; marks in order with the T peak between J and
// E, and E = 601 beyond J + r = 343.
RecordingAnalysis sound_analysis() {
    RecordingAnalysis analysis;
    analysis.averaging_count = 40;
    analysis.marks.stimulus = 143;
    analysis.marks.q_onset = 148;
    analysis.marks.j_point = 243;
    analysis.marks.t_peak = 480;
    analysis.marks.t_end = 601;
    return analysis;
}

void flag_leads_without_upstroke(RecordingAnalysis& analysis, int leads) {
    for (int l = 0; l < leads; ++l)
        analysis.flags[static_cast<std::size_t>(l)] = {LeadFlag::no_upstroke, LeadFlag::weak};
}

// The last `leads` leads without a signal.
void silence_leads(RecordingAnalysis& analysis, int leads) {
    for (int l = lead_count - leads; l < lead_count; ++l)
        analysis.flags[static_cast<std::size_t>(l)] = {LeadFlag::no_signal};
}

TEST(Doubts, EachReasonToCheckARecordingAndItsEdge) {
    using Change = std::function<void(RecordingAnalysis&)>;
    struct Case {
        const char* name;
        Change change;
        std::string doubt;
    } cases[] = {
        {"sound", [](RecordingAnalysis&) {}, ""},
        {"3 beats a pass", [](RecordingAnalysis& a) { a.averaging_count = 24; }, ""},
        {"2 beats a pass", [](RecordingAnalysis& a) { a.averaging_count = 16; },
         "only 2 beats accepted for the average"},
        {"23 beats over 8 passes", [](RecordingAnalysis& a) { a.averaging_count = 23; },
         "only 2 beats accepted for the average"},
        {"none", [](RecordingAnalysis& a) { a.averaging_count = 0; },
         "only 0 beats accepted for the average"},
        {"marks' problem", [](RecordingAnalysis& a) { a.marks.problem = "no T wave found"; },
         "no T wave found"},
        {"stimulus after Q", [](RecordingAnalysis& a) { a.marks.stimulus = 149; },
         "the marks are out of order"},
        {"stimulus at Q", [](RecordingAnalysis& a) { a.marks.stimulus = 148; }, ""},
        {"Q at J", [](RecordingAnalysis& a) { a.marks.q_onset = 243; },
         "the marks are out of order"},
        {"J at E", [](RecordingAnalysis& a) { a.marks.j_point = 601; },
         "the marks are out of order"},
        {"T peak at E", [](RecordingAnalysis& a) { a.marks.t_peak = 601; },
         "the T end lies before the T wave's peak"},
        {"T peak one before E", [](RecordingAnalysis& a) { a.marks.t_peak = 600; }, ""},
        // J + r = 243 + 358 = 601 = E; 357 leaves one row.
        {"E at J + r", [](RecordingAnalysis& a) { a.ari_settings.recovery_delay_samples = 358; },
         "the T end lies within the minimum recovery delay of the J point"},
        {"E one after J + r",
         [](RecordingAnalysis& a) { a.ari_settings.recovery_delay_samples = 357; }, ""},
        // More than a quarter of the 64 leads.
        {"16 leads without upstroke",
         [](RecordingAnalysis& a) { flag_leads_without_upstroke(a, 16); }, ""},
        {"17 leads without upstroke",
         [](RecordingAnalysis& a) { flag_leads_without_upstroke(a, 17); },
         "17 leads without an upstroke in the T wave"},
        // A quarter of the leads with a signal: 60 without a signal leave 4,
        // of which 1 may lack an upstroke and 2 may not (2 > 4 / 4).
        {"60 leads without a signal", [](RecordingAnalysis& a) { silence_leads(a, 60); }, ""},
        {"60 without a signal, 1 of 4 without upstroke",
         [](RecordingAnalysis& a) {
             silence_leads(a, 60);
             flag_leads_without_upstroke(a, 1);
         },
         ""},
        {"60 without a signal, 2 of 4 without upstroke",
         [](RecordingAnalysis& a) {
             silence_leads(a, 60);
             flag_leads_without_upstroke(a, 2);
         },
         "2 leads without an upstroke in the T wave"},
        // 52 leads with a signal: 13 is a quarter, 14 more.
        {"12 without a signal, 13 of 52 without upstroke",
         [](RecordingAnalysis& a) {
             silence_leads(a, 12);
             flag_leads_without_upstroke(a, 13);
         },
         ""},
        {"12 without a signal, 14 of 52 without upstroke",
         [](RecordingAnalysis& a) {
             silence_leads(a, 12);
             flag_leads_without_upstroke(a, 14);
         },
         "14 leads without an upstroke in the T wave"},
        {"every lead without a signal", [](RecordingAnalysis& a) { silence_leads(a, 64); }, ""},
        {"every lead weak and at the window's edge",
         [](RecordingAnalysis& a) {
             a.flags.fill({LeadFlag::weak, LeadFlag::rt_at_window_edge, LeadFlag::no_downstroke});
         },
         ""},
        // The first reason met is the one given.
        {"few beats and marks out of order",
         [](RecordingAnalysis& a) {
             a.averaging_count = 8;
             a.marks.q_onset = 300;
         },
         "only 1 beats accepted for the average"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingAnalysis analysis = sound_analysis();
        c.change(analysis);
        EXPECT_EQ(doubt_about(analysis), c.doubt);
    }
}

}  // namespace
}  // namespace mapari::batch_tests
