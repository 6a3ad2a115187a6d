// The four fiducial marks of the averaged beat found without an operator, for
// analyses that run unattended.
//
// Every lead whose variance is not ~0 takes part but those the caller leaves
// out (bad leads); flat leads are left out, and a beat of flat leads only gets
// no marks. Curves over the rows:
//   - the iso-electric window: of the 20-row windows ending by row 191, the
//     latest whose variance (mean over the leads) is within 1.2 times the
//     quietest one's; each lead's mean there is its baseline, the variance the
//     noise, and twice the largest signal RMS in it the noise level;
//   - the signal RMS: the power over the leads about their baselines,
//     smoothed over 5 rows, less the noise variance, as a root;
//   - the spatial velocity and curvature: the RMS over the leads of the first
//     and second differences, which need no baseline. Below 0.3 of the QRS's
//     largest velocity (or twice the window's, whichever is higher) the beat
//     is at rest; from 0.1 of it on, the QRS is still moving.
// The QRS peak is the largest signal RMS within 50 rows of row 201 (the beat).
//
// Two ways of finding where a wave ends, each used where it does best:
//   - the cube-root line: walking from the wave's peak down to 2 % of it (or
//     the noise level), the cube root of the RMS from half the peak down is
//     fitted by a straight line, whose zero is the end (a wave departing
//     smoothly rises as the cube of the time), held back where the curve
//     levels off above the iso-electric level (ST elevation, a U wave) or
//     falls well below the line. A dip where the beat is still moving (the
//     notch of a split QRS) does not end the walk, and each further lobe
//     restarts the fit;
//   - the trapezium: from the steepest point of a fall, a chord to each later
//     row and on level to a row a fixed time past the steepest point; the row
//     that gives the largest area is where the curve turns from falling to
//     lying level. It needs no level to fall to and does not follow a slowly
//     fading tail into the noise.
// The marks:
//   Q onset: the cube-root line walking back from the QRS peak, and no later
//     than the earliest onset over the leads whose QRS is at least a quarter
//     of the tallest (each the trapezium of what the lead has reached by each
//     row, looked at from after a pacing spike); but no earlier than 20 rows
//     before the trapezium (80 rows) on the RMS's first lobe: the trapezium
//     sees a curve smoothed over 20 rows and finds the QRS turning up at most
//     that far after its foot, while the cube-root line is carried far out
//     when its fitted rows take in a small early lobe (a Q wave). Within
//     those 20 rows, a row where the beat moves as fast as a QRS still going
//     on (a tenth of its fastest), which no P wave does, is the QRS's: a
//     small sharp first deflection set apart from the rise by a pause, where
//     the cube-root line levels off, starts the QRS.
//   J point: the trapezium (80 rows) on the RMS's last lobe, and no earlier
//     than the latest end over the leads whose QRS is at least a tenth of the
//     tallest (each the trapezium of what is left of the lead's deflections
//     from each row on): a small lead's S wave going on after a tall R has
//     fallen, which the RMS shows only as a shoulder, is the QRS going on
//     (before the QRS a small lead may still show the P wave's end, so the
//     onset takes a quarter); each of these ends carried
//     from the trapezium's turn to where no fall is left to see. On a fall
//     shaped as an erf the trapezium turns 2.5 widths past the steepest point
//     (a QRS edge 5 ms wide, the 80-row chord), where 0.6 % of the fall is
//     still to go and shows; readers end the QRS where none is left, at three
//     widths: so 3 / 2.5 times as far from the steepest point as the turn,
//     and no further than the curve keeps from rising (a rise is the next
//     lobe or the ST segment). A paced beat's (its spike larger than its
//     QRS) is no later than where its last edge sinks into the noise: the
//     first row after the QRS's peak, below a quarter of it, where the beat
//     moves, on the mean over 5 rows, no faster than twice the iso-electric
//     window's noise. A paced QRS's last edge ends abruptly in an ST segment
//     that slopes on at about the noise's pace, which the end of the fall
//     would follow until it levels off; readers end the QRS at the turn.
//     Beats led by a small spike or none keep the three widths: over many
//     leads the velocity sinks into the noise once most of them have ended,
//     before the latest (on the synthetic paced recordings 11.7 ms before
//     the planted J point on the mean; the latest lead's own end 5.5 ms).
//   T peak: the largest local peak of the signal RMS (no lower than any row
//     within 10) from J to 400 rows after it, before the next beat: where the
//     velocity, at rest after J for 40 rows, rises again (to the rest
//     velocity of the pacing spike when a spike larger than its QRS led the
//     beat: the next paced beat begins with such a spike, and the fall of a T
//     wave can be faster than a slow paced QRS at rest), or the first beat
//     the beat finding put more than 300 ms after an accepted one (sooner, a
//     beat found was a large T wave) with a wave a quarter of the largest
//     before its QRS that has come below half its peak before that QRS (else
//     it was the T wave itself, found as a beat on its peak or its fall). A
//     premature beat after each accepted one is not averaged, yet its waves
//     are, and it is no T wave.
//   T end: in each lead whose T wave (its largest deviation within 60 rows of
//     the T peak, of either sign) is at least a tenth of the largest, the
//     trapezium (150 rows) from the steepest point of the wave's fall toward
//     a fifth of its peak; the latest of these ends, however few leads end
//     that late (the heart has recovered when its last part has; a lead is
//     refused only for what shows in it: a wave too low to hold more than
//     noise, or one that does not come back). `t_end_independent` is the
//     cube-root line on the RMS's fall, a second estimate to check against;
//     against cardiologists (mapari-validate --t-end independent) it
//     scatters more than the mark (QT Database, four records without
//     pacing, 6.0 +- 34.5 ms; LUDB -6.1 +- 33.2) and on sel104 runs on into
//     the baseline's drift after the T wave (83.1 +- 108.6), so a
//     disagreement between the two says to look, not which one is wrong.
//     `t_end_tangent`, the tangent at the steepest point of each of those
//     leads' fall met with its iso-electric level, the latest of them, is
//     the classic T end: against cardiologists (mapari-validate --t-end
//     tangent) it comes 20 to 26 ms early on the mean on every database,
//     with a spread about the trapezium's (QT Database, four records
//     without pacing, -25.9 +- 18.5 ms against the trapezium's 6.0 +- 22.6;
//     LUDB -22.4 +- 18.6 against -2.9 +- 17.5; the paced sel104
//     -20.2 +- 56.9 against 8.1 +- 54.2): a fall ends later than where its
//     steepest slope would reach the level.
//   Stimulus: the row of largest curvature within 100 rows before the Q
//     onset, when that curvature is 3 times the largest within the QRS and 5
//     times the iso-electric window's mean; a pacing spike turns within a row
//     or two, which no QRS does (its slope alone is no steeper than a fast
//     QRS's). The mark is the spike's first row at half its height. A spike
//     larger than its QRS is first taken for the QRS; it is told by its
//     width (at half height for at most 16 rows, fewer than any QRS, as wide
//     as a spike recorded at 250 Hz) and by a wave a tenth as high within 150
//     rows after it that turns a third as sharply or less: then that wave is
//     the QRS, and the QRS's own rest velocity ends it. Its Q onset is the
//     row after the spike where the signal comes back to the iso-electric
//     level before the QRS. Where the spike's tail runs into the QRS (one
//     spike width past its half height, the leads stay off their baselines
//     over the next width by a tenth of the spike's height, as a spike
//     recorded at 250 Hz does and one resampled from 500 Hz, ringing about
//     its baseline, does not), the QRS's own onset cannot be seen and that
//     row lies far off the iso-electric level: the complex begins where the
//     spike leaves the baseline, found as any QRS onset with the spike as its
//     first lobe (a paced QRS is measured from its stimulus; a spike spread
//     by a slow sampling rate rises well before its half height; a fusion
//     beat's own QRS may begin before the pacer fires), and the stimulus is
//     put no later than it.
// The QRS edges' latest and earliest over the leads are taken within Tukey's
// fence (1.5 quartile spreads beyond the quartile): one small lead whose edge
// is lost in a slow wave beside it does not carry the mark; leads ending late
// together do.
//
// Measured on synthetic paced recordings (30: seeds 1 to 10, noise 0 to 30,
// rates 70 to 120; tests/beats/test_automatic_marks.cpp): stimulus exact, Q
// onset within 2 ms; the J point 2 ms and the T end 13 ms on the mean before
// the planted marks, which lie three widths past the latest lead's fall: the
// J point is taken there, the T end where the trapezium turns, at 2.2 widths
// (the test works the offsets out).
// Measured against cardiologists (mapari-validate; README "How accurate are
// the automatic marks"): on four QT Database records without pacing, against
// cardiologist 1, Q onset 1.7 +- 9.5 ms, J point -4.5 +- 19.1, T end
// 6.0 +- 22.6 (a second cardiologist on the same stretches: 3.1 +- 8.6,
// -9.4 +- 19.5, -2.8 +- 12.7; the J point's spread is cardiologist 1's: the
// marks stand to cardiologist 2 at 4.9 +- 7.3); on the paced record sel104
// 2.8 +- 11.7, 7.2 +- 25.2 (22.4 +- 37.8 before the paced J point's rule),
// 8.1 +- 54.2; on six LUDB records 0.4 +- 9.9, -5.9 +- 7.9, -2.9 +- 17.5.
// Limits: on sel104 cardiologist 1 puts the Q onset a few ms before the
// spike leaves the baseline, as on unpaced beats; its T end, averaged from
// one to four beats of a record mixing paced, fusion and sinus beats and
// compared on most stretches with one beat's mark, scatters (on the
// stretches where cardiologist 1 marked two or more of the averaged beats
// 11.9 +- 17.9). Cardiologist 1's own T ends of the beats of one averaged
// beat differ there by 36 ms (SD), so marks without error would stand from
// them at an SD of 32 ms at least (J point 19; mapari-validate's least SD);
// a low, broad T wave in one of few leads ends late; a
// paced beat led by a spike smaller than its QRS, whose ST segment slopes,
// gets a late J point; a deflection well
// before the QRS's rise, further than the trapezium's smoothing hides, or
// slower than a QRS moves (LUDB 10's drifts before its QRS, averaged from
// two noisy beats; LUDB 21 where only four beats smear its first deflection)
// is not taken for its onset: the Q onset comes 15 to 20 ms after the
// cardiologists' earliest lead there; a QRS ending in a corner, as no real
// one does, gets its J point up to a fifth of its fall past the corner; a
// small lobe ending a lead's S wave (sel116: a tenth of its R) is inside or
// outside the QRS by a near tie of the trapezium's areas, the J point 20 ms
// apart; the marks of a real beat are best looked at.
// `problem` says when they cannot be used.
#pragma once

