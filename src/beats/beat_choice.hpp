// The automatic choice of the template beat, for analyses that run without an
// operator: of the selectable beats the display found, the one whose template
// the other selectable beats match best.
//
// Each selectable beat (201 to 3000 ms) of the sorted beat list is tried as
// the template, taken as the selection takes it (51 samples of the first
// display lead, the beat at sample 26). Every other selectable beat is aligned
// to it by the shift search of averaging (-10 to +10 samples, whatever the
// recognition coefficient) and its correlation at the aligned position is
// taken; the beat with the largest mean correlation wins, the earlier beat on
// a tie. Picking the beat most like the others keeps an ectopic or noisy beat
// from becoming the template, which would leave most beats out of the average.
//
// The last position the beat finder records is the pass that missed its
// threshold, not a beat (see detection.hpp); it takes part in nothing. Were it
// a candidate, its template, often a smooth stretch of a T wave, would match
// every beat moderately at some shift and could beat a true beat whose mean
// it pulls down.
//
// Limits: the mean is not robust: one odd beat among few lowers every right
// beat's mean, and an odd beat whose template is smooth can still win. With a
// single selectable beat that beat is chosen and its mean correlation is 0:
// there is nothing to compare it with.
#pragma once

#include <cstdint>

#include "store/store.hpp"

namespace mapari {

// The position of the chosen beat, or 0 when no beat is selectable.
// `display` must hold the beat finding of the stretch, the beat list and its
// sorted copy (detect_beats, then sort_beats, as the drawing of the recording
// leaves them); mean_correlation receives the winner's mean, 0 when none.
std::int32_t choose_template_beat(const Settings& settings, const Recording& recording,
                                  const Display& display, double& mean_correlation);

}  // namespace mapari
