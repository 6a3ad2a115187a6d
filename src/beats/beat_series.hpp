// Per-beat analysis: every beat of the whole recording that matches the
// averaging's template, each analysed as the averaged beat was, and the
// summaries of a lead over those beats.
//
// Finding: the whole file is decoded once into a plain buffer of frames, and
// the averaging's beat finding and alignment (-10 to +10 samples, the
// recognition coefficient) run over it in stretches of 4000 frames that start
// every 3000 frames (the last one ending with the recording). A stretch owns
// the beats found from its sample 201 to its sample 3200 (the first from its
// start, the last to its end), so every beat is found in a stretch where
// detection sees at least 200 samples on either side, and found once.
// The buffer is read once, not a stretch at a time from the file: the beats
// need every lead over 1024 rows and the stretches overlap, so reading the file
// again would read most of it twice.
//
// Analysis: a matching beat whose 1024 rows all lie in the recording (aligned
// at frame 201 and later, 823 frames or more before the end) gets the averaged
// beat's marks at the same rows, the two-point baseline through the Q onset
// and the T end, its values rounded to whole numbers as the save step rounds
// them, and the ARI computation with the averaging's settings: AT and RT in ms
// after its own Q onset. The windows of the fits depend on the marks and the
// settings alone, so they are formed once for all beats.
//
// Flags: a beat is low-correlation when 1 - r exceeds 3 x (1 - median r) +
// 0.002 over the matching beats (every one has reached the coefficient, so only
// a beat clearly worse than the usual one is flagged; the 0.002 keeps a
// noiseless recording, median 1, from flagging every beat short of 1). It is
// at-scatter when the interquartile range over the leads with a signal of
// (its AT - the averaged beat's AT) exceeds 3 x the median of that range over
// the beats + 2 ms: a beat whose activation does not follow the averaged
// beat's map far more than the others do, as an ectopic beat that still
// matches the template on one lead. Flagged beats are left out of the summaries.
//
// Check: mapari-synth --restitution-slope S --rr-jitter MS --truth plants each
// beat's RR and recovery shift; tests/beats/test_beat_series.cpp compares.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "store/store.hpp"

namespace mapari {

inline constexpr int stretch_step_frames = 3000;
inline constexpr int first_owned_sample = 201;  // of a stretch after the first
inline constexpr int last_owned_sample = 3200;  // of a stretch before the last

struct BeatResult {
    // The frame of the beat's aligned position, counted from 1 as the
    // stretch's samples are: ms from the recording's start.
    std::int32_t time_ms = 0;
    // From the beat found before it (matching or not, at its aligned position
    // when it matches); none for the first beat found.
    std::optional<std::int32_t> rr_ms;
    float correlation = 0.0f;  // with the template at the aligned position
    bool low_correlation = false;
    bool at_scatter = false;
    std::array<float, lead_count> activation_ms{};  // AT(l), ms after the beat's Q onset
    std::array<float, lead_count> recovery_ms{};    // RT(l), ms after the beat's Q onset
    // The beat's white noise per sample about the averaged beat from its Q
    // onset to its T end, in the recording's units (lead_confidence.hpp). Not
    // kept in the study record: the confidence made from it is.
    std::array<float, lead_count> residual_noise{};
    bool flagged() const { return low_correlation || at_scatter; }
    bool operator==(const BeatResult&) const = default;
};

// What the averaging settled that the analysis of every beat repeats.
struct AveragedBeat {
    const Settings& settings;  // display lead channels and the recognition coefficient
    const Beat& beat;          // its template, template channel and four marks
    AriSettings ari_settings;
};

// Every matching beat of the recording's bytes (whole frames), in time order,
// each with its AT and RT on every lead; unflagged. Needs the averaged beat's
// marks within the ARI computation's limits.
std::vector<BeatResult> analyse_every_beat(std::string_view recording_bytes,
                                           const AveragedBeat& averaged);
// The same from the bytes' whole frames decoded (decode_frames), with
// `work_area` for the finding and the analysis of each beat, set back first
// (reset_store_but_recording): a caller analysing many recordings keeps one.
std::vector<BeatResult> analyse_every_beat(std::span<const std::int16_t> frames,
                                           const AveragedBeat& averaged, Store& work_area);

// Sets the two flags of every beat (rules above); `averaged_activation_ms`
// are the averaged beat's AT, `with_signal` the leads that carry one.
void flag_beats(std::vector<BeatResult>& beats,
                const std::array<float, lead_count>& averaged_activation_ms,
                const std::array<bool, lead_count>& with_signal);

// y = a + slope x by least squares, with the slope's standard error
// sqrt(sum of squared residuals / (n - 2) / sum (x - mean x)^2); none for
// fewer than 3 points or x without spread.
struct LineFit {
    double slope = 0.0;
    double slope_se = 0.0;
};
std::optional<LineFit> least_squares_line(std::span<const double> x, std::span<const double> y);

// A lead over the unflagged beats: their number, the sample SD of its ARI
// (none below 2 beats), and ARI against the preceding RR (restitution).
struct LeadSummary {
    int beats_used = 0;
    std::optional<double> ari_sd_ms;
    std::optional<LineFit> restitution;
};
LeadSummary summarise_lead(const std::vector<BeatResult>& beats, int lead);

}  // namespace mapari
