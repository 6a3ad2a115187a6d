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

// Two accepted beats `rr_ms` apart (none for 0: no RR), and the T end
// `qt_ms` after the Q onset at 148 with the T peak 40 rows before it.
void set_intervals(RecordingAnalysis& analysis, int rr_ms, int qt_ms) {
    analysis.accepted.clear();
    if (rr_ms > 0) analysis.accepted = {{300, 0, 1.0f}, {300 + rr_ms, 0, 1.0f}};
    analysis.marks.t_end = 148 + qt_ms;
    analysis.marks.t_peak = analysis.marks.t_end - 40;
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
        // QT = E - Q; with J + r = 343, E from 348 (QT 200) on leaves the
        // recovery delay. QT 200 at any RR is a QTc below 300: no RR.
        {"QT 200", [](RecordingAnalysis& a) { set_intervals(a, 0, 200); }, ""},
        {"QT 199", [](RecordingAnalysis& a) { set_intervals(a, 0, 199); },
         "QT 199 ms lies outside 200-600 ms"},
        {"QT 600", [](RecordingAnalysis& a) { set_intervals(a, 1000, 600); }, ""},
        {"QT 601", [](RecordingAnalysis& a) { set_intervals(a, 1000, 601); },
         "QT 601 ms lies outside 200-600 ms"},
        {"QT 650, one beat",
         [](RecordingAnalysis& a) {
             set_intervals(a, 1000, 650);
             a.accepted.pop_back();
         },
         "QT 650 ms lies outside 200-600 ms"},
        // QTc (Bazett) = QT / sqrt(RR s). At RR 1000 QTc = QT; 299 is a QT within its limits.
        {"QTc (Bazett) 300", [](RecordingAnalysis& a) { set_intervals(a, 1000, 300); }, ""},
        {"QTc (Bazett) 299", [](RecordingAnalysis& a) { set_intervals(a, 1000, 299); },
         "QTc (Bazett) 299 ms lies outside 300-600 ms"},
        // 597 / sqrt(0.99) = 600.0; 598 / sqrt(0.99) = 601.0.
        {"QTc (Bazett) 600", [](RecordingAnalysis& a) { set_intervals(a, 990, 597); }, ""},
        {"QTc (Bazett) 601", [](RecordingAnalysis& a) { set_intervals(a, 990, 598); },
         "QTc (Bazett) 601 ms lies outside 300-600 ms"},
        // 500 / sqrt(0.64) = 625 at 94 a minute.
        {"QTc (Bazett) 625", [](RecordingAnalysis& a) { set_intervals(a, 640, 500); },
         "QTc (Bazett) 625 ms lies outside 300-600 ms"},
        // Without an RR the QTc is not known: QT 299 alone is within its limits.
        {"QT 299 without RR", [](RecordingAnalysis& a) { set_intervals(a, 0, 299); }, ""},
        // Faster than 100 a minute (RR below 600) Fridericia's QTc is judged:
        // 466 / sqrt(0.6) = 601.6 at RR 600; 466 / cbrt(0.599) = 552.8 at RR 599.
        {"RR 600, QTc (Bazett) 602", [](RecordingAnalysis& a) { set_intervals(a, 600, 466); },
         "QTc (Bazett) 602 ms lies outside 300-600 ms"},
        {"RR 599, QTc (Fridericia) 553", [](RecordingAnalysis& a) { set_intervals(a, 599, 466); },
         ""},
        // 476 / cbrt(0.5) = 599.7; 477 / cbrt(0.5) = 601.0.
        {"QTc (Fridericia) 600", [](RecordingAnalysis& a) { set_intervals(a, 500, 476); }, ""},
        {"QTc (Fridericia) 601", [](RecordingAnalysis& a) { set_intervals(a, 500, 477); },
         "QTc (Fridericia) 601 ms lies outside 300-600 ms"},
        // 238 / cbrt(0.5) = 299.9; 237 / cbrt(0.5) = 298.6.
        {"QTc (Fridericia) 300", [](RecordingAnalysis& a) { set_intervals(a, 500, 238); }, ""},
        {"QTc (Fridericia) 299", [](RecordingAnalysis& a) { set_intervals(a, 500, 237); },
         "QTc (Fridericia) 299 ms lies outside 300-600 ms"},
        // The T end at 601 against the independent estimate: 40 rows apart is within.
        {"independent T end 40 before",
         [](RecordingAnalysis& a) { a.marks.t_end_independent = 561; }, ""},
        {"independent T end 41 before",
         [](RecordingAnalysis& a) { a.marks.t_end_independent = 560; },
         "the T end (row 601) and an independent estimate (row 560) differ by 41 ms"},
        {"independent T end 40 after",
         [](RecordingAnalysis& a) { a.marks.t_end_independent = 641; }, ""},
        {"independent T end 41 after",
         [](RecordingAnalysis& a) { a.marks.t_end_independent = 642; },
         "the T end (row 601) and an independent estimate (row 642) differ by 41 ms"},
        {"no independent T end", [](RecordingAnalysis& a) { a.marks.t_end_independent = 0; }, ""},
        // The first reason met is the one given.
        {"few beats and marks out of order",
         [](RecordingAnalysis& a) {
             a.averaging_count = 8;
             a.marks.q_onset = 300;
         },
         "only 1 beats accepted for the average"},
        {"leads without upstroke before QT",
         [](RecordingAnalysis& a) {
             set_intervals(a, 1000, 650);
             flag_leads_without_upstroke(a, 17);
         },
         "17 leads without an upstroke in the T wave"},
        {"recovery delay before QT",
         [](RecordingAnalysis& a) {
             set_intervals(a, 1000, 650);
             a.ari_settings.recovery_delay_samples = 555;
         },
         "the T end lies within the minimum recovery delay of the J point"},
        {"QT before QTc", [](RecordingAnalysis& a) { set_intervals(a, 640, 601); },
         "QT 601 ms lies outside 200-600 ms"},
        {"QTc before the independent T end",
         [](RecordingAnalysis& a) {
             set_intervals(a, 640, 500);
             a.marks.t_end_independent = 700;
         },
         "QTc (Bazett) 625 ms lies outside 300-600 ms"},
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
