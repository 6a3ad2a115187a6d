// The lead flags of an unattended analysis, rule by rule: one lead built to
// trip exactly one rule (or none, or two at once) among 63 clean leads, and
// the typical swing that the weak rule compares with.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "beat_support.hpp"
#include "beats/lead_quality.hpp"
#include "beats/selection.hpp"
#include "formats/map_recording.hpp"

namespace mapari::beats_tests {
namespace {

constexpr float clean_swing = 1000.0f;

// The flags of a lead by name, in the order flat, weak, noisy, clipped, steps.
std::string flag_names(const LeadQuality& quality) {
    std::string names;
    for (const auto& [set, name] : {std::pair{quality.flat, "flat"},
                                    {quality.weak, "weak"},
                                    {quality.noisy, "noisy"},
                                    {quality.clipped, "clipped"},
                                    {quality.steps, "steps"}})
        if (set) names += names.empty() ? name : std::string(",") + name;
    return names;
}

// The averaged beat of a lead: `swing` raw units on rows first..first + 99,
// 0 elsewhere, so its swing is exactly `swing` when those rows are judged.
void plant_pulse(Store& store, int lead, float swing, int first_row = 201) {
    for (int row = 1; row <= averaged_rows; ++row)
        store.beat.averaged(row, lead) = row >= first_row && row < first_row + 100 ? swing : 0.0f;
}

// The recording of a lead: `step` and 0 by turns, so that every step from
// sample to sample is `step` in size: 2000 of the 3999 going down, 1999 up.
// The first sample is one more, so that a still recording (step 0) carries a
// signal; one step of 3999 moves no median.
void plant_steps(Store& store, int lead, std::int16_t step) {
    const int channel = channel_of_lead(lead);
    for (int t = 1; t <= samples_per_reading; ++t)
        store.recording.samples(channel, t) = static_cast<std::int16_t>(t % 2 == 1 ? step : 0);
    store.recording.samples(channel, 1) = static_cast<std::int16_t>(step + 1);
}

LeadQualities judge(const Store& store) {
    auto scratch = std::make_unique<std::array<float, samples_per_reading>>();
    return judge_leads(store.beat, store.recording, *scratch);
}

// Every lead clean: a swing of 1000 and a still recording.
std::unique_ptr<Store> clean_store() {
    auto store = make_store();
    for (int lead = 1; lead <= lead_count; ++lead) {
        plant_pulse(*store, lead, clean_swing);
        plant_steps(*store, lead, 0);
    }
    return store;
}

// With 63 leads of swing 1000 the typical swing, the median of the leads
// that move, is 1000 whatever lead 17 holds: weak is a swing of at most
// 0.1 * 1000 = 100, noisy a median step above 0.1 * swing (100 for a swing
// of 1000, 10 for a swing of 100), flat a swing below 1.
TEST(LeadQuality, EachRuleTripsOnItsOwnLead) {
    constexpr int lead = 17;
    constexpr std::int16_t none = 0;
    struct Case {
        const char* what;
        float swing;
        std::int16_t step;
        std::int16_t extreme;  // one sample of the recording, 0 for none
        int first_row;
        const char* flags;
    } cases[] = {
        {"clean: swing 1000, still", 1000, 0, none, 201, ""},
        {"flat: swing 0.5 < 1", 0.5f, 0, none, 201, "flat"},
        {"swing 1 is not flat (1 < 1 fails) but weak (1 <= 100)", 1, 0, none, 201, "weak"},
        {"a pulse downwards swings as much: -1000 to 0", -1000, 0, none, 201, ""},
        {"a flat lead is neither weak nor noisy: steps 300 > 0.05", 0.5f, 300, none, 201, "flat"},
        {"only rows 1 to 1000 count: a pulse on rows 1001 to 1024 is flat", 1000, 0, none, 1001,
         "flat"},
        {"a pulse ending at row 1000 counts", 1000, 0, none, 901, ""},
        {"weak: swing 100 <= 0.1 * 1000", 100, 0, none, 201, "weak"},
        {"swing 101 > 100 is not weak", 101, 0, none, 201, ""},
        {"noisy: median step 101 > 0.1 * 1000", 1000, 101, none, 201, "noisy"},
        {"median step 100 is not above 100", 1000, 100, none, 201, ""},
        {"noisy: median step 256, its high byte 1, > 0.1 * 2550", 2550, 256, none, 201, "noisy"},
        {"median step 255, the largest below 256, is not above 255", 2550, 255, none, 201, ""},
        {"weak and noisy: swing 100, median step 11 > 0.1 * 100", 100, 11, none, 201, "weak,noisy"},
        {"clipped: one sample at 32767", 1000, 0, 32767, 201, "clipped"},
        {"clipped: one sample at -32768", 1000, 0, -32768, 201, "clipped"},
        {"32766 is not the end of the range", 1000, 0, 32766, 201, ""},
        {"-32767 is not the end of the range", 1000, 0, -32767, 201, ""},
        {"a flat lead is clipped too", 0.5f, 0, 32767, 201, "flat,clipped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto store = clean_store();
        plant_pulse(*store, lead, c.swing, c.first_row);
        plant_steps(*store, lead, c.step);
        // One sample among 4000 changes two steps of 3999: the median stays.
        if (c.extreme != none) store->recording.samples(channel_of_lead(lead), 2000) = c.extreme;
        const LeadQualities qualities = judge(*store);
        EXPECT_EQ(flag_names(qualities[lead - 1]), c.flags);
        for (int other = 1; other <= lead_count; ++other) {
            if (other == lead) continue;
            EXPECT_EQ(flag_names(qualities[other - 1]), "") << "lead " << other;
        }
    }
}

// Lead 17's recording is still at 0 but for samples from `from` to `to`,
// which are at `level`. A jump is a step above the swing (1000) between
// levels, the medians of the ten samples before it and of the ten from it
// on, that differ by more than the swing too: so the stretch's steps from
// sample 11 to sample 3991 are searched, and a spike shorter than half of ten
// samples moves neither median.
TEST(LeadQuality, AJumpIsAStepAboveTheSwingBetweenLevelsAsFarApart) {
    constexpr int lead = 17;
    const struct {
        const char* what;
        int from, to;
        std::int16_t level;
        const char* flags;
    } cases[] = {
        {"up by 1001 at sample 2000 for good", 2000, 4000, 1001, "steps"},
        {"up by 1000 is no jump", 2000, 4000, 1000, ""},
        {"down by 1001 at sample 2000", 2000, 4000, -1001, "steps"},
        {"a spike of 4 samples is no jump", 2000, 2003, 3000, ""},
        {"a spike of 5 samples is one: the median of 10 is the 6th smallest", 2000, 2004, 3000,
         "steps"},
        {"a jump at sample 3991 is the last searched", 3991, 4000, 3000, "steps"},
        {"a jump at sample 3992 is not searched", 3992, 4000, 3000, ""},
        {"a jump at sample 11 is the first searched", 1, 10, 3000, "steps"},
        {"a jump at sample 10 is not searched", 1, 9, 3000, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto store = clean_store();
        for (int t = c.from; t <= c.to; ++t)
            store->recording.samples(channel_of_lead(lead), t) = c.level;
        EXPECT_EQ(flag_names(judge(*store)[lead - 1]), c.flags);
    }
}

// Lead 17's recording is 0 and v(k) by turns, v(k) = (7919 k mod 2000) + 1
// for k = 1 to 2000, a permutation of 1 to 2000: its 3999 steps are every
// size from 2 to 2000 twice and 1 once (v(2000) = 1 is last and steps only
// up), so the median, the step of index 1999 in their order, is 1001 (2m - 3
// = 1999), high byte 3 and low byte 0xE9. Noisy is a median above 0.1 *
// swing: 1001 > 1000 at swing 10000, not 1001 > 1001 at swing 10010.
TEST(LeadQuality, MedianStepOfStepsOfManySizes) {
    constexpr int lead = 17;
    const struct {
        float swing;
        const char* flags;
    } cases[] = {{10000.0f, "noisy"}, {10010.0f, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.swing);
        auto store = clean_store();
        plant_pulse(*store, lead, c.swing);
        for (int t = 1; t <= samples_per_reading; ++t)
            store->recording.samples(channel_of_lead(lead), t) =
                static_cast<std::int16_t>(t % 2 == 1 ? 0 : 7919 * (t / 2) % 2000 + 1);
        EXPECT_EQ(flag_names(judge(*store)[lead - 1]), c.flags);
    }
}

// Lead 17's recording is 0, m, m, 0 over and over: its 3999 steps are m,
// 0, m, 0, ..., 2000 of size m and 1999 of 0, so the median is m, and the
// steps' sum 2000 m puts the bound on the median, (2 * 2000 m - 1) / 3999,
// at m as well: the one case where the bound alone cannot tell the median
// from the threshold.
TEST(LeadQuality, MedianStepAsLargeAsItsBound) {
    constexpr int lead = 17;
    const struct {
        std::int16_t m;
        float swing;
        const char* flags;
    } cases[] = {{101, 1000.0f, "noisy"}, {100, 1000.0f, ""}, {101, 1010.0f, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m);
        auto store = clean_store();
        plant_pulse(*store, lead, c.swing);
        for (int t = 1; t <= samples_per_reading; ++t)
            store->recording.samples(channel_of_lead(lead), t) = t % 4 >= 2 ? c.m : 0;
        EXPECT_EQ(flag_names(judge(*store)[lead - 1]), c.flags);
    }
}

// Leads 1 to 32 swing 200, leads 33 to 64 swing 2000: the typical swing is
// the 33rd smallest of the 64, 2000, so 200 <= 0.1 * 2000 is weak. (Their
// mean, 1100, would make none weak: 200 > 110; so would the 32nd smallest,
// 200: 200 > 20.)
TEST(LeadQuality, TypicalSwingIsTheMedianOfTheLeads) {
    auto store = clean_store();
    for (int lead = 1; lead <= lead_count; ++lead)
        plant_pulse(*store, lead, lead <= 32 ? 200.0f : 2000.0f);
    const LeadQualities qualities = judge(*store);
    for (int lead = 1; lead <= lead_count; ++lead)
        EXPECT_EQ(flag_names(qualities[lead - 1]), lead <= 32 ? "weak" : "") << "lead " << lead;
}

// Leads 1 to 40 flat, 41 to 63 swing 1000, lead 64 swing 100. The median of
// the 24 leads that move is 1000, so lead 64 is weak (100 <= 100). Counting
// the flat leads too, the median of 64 would be 0 and nothing weak.
TEST(LeadQuality, FlatLeadsAreLeftOutOfTheTypicalSwing) {
    auto store = clean_store();
    for (int lead = 1; lead <= 40; ++lead) plant_pulse(*store, lead, 0.0f);
    plant_pulse(*store, 64, 100.0f);
    const LeadQualities qualities = judge(*store);
    for (int lead = 1; lead <= lead_count; ++lead)
        EXPECT_EQ(flag_names(qualities[lead - 1]), lead <= 40 ? "flat" : (lead == 64 ? "weak" : ""))
            << "lead " << lead;
}

// Every lead flat: there is no typical swing, and nothing but flat is said.
TEST(LeadQuality, AllFlatLeadsAreOnlyFlat) {
    auto store = clean_store();
    for (int lead = 1; lead <= lead_count; ++lead) {
        plant_pulse(*store, lead, 0.0f);
        plant_steps(*store, lead, 50);
    }
    const LeadQualities qualities = judge(*store);
    for (int lead = 1; lead <= lead_count; ++lead)
        EXPECT_EQ(flag_names(qualities[lead - 1]), "flat") << "lead " << lead;
}

}  // namespace
}  // namespace mapari::beats_tests

namespace mapari::beats_tests {
namespace {

// The recording of lead 17 filled with `value`, then `changed` samples set to
// `other` from sample 2000 on; its averaged beat is a clean pulse whatever
// the recording holds, so only the recording decides.
TEST(LeadQuality, ALeadWhoseStretchHoldsOneValueHasNoSignalAndNoOtherFlag) {
    constexpr int lead = 17;
    struct Case {
        const char* what;
        std::int16_t value;
        int changed;
        std::int16_t other;
        const char* flags;
    } cases[] = {
        {"all zero", 0, 0, 0, "no-signal"},
        {"constant non-zero", -412, 0, 0, "no-signal"},
        {"constant at the top of the range: not clipped", 32767, 0, 0, "no-signal"},
        {"constant at the bottom of the range", -32768, 0, 0, "no-signal"},
        {"one sample different is a signal", 0, 1, 1, ""},
        {"one sample at the end of the range is a clipped signal", 5, 1, 32767, "clipped"},
        {"a still lead that steps once is a signal", 0, 2000, -3, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto store = clean_store();
        const int channel = channel_of_lead(lead);
        for (int t = 1; t <= samples_per_reading; ++t)
            store->recording.samples(channel, t) =
                t >= 2000 && t < 2000 + c.changed ? c.other : c.value;
        const LeadQuality quality = judge(*store)[lead - 1];
        std::string flags = flag_names(quality);
        if (quality.no_signal) flags = flags.empty() ? "no-signal" : "no-signal," + flags;
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(carries_signal(store->recording, lead), !quality.no_signal);
    }
}

// A lead without a signal is flat in its averaged beat too, yet neither flat
// nor weak, and it stays out of the typical swing: 40 leads without a signal,
// 23 of swing 1000 and lead 64 of swing 100, which is weak against 1000.
TEST(LeadQuality, LeadsWithoutASignalAreLeftOutOfTheTypicalSwing) {
    auto store = clean_store();
    for (int lead = 1; lead <= 40; ++lead) {
        plant_pulse(*store, lead, 0.0f);
        for (int t = 1; t <= samples_per_reading; ++t)
            store->recording.samples(channel_of_lead(lead), t) = 7;
    }
    plant_pulse(*store, 64, 100.0f);
    const LeadQualities qualities = judge(*store);
    for (int lead = 1; lead <= lead_count; ++lead) {
        EXPECT_EQ(qualities[lead - 1].no_signal, lead <= 40) << "lead " << lead;
        EXPECT_EQ(flag_names(qualities[lead - 1]), lead == 64 ? "weak" : "") << "lead " << lead;
    }
}

TEST(DisplayLeads, EachAskedLeadWithoutASignalIsReplacedByTheLargestSwingNotShown) {
    struct Case {
        const char* what;
        std::vector<int> with_signal;  // empty: every lead
        std::vector<int> silent;
        DisplayLeads asked, taken;
    } cases[] = {
        {"every lead carries a signal: as asked", {}, {}, {13, 23, 37}, {13, 23, 37}},
        {"the three asked carry none: the three largest, largest first",
         {},
         {13, 23, 37},
         {13, 23, 37},
         {64, 63, 62}},
        {"only 37 carries none: it alone is replaced", {}, {37}, {13, 23, 37}, {13, 23, 64}},
        {"a lead already shown is not taken twice", {}, {23}, {64, 23, 37}, {64, 63, 37}},
        {"12 leads with a signal",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {},
         {13, 23, 37},
         {12, 11, 10}},
        {"two leads with a signal: taken again, largest first",
         {1, 2},
         {},
         {13, 23, 37},
         {2, 1, 2}},
        {"one lead with a signal", {5}, {}, {13, 23, 37}, {5, 5, 5}},
        {"no lead with a signal: as asked", {0}, {}, {13, 23, 37}, {13, 23, 37}},
        {"asked twice, carrying none: two leads taken", {}, {5}, {5, 5, 9}, {64, 63, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> silent = c.silent;
        if (!c.with_signal.empty())
            for (int lead = 1; lead <= lead_count; ++lead)
                if (std::find(c.with_signal.begin(), c.with_signal.end(), lead) ==
                    c.with_signal.end())
                    silent.push_back(lead);
        auto store = make_store();
        for (int lead = 1; lead <= lead_count; ++lead) {
            const bool quiet = std::find(silent.begin(), silent.end(), lead) != silent.end();
            for (int t = 1; t <= samples_per_reading; ++t)
                store->recording.samples(channel_of_lead(lead), t) =
                    static_cast<std::int16_t>(quiet ? 300 : (t > 2000 ? lead : 0));
        }
        EXPECT_EQ(display_leads_with_signal(store->recording, c.asked), c.taken);
    }
}

// Equal swings: the lowest numbered first. Leads 20 and 30 swing 500 (the
// largest), every other lead 1, each in one step at sample 2001.
TEST(DisplayLeads, OfEqualSwingsTheLowestNumberedIsTaken) {
    auto store = make_store();
    for (int lead = 1; lead <= lead_count; ++lead) {
        const std::int16_t high = lead == 20 || lead == 30 ? 500 : 1;
        for (int t = 1; t <= samples_per_reading; ++t)
            store->recording.samples(channel_of_lead(lead), t) =
                static_cast<std::int16_t>(t > 2000 ? high : 0);
    }
    for (int lead : {13, 23, 37})
        for (int t = 1; t <= samples_per_reading; ++t)
            store->recording.samples(channel_of_lead(lead), t) = 0;
    EXPECT_EQ(display_leads_with_signal(store->recording, {13, 23, 37}), (DisplayLeads{20, 30, 1}));
}

// A noisy lead swings most and is taken last. Every lead's recording
// alternates between 0 and `clean` and rises by l at sample 2001 (a median
// step of clean, a swing of clean + l); leads 40 and 50 alternate between 0
// and `step` and rise by 200 (a median step of step, the largest swing).
// Noisy: a median step above 4 times the median lead's, counted as 1 at
// least. Leads 13, 23 and 37 carry no signal.
TEST(DisplayLeads, ANoisyLeadIsTakenAfterEveryOther) {
    const struct {
        const char* what;
        std::int16_t clean, step;
        DisplayLeads taken;
    } cases[] = {
        {"steps 41 > 4 * 10: both noisy, taken last", 10, 41, {64, 63, 62}},
        {"steps 40 = 4 * 10 are not above it: the largest swings", 10, 40, {40, 50, 64}},
        {"still leads count as moving by 1: steps 5 > 4", 0, 5, {64, 63, 62}},
        {"steps 4 are not above 4", 0, 4, {40, 50, 64}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto store = make_store();
        for (int lead = 1; lead <= lead_count; ++lead) {
            const bool silent = lead == 13 || lead == 23 || lead == 37;
            const bool noisy = lead == 40 || lead == 50;
            const int step = noisy ? c.step : c.clean;
            const int rise = noisy ? 200 : lead;
            for (int t = 1; t <= samples_per_reading; ++t)
                store->recording.samples(channel_of_lead(lead), t) =
                    silent ? std::int16_t{0}
                           : static_cast<std::int16_t>((t % 2 == 0 ? step : 0) +
                                                       (t > 2000 ? rise : 0));
        }
        EXPECT_EQ(display_leads_with_signal(store->recording, {13, 23, 37}), c.taken);
    }
}

}  // namespace
}  // namespace mapari::beats_tests

namespace mapari::beats_tests {
namespace {

// Rows 1 to 1024 of lead l's averaged beat alternately raised and lowered by
// `amount`: each second difference is 4 * amount, so the beat's noise is
// 4 * amount / 1.652 and its swing grows by 2 * amount.
void plant_beat_noise(Store& store, int lead, float amount) {
    for (int row = 1; row <= averaged_rows; ++row)
        store.beat.averaged(row, lead) += row % 2 == 0 ? amount : -amount;
}

// The other leads carry beat noise `others` (0: none, and the median lead's
// noise counts as 1 raw unit); lead 17 `amount`. Noisy: above 4 times the
// median lead's and above 0.02 of its swing, the swing being 1000 + 2 * amount.
TEST(LeadQuality, ABeatFarNoisierThanTheOtherLeadsIsNoisy) {
    constexpr int lead = 17;
    struct Case {
        const char* what;
        float others, amount;
        const char* flags;
    } cases[] = {
        {"40 / 1.652 = 24.2 > 4 * 1 and > 0.02 * 1020 = 20.4", 0, 10, "noisy"},
        {"20 / 1.652 = 12.1 > 4 but not > 0.02 * 1010 = 20.2", 0, 5, ""},
        {"others 24.2, lead 200 / 1.652 = 121 > 4 * 24.2 = 96.9 and > 22", 10, 50, "noisy"},
        {"others 24.2, lead 160 / 1.652 = 96.9 is not above 96.9", 10, 40, ""},
        {"every lead alike: none noisier than the median", 10, 10, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto store = clean_store();
        for (int other = 1; other <= lead_count; ++other)
            plant_beat_noise(*store, other, other == lead ? c.amount : c.others);
        const LeadQualities qualities = judge(*store);
        EXPECT_EQ(flag_names(qualities[lead - 1]), c.flags);
        EXPECT_EQ(flag_names(qualities[lead]), "") << "the clean lead beside it";
    }
}

// Lead 17's still recording changed from sample 1700 on: `level` for
// `samples` samples (0 for the rest of the stretch). The beat swings by 1000.
TEST(LeadQuality, AChangeOfLevelLargerThanTheBeatIsSteps) {
    constexpr int lead = 17;
    struct Case {
        const char* what;
        std::int16_t level;
        int samples;
        const char* flags;
    } cases[] = {
        {"up by 3000 to the end: jump and medians 3000 > 1000", 3000, 0, "steps"},
        {"down by 1500 for 1700 samples, then back", -1500, 1700, "steps"},
        {"up by 1001 to the end", 1001, 0, "steps"},
        {"up by 1000 is not larger than the swing", 1000, 0, ""},
        {"a spike of 5000 for 4 samples leaves the medians of ten", 5000, 4, ""},
        {"5 samples of 10 moved: the median of ten, the upper middle one, is 3000", 3000, 5,
         "steps"},
        {"4 samples of 10 moved: the median of ten stays 0", 3000, 4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto store = clean_store();
        const int channel = channel_of_lead(lead);
        const int last = c.samples == 0 ? samples_per_reading : 1700 + c.samples - 1;
        for (int t = 1700; t <= last; ++t) store->recording.samples(channel, t) = c.level;
        const LeadQualities qualities = judge(*store);
        EXPECT_EQ(flag_names(qualities[lead - 1]), c.flags);
        EXPECT_EQ(flag_names(qualities[lead]), "") << "the clean lead beside it";
    }
}

}  // namespace
}  // namespace mapari::beats_tests
