// Synthetic map recordings with known activation and recovery times.
//
// The model is a paced rhythm at a fixed cycle. Each beat starts with a short
// biphasic stimulus artifact 6 ms before the Q onset; every map lead then has a
// QRS built from three Gaussian-integral edges (R upstroke, the downstroke at
// the lead's activation time, the return from S) and an upright T wave built
// from two edges (the upstroke at the lead's recovery time and a slower
// downstroke 80 ms later). Activation spreads from a pacing site on the 8 x 8
// lead grid (lead 1 top left, rows of 8), so activation and recovery vary
// smoothly over the leads. Baseline wander (0.3 Hz, about 25 units) and
// Gaussian noise are added before rounding to 16-bit samples.
//
// The planted times are exact for the noiseless waveform: the downstroke edge
// is symmetric about its integer centre and the other edges are at least three
// of their widths away, so the most negative five-point difference
// 2S(k+1) + S(k+2) - 2S(k-1) - S(k-2) falls on the activation sample; the T
// upstroke is 12 ms wide (about 31 ms from 10 % to 90 %), so its steepest
// sample is also where a local cubic fit over +-20 samples has its largest
// slope. tests/tools/test_synth.cpp checks both on every lead.
//
// Restitution, when asked for: each cycle after the first differs from the
// pacing cycle by a whole number of milliseconds drawn uniformly from -J to J
// (the RR jitter), and each beat's T wave, with every lead's recovery time,
// moves by S x (its preceding RR - the pacing cycle); the activation map stays.
// The first beat has no preceding RR and keeps the map's recovery times. ARI
// against the preceding RR is then a straight line of slope S for every lead.
//
// Bad leads, when asked for, spoil chosen leads of the finished recording
// and leave every other sample as it was: a zero lead holds 0 throughout (a
// disconnected channel), a noise lead gains Gaussian noise of 20 times the
// recording's noise RMS and at least 200 units, a steps lead is offset by
// 3000 units from 1.7 s to 3.4 s, from 5.1 s to 6.8 s and so on (a loose
// electrode), and a flip lead is the clean lead turned over (a swapped
// electrode). The planted times of every lead stay in the truth: they are what
// filling in a bad lead should reach.
//
// A noise seed, when given, draws the noise (the recording's and the noise
// leads') in the seed's place; the map, the cycles and the times stay the
// seed's, so that one planted recording can be drawn with other noise.
//
// Everything that varies comes from std::mt19937 (its output is fixed by the
// language standard) through transforms written here rather than the library's
// distributions, whose output differs between standard libraries. A seed thus
// gives the same bytes on every run, and elsewhere too unless the maths library
// rounds its last bit differently right at a half unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/map_recording.hpp"

