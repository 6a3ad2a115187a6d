// The four fiducial marks of the averaged beat found without an operator, for
// analyses that run unattended.
//
// Every lead whose variance is not ~0 takes part; flat leads are left out, and
// a beat of flat leads only gets no marks. Curves over the rows:
//   - the iso-electric window: of the 20-row windows ending by row 191, the
//     latest whose variance (mean over the leads) is within 1.2 times the
//     quietest one's; each lead's mean there is its baseline, the variance the
//     noise, and twice the largest signal RMS in it the noise level;
//   - the signal RMS: the power over the leads about their baselines,
//     smoothed over 5 rows, less the noise variance, as a root;
//   - the spatial velocity and curvature: the RMS over the leads of the first
//     and second differences, which need no baseline. Below 0.3 of the QRS's
//     largest velocity (or twice the window's, whichever is higher) the beat
//     is at rest.
// The QRS peak is the largest signal RMS within 50 rows of row 201 (the beat).
//
// Each edge of a wave is followed away from the wave's peak down to 2 % of it
// (or the noise level). Near the iso-electric level a wave departs smoothly,
// so its RMS rises roughly as the cube of the time from its start: the cube
// root of the RMS from half the peak down to that level is fitted by a
// straight line, and the line's zero is the edge's end. That reaches below the
// noise, where a threshold marks the onset late and the T end early. The line
// is not followed where the curve falls well below it (a sharper end than the
// line assumes), nor past the point where the curve levels off above the
// iso-electric level (ST elevation, a U wave: once below a quarter of the QRS
// peak, or half the T peak, with the beat at rest) or past the next beat.
//   Q onset: the QRS's rising edge, walking back from its peak.
//   J point: its falling edge, walking on (a dip between two lobes of the QRS
//     does not end it: the velocity is not at rest there).
//   T peak: the largest local peak of the signal RMS (no lower than any row
//     within 10) from J to 400 rows after it, before the next beat (where the
//     velocity, at rest after J, rises again).
//   T end: the T wave's falling edge.
//   Stimulus: the row of largest curvature within 100 rows before the Q
//     onset, when that curvature is 3 times the largest within the QRS and 5
//     times the iso-electric window's mean; a pacing spike turns within a row
//     or two, which no QRS does (its slope alone is no steeper than a fast
//     QRS's). The mark is the spike's first row: the first of its rows that
//     stands at half its height.
//
// Measured on synthetic paced recordings (seeds 1 to 40, noise 0 to 30, rates
// 70 to 120; tests/beats/test_automatic_marks.cpp): stimulus exact, Q onset
// and J point within 4 ms, T end within 17 ms.
// Limits: the T end is where the RMS of all leads returns, so it ends the
// latest T wave, not a typical one; the exponent 3 and the fractions were set
// on synthetic beats, so a real beat whose QRS starts abruptly gets its Q
// onset some ms early and a slowly fading T wave a late T end; the marks of a
// real beat are best looked at. `problem` says when they cannot be used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/store.hpp"

namespace mapari {

struct AutomaticMarks {
    std::int32_t stimulus = 0, q_onset = 0, j_point = 0, t_end = 0;  // rows of the averaged beat
    std::int32_t t_peak = 0;  // row of the T wave's peak, for quality checks
    // A second T end found by another method, to check the first against; 0: none found.
    std::int32_t t_end_independent = 0;
    bool stimulus_found = false;  // false: no pacing spike; stimulus set to q_onset
    std::string problem;          // empty, or why the marks cannot be trusted
};

// Marks of beat.averaged. With `problem` empty they are in the order stimulus
// <= Q onset < J < T peak < T end, each a row from 1 to 1000 (the rows that can
// be clicked, which keeps the ARI computation's rows with its default a, h and
// r inside the beat). Otherwise the marks found stand as found (rows 1 to
// 1024) and those not found are 0: check `problem`, not only the rows.
//
// `found_rows` are the rows at which the beat finding put the beats after the
// accepted ones (found_beat_rows): the T wave is looked for before the first
// of them with a T wave before its QRS (one without was a large T wave found
// as a beat), even when that beat moves too slowly to be seen as one in the
// averaged beat (a premature beat after each accepted one is not averaged,
// yet its waves are).
AutomaticMarks find_automatic_marks(const Beat& beat,
                                    const std::vector<std::int32_t>& found_rows = {});

// The rows of the averaged beat at which the beat finding found beats after
// the accepted ones, seen from each accepted beat, in order.
std::vector<std::int32_t> found_beat_rows(const Beat& beat, const Display& display);

}  // namespace mapari