#include <array>
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
    // The T end by the tangent at the steepest point of each lead's fall met
    // with its iso-electric level, the latest over the leads that give t_end;
    // not a mark: kept to measure the two methods against cardiologists.
    // 0: none found.
    std::int32_t t_end_tangent = 0;
    bool stimulus_found = false;  // false: no pacing spike; stimulus set to q_onset
    std::string problem;          // empty, or why the marks cannot be trusted
};

// The four marks as rows of the beat: stimulus, Q onset, J point, T end.
using MarkRowArray = std::array<std::int32_t, fiducial_count>;
inline MarkRowArray mark_rows_of(const AutomaticMarks& marks) {
    return {marks.stimulus, marks.q_onset, marks.j_point, marks.t_end};
}

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
//
// `left_out` are leads the marks are not taken from: bad leads, whose noise or
// steps would otherwise carry the RMS curve and the latest lead's edges. When
// it leaves out every lead with a signal, the marks are taken from them all,
// as a recording's marks are better questioned by its flags than lost.
using LeadsLeftOut = std::array<bool, lead_count>;  // lead l at [l - 1]
AutomaticMarks find_automatic_marks(const Beat& beat,
                                    const std::vector<std::int32_t>& found_rows = {},
                                    const LeadsLeftOut& left_out = {});

// The rows of the averaged beat at which the beat finding found beats after
// the accepted ones, seen from each accepted beat, in order.
std::vector<std::int32_t> found_beat_rows(const Beat& beat, const Display& display);

}  // namespace mapari
