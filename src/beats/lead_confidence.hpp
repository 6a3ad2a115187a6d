// How far a lead's AT and RT of the averaged beat can be trusted: a time
// uncertainty in ms for each, from what the recording shows, turned into a
// confidence from 0 to 1.
//
// Noise: each matching beat's residual about the averaged beat, taken as
// differences of successive rows (r(i+1) - r(i)) / sqrt 2, is the beat's
// white noise per sample; the slow changes of a wave from beat to beat (a T
// wave moving with the RR) hardly enter a difference of neighbouring rows.
// The beat noise of a lead is the RMS over the unflagged beats, and the
// averaged beat's noise that divided by sqrt(beats averaged).
//
// Steepness: the slope of the averaged beat at the mark, by the five-point
// difference (2S(k+1) + S(k+2) - 2S(k-1) - S(k-2)) / 10 per ms. Noise that
// moves a wave up or down by the averaged noise shifts a mark on that slope by
// noise / |slope| ms: the signal-to-noise ratio enters here, as a wave's
// duration (swing / slope) divided by its SNR (swing / noise).
//
// Spread: the spread of the mark over the unflagged beats (an SD taken
// robustly, from the interquartile range) is what noise, a wobbling baseline
// and a poorly defined wave do to the mark of one beat, seen directly;
// divided by sqrt(beats averaged) it is that of the averaged beat's mark (the
// average is of the beats of its stretch, not of every beat). What the
// preceding RR explains of the mark (restitution: a least-squares line of the
// mark against the RR) is the heart's doing, not the measurement's, and is
// taken out first.
//
// The two are independent and add in squares: sigma = sqrt(steepness term^2
// + spread term^2), and confidence = 1 / (1 + (sigma / scale)^2) with a scale
// of 3 ms: 0.8 for an expected error of 1.5 ms, 0.5 for 3 ms, 0.1 for 9 ms.
// 3 ms is the error within which the marks of a clean recording lie against
// planted truth, so a confidence above 0.8 keeps the error well inside it.
//
// Limits: a systematic error of the method (a downstroke whose steepest
// point is not the activation) shows in neither term. A lead without a
// signal, or without a beat to measure the noise, gets none.
//
// Check: tests/batch/test_lead_confidence.cpp plants times on synthetic
// recordings with noise from 0 to 55 and compares the confidence with the
// error against them: over 1024 marks a rank correlation of -0.62 (the errors
// are whole ms, mostly 0 to 2, which bounds it), and no mark above 0.8 more
// than 3 ms off.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "beats/beat_series.hpp"
#include "store/store.hpp"

namespace mapari {

inline constexpr double confidence_scale_ms = 3.0;

// The time uncertainty of one mark and the confidence it gives.
struct MarkUncertainty {
    double steepness_ms = 0.0;  // averaged noise / |slope at the mark|
    double spread_ms = 0.0;     // robust SD over the beats / sqrt(beats averaged); 0 below 2 beats
    double combined_ms() const;
    double confidence() const;  // 1 / (1 + (combined / scale)^2)
};

// The white noise per sample of a beat's lead about the averaged beat's,
// rows first_row to last_row (at least two).
float residual_noise(const Beat& beat, const Beat& averaged, int lead, int first_row, int last_row);

// The slope of the averaged beat's lead at row k, per ms (rows are ms).
double slope_per_ms(const Beat& averaged, int lead, int row);

struct LeadConfidence {
    std::optional<double> activation;
    std::optional<double> recovery;
    bool operator==(const LeadConfidence&) const = default;
};

// Every lead's confidence: `averaged` the averaged beat (Q onset at its
// fiducial mark 2), its AT and RT in ms after the Q onset, `beats_averaged`
// the beats summed into it, `beats` the recording's beats with their noise;
// none on a lead without a signal or when no unflagged beat measures noise.
std::array<LeadConfidence, lead_count> lead_confidences(
    const Beat& averaged, int beats_averaged, const std::array<float, lead_count>& activation_ms,
    const std::array<float, lead_count>& recovery_ms, const std::vector<BeatResult>& beats,
    const std::array<bool, lead_count>& with_signal);

}  // namespace mapari
