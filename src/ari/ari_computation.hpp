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
// It works from the files the save step has just written (.ds and .se), not
// from memory, and writes the .ari file. Defaults: h = 20, a = 7, r = 100.
// Limits checked before any file is written: P + a − 2 ≥ 1, J ≥ 1,
// J + 2 ≤ 1024, E + h ≤ 1024, J + r − 1 ≥ 1, r ≥ 1, h ≥ 2.
// Check a result with a synthetic recording whose times are planted
// (mapari-synth --truth).
#pragma once

#include <string>

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr std::int32_t default_smoothing_half_width = 20;
inline constexpr std::int32_t default_activation_offset = 7;
inline constexpr std::int32_t default_recovery_delay = 100;

// Reads the .ds text into the beat matrix, each value rounded to the nearest
// whole number (halves away from zero); false with the reason when the text
// holds fewer than 1024 × 64 numbers or something that is no number.
bool read_ds_text(const std::string& text, AriWork& work, std::string& reason);
// Reads the .se record into P, the second value, J and E.
bool read_se_text(const std::string& text, AriWork& work, std::string& reason);
// The first limit the marks and settings break, or empty when none.
std::string broken_limit(const AriWork& work);

// Activation and recovery samples of lead l from the beat matrix.
void find_activation(AriWork& work, int lead);
void find_recovery(AriWork& work, Runtime& runtime, int lead);

// The whole computation; false (with a message) when no .ari file was written.
bool compute_ari(Store& store, Runtime& runtime);

}  // namespace mapari