namespace mapari::synth {

inline constexpr int grid_columns = 8;  // leads per row of the map grid

// Display leads the analysis detects beats on by default.
inline constexpr std::array<int, 3> default_display_leads{13, 23, 37};

inline constexpr double min_rate_bpm = 70.0;   // slower leaves a second without a QRS
inline constexpr double max_rate_bpm = 120.0;  // faster runs the T wave into the next beat
inline constexpr double max_noise_rms = 1000.0;
inline constexpr double max_restitution_slope = 1.0;
inline constexpr int max_rr_jitter_ms = 100;
// The analysis takes no recovery time before J + 100 ms (its default delay)
// and the earliest recovery of any map lies 120 ms after the J point, so a
// beat's recovery may move at most 20 ms either way.
inline constexpr double max_recovery_shift_ms = 20.0;

struct Restitution {
    double slope = 0.0;    // ms of recovery per ms of preceding RR, 0 to max_restitution_slope
    int rr_jitter_ms = 0;  // half-width of the uniform change of each cycle, 0 to max_rr_jitter_ms
};

enum class BadLeadKind { zero, noise, steps, flip };

struct BadLead {
    int lead = 0;  // 1 to lead_count
    BadLeadKind kind = BadLeadKind::zero;
};

// The name of a kind of bad lead as the command line and the truth write it.
const char* bad_lead_kind_name(BadLeadKind kind);
// The kind of bad lead of a name; nothing when no kind has it.
std::optional<BadLeadKind> bad_lead_kind_named(std::string_view name);

// The spoiling of a steps lead: the offset alternates between 0 and
// step_offset every step_interval_frames, starting at 0.
inline constexpr int step_interval_frames = 1700;
inline constexpr int step_offset = 3000;
// A noise lead's added noise: noisy_lead_noise_factor x the recording's noise
// RMS, but at least min_noisy_lead_noise_rms.
inline constexpr double noisy_lead_noise_factor = 20.0;
inline constexpr double min_noisy_lead_noise_rms = 200.0;

struct SynthSettings {
    std::uint32_t seed = 1;
    int seconds = 32;         // 4 or 32
    double noise_rms = 10.0;  // raw units (taken as microvolts)
    double rate_bpm = 75.0;   // min_rate_bpm to max_rate_bpm
    // The draw of the noise (the recording's and the noise leads'): another
    // realisation of the same planted recording. Absent: the seed's.
    std::optional<std::uint32_t> noise_seed = std::nullopt;
};

// The cycle of a pacing rate, whole milliseconds.
int cycle_ms_at(double rate_bpm);

// The latest end of any map's T wave, milliseconds after its stimulus, before
// any restitution shift.
int latest_t_end_after_stimulus_ms();

// The waveform of one lead. Times are milliseconds after the Q onset,
// amplitudes raw units.
struct LeadShape {
    int activation_ms = 0;  // centre of the QRS downstroke
    int recovery_ms = 0;    // centre of the T upstroke
    double r_amplitude = 0.0;
    double s_amplitude = 0.0;  // depth of S; the downstroke falls r + s
    double t_amplitude = 0.0;
    double stimulus_amplitude = 0.0;
    double wander_amplitude = 0.0;
};

// Fiducial points of one beat, 1-based frame numbers of the file.
struct BeatMarks {
    int stimulus = 0;  // first sample of the stimulus artifact
    int q_onset = 0;   // reference of every lead's times
    int j_point = 0;   // end of the latest QRS
    int t_end = 0;     // end of the latest T wave
    int qrs_peak = 0;  // steepest fall of the noiseless magnitude of leads 13, 23, 37,
                       // where beat finding places the beat
    int rr_ms = 0;     // stimulus to stimulus from the beat before; 0 for the first beat
    // How far every lead's recovery time (and the T wave) lies after the map's:
    // restitution slope x (rr_ms - pacing cycle); 0 for the first beat.
    double recovery_shift_ms = 0.0;
};

// Where lead 1..lead_count sits in an array of one entry per lead.
inline std::size_t lead_slot(int lead) {
    return static_cast<std::size_t>(lead - 1);
}

struct SynthModel {
    SynthSettings settings;
    std::optional<Restitution> restitution;  // absent: every cycle the pacing rate's
    int frames = 0;
    int cycle_ms = 0;
    double wander_phase_rad = 0.0;
    std::array<LeadShape, lead_count> leads{};
    std::vector<BeatMarks> beats;    // complete beats only, in time order
    std::vector<BadLead> bad_leads;  // in lead order, each lead at most once

    const LeadShape& shape_of(int lead) const { return leads[lead_slot(lead)]; }
};

SynthModel make_model(const SynthSettings& settings,
                      const std::optional<Restitution>& restitution = std::nullopt,
                      std::vector<BadLead> bad_leads = {});

// Noiseless QRS and T wave of one lead at ms_from_q milliseconds after the Q
// onset (the stimulus artifact and the wander are not part of it), its T wave
// moved by recovery_shift_ms.
double beat_value(const LeadShape& lead, double ms_from_q, double recovery_shift_ms = 0.0);

// Frames of the recording, channel 1 first within a frame: frames * channel_count
// samples in the order encode_frames writes them.
std::vector<std::int16_t> render_samples(const SynthModel& model);

// The truth file: settings, beat marks and per-lead times as JSON; with
// restitution also the slope, the jitter and each beat's RR and recovery shift;
// with bad leads also each bad lead and its kind.
std::string truth_json(const SynthModel& model);

}  // namespace mapari::synth
