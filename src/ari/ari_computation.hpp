// The ARI computation: for each of the 64 leads of a saved working beat, the
// activation time (AT) and the recovery time (RT), in ms after the reference
// point P (the Q onset); the activation-recovery interval of a lead is RT − AT.
//
// Method: activation at the steepest downstroke, recovery at the steepest
// upstroke of the T wave (the Wyatt method).
//   AT: the earliest sample k from P + a to J of the most negative integer
//       five-point difference 2S(k+1) + S(k+2) − 2S(k−1) − S(k−2); P itself
//       when no difference is negative.
//   RT: the T wave is smoothed by a cubic fitted over k − h .. k + h at every
//       sample k from J to E; its slope D(k) at k is searched from J + r to E
//       for the largest positive value that is still rising from D(k − 1);
//       J + r itself when none is.
// Every lead's window at k lies on the same rows, so what its fit takes from
// the rows alone (power sums, the x part of the normal equations, its factor
// and inverse) is formed once for all 64 leads, and each lead's sums with its
// samples slide from window to window (regression/sliding_sums.hpp): the same
// results as a regression call of its own for every window and lead.
// The save step takes the beat matrix and the marks as the files it has just
// written (.ds and .se) hold them, so the .ari always describes what is on
// disk. The settings h, a and r and their defaults are
// the store's AriSettings.
// Limits, checked before the computation: P + a − 2 ≥ 1, J ≥ 1,
// J + 2 ≤ 1024, E + h ≤ 1024, J + r − 1 ≥ 1, r ≥ 1, h ≥ 2.
// Check a result with a synthetic recording whose times are planted
// (mapari-synth --truth).
#pragma once

#include <string>

#include "regression/report_format.hpp"
#include "store/store.hpp"

namespace mapari {

// The first limit the marks and settings break, or empty when none.
std::string broken_limit(const AriWork& work);

// Activation and recovery times of one lead from the beat matrix's lead
// samples (lead_samples, abscissae and ordinates filled for it); the
// regression's warnings go to the report.
void find_activation(AriWork& work, int lead);
void find_recovery(AriWork& work, ReportSink& report, int lead);

// AT and RT of all 64 leads from the beat matrix, the marks and the
// settings; needs marks and settings within the limits (broken_limit empty).
void compute_ari(AriWork& work, ReportSink& report);

// The AT and RT of compute_ari for many beats on the same marks and settings:
// the windows' shared part, which the rows alone decide, formed once, and
// then each beat's AT and RT on it (its beat matrix filled anew each time).
// The slope curve is formed only where the recovery search reads it, from
// J + r - 1 to E, so its rows before are not written and the fits of those
// rows report nothing.
// Both fit the leads side by side, window after window
// (regression/shared_abscissae.hpp, fit_cubics_on_shared_abscissae): the same
// slopes, messages and last fit as lead after lead.
void share_ari_windows(AriWork& work);
void compute_ari_on_shared_windows(AriWork& work, ReportSink& report);

}  // namespace mapari
