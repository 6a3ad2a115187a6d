// The bad leads of an unattended analysis settled: the spatial rules chosen
// for the recording, outliers against their neighbours on the electrode
// layout, the leads named bad or good by hand, and the bad leads' AT and RT
// filled in from their good neighbours (review/lead_neighbours.hpp).
//
// The spatial rules need real electrode positions. The default 8 × 8 grid is
// the map's, so it stands for a recording of the map's own; a recording that
// mapari-import made from a source of fewer signals (its NAME.import.json
// beside it gives fewer than 64 map leads: a 12-lead ECG's leads are no
// neighbours on any torso) gets none unless a layout file is given. A
// recording without spatial rules keeps the values of its automatically
// judged bad leads, flagged; its leads without a signal or named bad by hand
// are left empty in the tables.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/batch_analysis.hpp"
#include "beats/automatic_marks.hpp"
#include "review/electrode_layout.hpp"
#include "store/store.hpp"

namespace mapari {

// --layout none: no spatial rules.
inline constexpr const char* no_layout = "none";

// Reads the layout file at `path`; false with the reason, in English.
bool load_layout(const std::string& path, review::ElectrodeLayout& layout, std::string& reason);

// The map leads that the import of `recording` gave signals to, where a
// *.import.json beside it names the file among its pieces; none otherwise.
std::optional<int> imported_map_leads(const std::filesystem::path& recording);

struct SpatialRules {
    std::optional<review::ElectrodeLayout> layout;  // none: no outliers, nothing filled in
    std::string description;                        // as recordings.csv says it
};

// The rules for `recording` asked by `settings`; false with the reason when
// the layout file cannot be read.
bool choose_spatial_rules(const std::filesystem::path& recording, const BatchSettings& settings,
                          SpatialRules& rules, std::string& reason);

// Adds to the analysis's flags the outliers (with a layout), the leads named
// bad and good by hand, and fills in the bad leads' AT and RT (with a
// layout). The beat's rows from the Q onset to the T end are compared.
void settle_bad_leads(const Beat& beat, const SpatialRules& rules, RecordingAnalysis& analysis);

// The leads the automatic marks leave out: those the averaged beat and the
// recording's stretch show bad (no signal, noisy, clipped, steps) or named bad
// by hand, unless named good. Outliers are not among them: they are found
// against the marks.
LeadsLeftOut leads_left_out_of_marks(const Beat& beat, const Recording& recording,
                                     const BatchSettings& settings);

// Why the hand lists of the settings cannot be taken: a lead named twice,
// or both bad and good; empty when they can.
std::string hand_lists_refusal(const BatchSettings& settings);

// True when the tables leave lead l's values (at = l - 1) empty: no signal or
// named bad, or judged bad with spatial rules that could not fill it in.
bool values_withheld(const RecordingAnalysis& analysis, std::size_t at);

}  // namespace mapari
