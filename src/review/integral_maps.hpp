// The integral maps of a saved beat: each lead's area under its trace over a
// stretch fixed by the marks, in µV·ms.
//
//   QRS   from the reference point (the Q onset the ARI computation starts
//         from) to the J point: depolarisation
//   QRST  from the reference point to the T end: the ventricular gradient
//   STT   from the J point to the T end: repolarisation
//
// Method: the trapezoid rule over the rows of the stretch, both ends
// included, on the values as the review reads them (whole counts), times the
// microvolts a count stands for and the 1 ms between rows. The saved beat is
// already corrected to its baseline, so no level is taken off.
//
// Check: a beat that is 0 but for a triangle of height H counts and base B
// rows inside the stretch has the area H·B/2 · µV a count
// (tests/review/test_integral_maps.cpp).
#pragma once

#include <array>

#include "formats/ari_file.hpp"
#include "review/review_input.hpp"

namespace mapari::review {

enum class IntegralStretch { qrs, qrst, stt };

// The first and last row of the stretch, by the record's marks.
std::pair<int, int> stretch_rows(const AriRecord& record, IntegralStretch stretch);

// The area of one lead from row `first` to row `last` (1..1024), in µV·ms;
// 0 when last is not after first.
double lead_area_microvolt_ms(const BeatTraces& beat, int lead, int first, int last,
                              double microvolts_per_count);

// Every lead's area over the stretch; element l - 1: lead l.
std::array<double, lead_count> integral_map(const BeatTraces& beat, const AriRecord& record,
                                            IntegralStretch stretch, double microvolts_per_count);

}  // namespace mapari::review
