// How far a lead's AT and RT of the averaged beat can be trusted: a time
// uncertainty in ms for each, from what the recording shows, turned into a
// confidence from 0 to 1.
//
// Noise: each matching beat's residual about the averaged beat, taken as
// differences of successive rows (r(i+1) - r(i)) / sqrt 2, is the beat's
// white noise per sample; the slow changes of a wave from beat to beat (a T
// wave moving with the RR) hardly enter a difference of neighbouring rows.
// The beat noise of a lead is the RMS over the unflagged beats, and the
// averaged beat's noise that divided by sqrt(beats averaged). A lone beat
// measures nothing (it is its own average: its residual is 0), so it takes
// two beats or more.
//
// Extremum: both marks are where a filtered curve F(k) = sum w(j) S(k + j)
// of the averaged beat is extreme: AT the five-point difference (weights -1,
// -2, 0, 2, 1), RT the slope at k of the cubic fitted over k - h .. k + h
// (weights from the least-squares fit). Noise moves such an extremum, not as
// it moves a level crossing (noise / slope), but by the noise of F's slope
// over F's curvature: the peak of F, near its top F(0) + C x^2 / 2, moves
// by (e(k+1) - e(k-1)) / 2 / |C|, where e is the noise in F, whose RMS is
// the averaged noise x sqrt(sum ((w(j-1) - w(j+1)) / 2)^2) (sqrt 7 for the
// five-point difference; for h = 20 about 0.01, the fit averaging most of the
// noise away). C, a second difference of a noisy curve, is read from the
// shape of the peak instead: taken as a Gaussian, whose curvature is
// F(peak) / sd^2 with sd its width at half height / (2 sqrt(2 ln 2)), so
// that a broad peak (a slow wave) places its mark loosely however steep it
// is. On the synthetic recordings' waves this term is about 3 times what
// noise / slope gives for AT (a downstroke 3 ms wide) and 1.7 times for RT
// (a T wave 12 ms wide).
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
// The two are independent and add in squares: sigma = sqrt(extremum term^2
// + spread term^2), and confidence = 1 / (1 + (sigma / scale)^2) with a scale
// of 3 ms: 0.8 for an expected error of 1.5 ms, 0.5 for 3 ms, 0.1 for 9 ms.
// 3 ms is the error within which the marks of a clean recording lie against
// planted truth, so a confidence above 0.8 keeps the error well inside it.
//
// Limits: a systematic error of the method (a downstroke whose steepest
// point is not the activation) shows in neither term. A lead without a
// signal, or without two beats to measure the noise, gets none.
//
// Check: on synthetic recordings (seeds 11 and 12, noise 10 to 50, eight
// noise realisations of each, the RMS error of each mark over them), the
// extremum term worked from the noiseless waves gives AT's RMS error at noise
// 20, 30, 40 as 0.19, 0.28, 0.38 ms against 0.21, 0.42, 0.60 observed (noise
// / slope: 0.06, 0.09, 0.12; the errors are whole rows, and a jump of one
// row outruns a small predicted shift), and RT's as 1.36, 2.05, 2.73 ms
// against 0.99, 1.29, 1.78 (noise / slope: 0.82, 1.22, 1.63): far closer
// for AT, cautious for RT. As computed from the recording (extremum and spread), the
// RMS of sigma is 0.23, 0.41, 0.58 ms for AT and 1.70, 2.54, 3.89 for RT,
// and sigma ranks the 1280 marks by their RMS error with a rank correlation
// of 0.90 (0.88 with noise / slope, whose RT term, a slope read where noise
// flattens it, reached an RMS of about 9 ms at noise 40).
// tests/batch/test_lead_confidence.cpp plants times on eight recordings
// with noise from 0 to 55, five realisations each, and compares each mark's
// mean confidence with its RMS error against the planted time: over 1024
// marks a rank correlation of -0.91 (-0.63 for one realisation's whole-ms
// errors, whose ties bound it), and no mark of any realisation above 0.8
// more than 3 ms off.
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
    double extremum_ms = 0.0;  // how far the averaged noise moves the extremum at the mark
    double spread_ms = 0.0;    // robust SD over the beats / sqrt(beats averaged); 0 below 2 beats
    double combined_ms() const;
    double confidence() const;  // 1 / (1 + (combined / scale)^2)
};

// The white noise per sample of a beat's lead about the averaged beat's,
// rows first_row to last_row (at least two).
float residual_noise(const Beat& beat, const Beat& averaged, int lead, int first_row, int last_row);

// The weights of S(k - h) .. S(k + h) that give the slope at k of the cubic
// fitted over k - h .. k + h by least squares.
std::vector<double> cubic_slope_weights(int half_width);

// For a curve F(k) = sum of weights(j) S(k + j), the RMS of
// (F(k + 1) - F(k - 1)) / 2 per unit of white noise on S.
double shift_noise_gain(const std::vector<double>& weights);

// How far, in ms (RMS), white noise of `averaged_noise` moves the extremum at
// `row` of the averaged beat's lead filtered by the weights (centred at k).
double extremum_uncertainty_ms(const Beat& averaged, int lead, int row,
                               const std::vector<double>& weights, double averaged_noise);

struct LeadConfidence {
    std::optional<double> activation;
    std::optional<double> recovery;
    bool operator==(const LeadConfidence&) const = default;
};

// Every lead's confidence: `averaged` the averaged beat (Q onset at its
// fiducial mark 2), its AT and RT in ms after the Q onset, `beats_averaged`
// the beats summed into it, `beats` the recording's beats with their noise;
// `smoothing_half_width` the h of the recovery's cubic fits; none on a lead
// without a signal or when fewer than two unflagged beats measure the noise.
std::array<LeadConfidence, lead_count> lead_confidences(
    const Beat& averaged, int beats_averaged, const std::array<float, lead_count>& activation_ms,
    const std::array<float, lead_count>& recovery_ms, const std::vector<BeatResult>& beats,
    const std::array<bool, lead_count>& with_signal, int smoothing_half_width);

}  // namespace mapari
