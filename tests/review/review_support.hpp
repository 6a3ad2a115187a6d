// Inputs of the review tests: a hand-made .ari record whose values and flags
// are worked out in the tests, .ds texts and the rows of results tables.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "review/review_input.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::review_tests {

// P = 150, J = 250, E = 600, h = 20; with r = 100 the default RT is
// J + r − P = 200. Every lead has AT = 40 and RT = 300, except
//   lead 1   AT = 0                     (no downstroke)
//   lead 2   RT = 200                   (no upstroke)
//   lead 3   AT = 0, RT = 200           (both)
//   lead 8   AT = 12.5, RT = 287.25     (not whole: a hand-edited file)
//   lead 9   RT = 201                   (one past the default: a finding)
//   lead 64  AT = 61, RT = 199
// written as the program writes it, five values a line.
std::string hand_made_ari_text();
// The hand-made record read, its lead values with the default r, on the grid;
// no beat.
review::ReviewData hand_made_review();

// A beat whose lead l is flat at l, with a step at sample 400: of 100 in
// lead 1, of 50 in every other lead.
review::BeatTraces stepped_beat();

// A .ds text of 1024 records of 64 values; value (sample k, lead l) =
// k + 1000 · l, so that a value tells where it was read from.
std::string indexed_ds_text();
// The same cut after `numbers` values.
std::string cut_ds_text(int numbers);
// The indexed .ds text with each lead of `still` at 7 in every sample.
std::string ds_text_with_still_leads(const std::vector<int>& still);

inline constexpr std::string_view results_header = "recording,lead,AT_ms,RT_ms,ARI_ms,flags\n";
// The 64 rows of a recording in a results table: lead l is "NAME,l,l,2l+100,l+100,"
// unless `given` holds what follows its lead number ("43,256,213,weak").
std::string results_rows(const std::string& name, const std::map<int, std::string>& given = {});
// The same for a recording the analysis failed on: lead l is "NAME,l,,,," unless given.
std::string failed_results_rows(const std::string& name,
                                const std::map<int, std::string>& given = {});

using test_support::read_bytes;
using test_support::TemporaryFolder;
using test_support::write_bytes;

}  // namespace mapari::review_tests
