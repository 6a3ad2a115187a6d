// The lead flags of an unattended analysis, rule by rule: one lead built to
// trip exactly one rule (or none, or two at once) among 63 clean leads, and
// the typical swing that the weak rule compares with.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "beat_support.hpp"
#include "beats/lead_quality.hpp"
#include "beats/selection.hpp"
#include "formats/map_recording.hpp"

namespace mapari::beats_tests {
namespace {

constexpr float clean_swing = 1000.0f;

// The flags of a lead by name, in the order flat, weak, noisy, clipped.
std::string flag_names(const LeadQuality& quality) {
    std::string names;
    for (const auto& [set, name] : {std::pair{quality.flat, "flat"},
                                    {quality.weak, "weak"},
                                    {quality.noisy, "noisy"},
                                    {quality.clipped, "clipped"}})
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
void plant_steps(Store& store, int lead, std::int16_t step) {
    const int channel = channel_of_lead(lead);
    for (int t = 1; t <= samples_per_reading; ++t)
        store.recording.samples(channel, t) = static_cast<std::int16_t>(t % 2 == 1 ? step : 0);
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
