// mapari-synth: file layout, determinism, the planted truth against the
// noiseless waveform, the beats as the analysis finds them, and the command
// line with its failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/synth_command.hpp"
#include "support/temporary_folder.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::tools_tests {

using namespace synth;
namespace {

SynthModel model_for(std::uint32_t seed, int seconds, double noise_rms = 10.0) {
    SynthSettings settings;
    settings.seed = seed;
    settings.seconds = seconds;
    settings.noise_rms = noise_rms;
    return make_model(settings);
}

SynthModel restitution_model(std::uint32_t seed, int seconds, Restitution restitution,
                             double rate_bpm = 75.0, double noise_rms = 10.0) {
    SynthSettings settings;
    settings.seed = seed;
    settings.seconds = seconds;
    settings.noise_rms = noise_rms;
    settings.rate_bpm = rate_bpm;
    return make_model(settings, restitution);
}

// Sample of channel (1 to 72) at frame (1-based).
int sample_at(const std::vector<std::int16_t>& samples, int frame, int channel) {
    return samples[static_cast<std::size_t>((frame - 1) * channel_count + channel - 1)];
}

// Earliest k in [first, last] with the most negative 2y(k+1) + y(k+2) - 2y(k-1) - y(k-2).
template <typename Signal>
int steepest_downstroke(Signal y, int first, int last) {
    int steepest_k = first;
    double steepest = 0.0;
    for (int k = first; k <= last; ++k) {
        const double d = 2.0 * y(k + 1) + y(k + 2) - 2.0 * y(k - 1) - y(k - 2);
        if (k == first || d < steepest) {
            steepest = d;
            steepest_k = k;
        }
    }
    return steepest_k;
}

// Slope at k of the least-squares cubic through y(k-20) .. y(k+20). With x
// centred on k the fit splits over the orthogonal terms x and
// x^3 - (S4/S2) x (Sn = sum of x^n), whose slopes at x = 0 are a1 and
// -a3 S4/S2.
template <typename Signal>
double local_cubic_slope(Signal y, int k) {
    constexpr int half_width = 20;
    double s2 = 0.0, s4 = 0.0, s6 = 0.0;
    for (int x = -half_width; x <= half_width; ++x) {
        s2 += x * x;
        s4 += x * x * x * x;
        s6 += 1.0 * x * x * x * x * x * x;
    }
    double a1 = 0.0, a3 = 0.0;
    for (int x = -half_width; x <= half_width; ++x) {
        a1 += x * y(k + x);
        a3 += (1.0 * x * x * x - s4 / s2 * x) * y(k + x);
    }
    a1 /= s2;
    a3 /= s6 - s4 * s4 / s2;
    return a1 - a3 * s4 / s2;
}

// The analysis' recovery search: largest local-cubic slope from first to
// last, taken only where it still rises from the sample before.
template <typename Signal>
int steepest_upstroke(Signal y, int first, int last) {
    int steepest_k = first;
    double steepest = 0.0;
    for (int k = first; k <= last; ++k) {
        const double slope = local_cubic_slope(y, k);
        if (slope > steepest && slope > local_cubic_slope(y, k - 1)) {
            steepest = slope;
            steepest_k = k;
        }
    }
    return steepest_k;
}

// Beats of the 4000-frame stretch that starts after first_frame - 1, found the
// way the analysis does: the most negative five-point slope of the 32-bit
// magnitude of leads 13, 23, 37 in samples 100 to 3800, blanking 100 before to
// 200 after each, until a minimum is no longer below 0.6 of the first one. The
// last position is that first miss. Positions are 1-based within the stretch.
std::vector<int> find_beats(const std::vector<std::int16_t>& samples, int first_frame) {
    constexpr int n = 4000;
    std::vector<float> magnitude(n + 1, 0.0f), slope(n + 1, 0.0f);
    for (int i = 1; i <= n; ++i) {
        for (int lead : default_display_leads) {
            const auto value =
                static_cast<float>(sample_at(samples, first_frame + i - 1, lead + 8));
            magnitude[i] += value * value;
        }
    }
    for (int i = 3; i <= n - 3; ++i)
        slope[i] =
            2 * magnitude[i + 1] + magnitude[i + 2] - 2 * magnitude[i - 1] - magnitude[i - 2];
    const float smallest = *std::min_element(slope.begin() + 2, slope.begin() + n - 1);
    std::vector<int> beats;
    for (float current = smallest; 0.6f * smallest > current && beats.size() < 199;) {
        const auto found = std::min_element(slope.begin() + 100, slope.begin() + 3801);
        current = *found;
        const int position = static_cast<int>(found - slope.begin());
        beats.push_back(position);
        std::fill(slope.begin() + std::max(1, position - 100),
                  slope.begin() + std::min(n, position + 200) + 1, 0.0f);
    }
    return beats;
}

TEST(SynthRecording, HoldsFramesOf72ChannelsWithChannelsOneToEightZero) {
    for (const auto& [seconds, file_bytes] : {std::pair{4, 576'000}, std::pair{32, 4'608'000}}) {
        const SynthModel model = model_for(1, seconds);
        const std::vector<std::int16_t> samples = render_samples(model);
        EXPECT_EQ(model.frames, 1000 * seconds);
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(model.frames * 72));
        EXPECT_EQ(encode_frames(samples).size(), static_cast<std::size_t>(file_bytes));
        for (int frame = 1; frame <= model.frames; ++frame) {
            for (int channel = 1; channel <= 8; ++channel)
                ASSERT_EQ(sample_at(samples, frame, channel), 0) << frame << ' ' << channel;
        }
        // Lead 13 (channel 21) falls at least 900 from R to S, so R or S
        // reaches 450; wander (up to 33) and noise leave more than 400.
        const int q = model.beats.front().q_onset;
        int largest = 0;
        for (int frame = q; frame < q + 100; ++frame)
            largest = std::max(largest, std::abs(sample_at(samples, frame, 21)));
        EXPECT_GT(largest, 400);
    }
}

TEST(SynthRecording, SameSeedGivesSameBytesAndAnotherSeedDiffers) {
    const std::string first = encode_frames(render_samples(model_for(5, 4)));
    EXPECT_EQ(first, encode_frames(render_samples(model_for(5, 4))));
    EXPECT_NE(first, encode_frames(render_samples(model_for(6, 4))));
    EXPECT_NE(truth_json(model_for(5, 4)), truth_json(model_for(6, 4)));
}

constexpr std::array<std::uint32_t, 5> truth_seeds{1, 2, 3, 42, 4'000'000'000u};

TEST(SynthTruth, ActivationIsTheUnambiguousSteepestDownstrokeOfTheNoiselessQrs) {
    for (std::uint32_t seed : truth_seeds) {
        const SynthModel model = model_for(seed, 4);
        const BeatMarks& beat = model.beats.front();
        for (int lead = 1; lead <= lead_count; ++lead) {
            const LeadShape& shape = model.shape_of(lead);
            auto y = [&shape](int ms) { return beat_value(shape, ms); };
            const int last = beat.j_point - beat.q_onset;
            const int steepest = steepest_downstroke(y, 7, last);
            EXPECT_EQ(steepest, shape.activation_ms) << "seed " << seed << " lead " << lead;
            // Rounding to whole units moves a five-point difference by at most
            // 3, so a lead of 20 over every other sample keeps the place.
            auto d = [&y](int k) { return 2 * y(k + 1) + y(k + 2) - 2 * y(k - 1) - y(k - 2); };
            for (int k = 7; k <= last; ++k) {
                if (k == steepest) continue;
                EXPECT_GT(d(k) - d(steepest), 20.0) << lead << ' ' << k;
            }
        }
    }
}

TEST(SynthTruth, RecoveryIsTheSteepestUpstrokeOfTheNoiselessTWave) {
    for (std::uint32_t seed : truth_seeds) {
        const SynthModel model = model_for(seed, 4);
        const BeatMarks& beat = model.beats.front();
        const int first = beat.j_point - beat.q_onset + 100;
        const int last = beat.t_end - beat.q_onset;
        for (int lead = 1; lead <= lead_count; ++lead) {
            const LeadShape& shape = model.shape_of(lead);
            auto y = [&shape](double ms) { return beat_value(shape, ms); };
            // The derivative, by central differences at 0.1 ms steps, peaks
            // within half a sample of the recovery time.
            double peak_ms = first;
            double peak_slope = 0.0;
            for (double ms = first; ms <= last; ms += 0.1) {
                const double slope = (y(ms + 0.05) - y(ms - 0.05)) / 0.1;
                if (slope > peak_slope) {
                    peak_slope = slope;
                    peak_ms = ms;
                }
            }
            EXPECT_NEAR(peak_ms, shape.recovery_ms, 0.5) << "seed " << seed << " lead " << lead;
            auto y_at = [&y](int ms) { return y(ms); };
            EXPECT_EQ(steepest_upstroke(y_at, first, last), shape.recovery_ms)
                << "seed " << seed << " lead " << lead;
        }
    }
}

TEST(SynthTruth, NoiselessRecordingShowsTheTruthAtEveryBeat) {
    const SynthModel model = model_for(3, 32, 0.0);
    const std::vector<std::int16_t> samples = render_samples(model);
    ASSERT_EQ(model.beats.size(), 40u);  // stimuli 294 + 800 k up to 31494
    for (const BeatMarks& beat : model.beats) {
        for (int lead = 1; lead <= lead_count; ++lead) {
            const LeadShape& shape = model.shape_of(lead);
            auto s = [&samples, lead](int frame) {
                return 1.0 * sample_at(samples, frame, lead + 8);
            };
            EXPECT_EQ(steepest_downstroke(s, beat.q_onset + 7, beat.j_point) - beat.q_onset,
                      shape.activation_ms)
                << "beat " << beat.q_onset << " lead " << lead;
            EXPECT_NEAR(steepest_upstroke(s, beat.j_point + 100, beat.t_end) - beat.q_onset,
                        shape.recovery_ms, 1)
                << "beat " << beat.q_onset << " lead " << lead;
        }
    }
}

TEST(SynthTruth, MarksFrameEveryLeadsTimesAndTheTimesVarySmoothly) {
    for (std::uint32_t seed : truth_seeds) {
        const SynthModel model = model_for(seed, 32);
        for (std::size_t i = 0; i < model.beats.size(); ++i) {
            const BeatMarks& beat = model.beats[i];
            EXPECT_EQ(beat.stimulus, 294 + 800 * static_cast<int>(i));
            EXPECT_EQ(beat.q_onset, beat.stimulus + 6);
            EXPECT_GE(beat.qrs_peak, beat.q_onset);
            EXPECT_LE(beat.qrs_peak, beat.j_point);
            if (i + 1 < model.beats.size()) {
                EXPECT_LT(beat.t_end, model.beats[i + 1].stimulus);
            }
        }
        const BeatMarks& beat = model.beats.front();
        for (int lead = 1; lead <= lead_count; ++lead) {
            const LeadShape& shape = model.shape_of(lead);
            // Inside the analysis' search ranges: Q onset + 7 to J, and J + 100 to T end.
            EXPECT_GE(shape.activation_ms, 25);
            EXPECT_LE(beat.q_onset + shape.activation_ms, beat.j_point - 30);
            EXPECT_GE(beat.q_onset + shape.recovery_ms, beat.j_point + 120);
            EXPECT_LE(shape.recovery_ms, 320);
            EXPECT_LE(beat.q_onset + shape.recovery_ms, beat.t_end - 100);
            // Neighbours on the grid: activation spreads 35 ms over at least
            // the 4.95 grid steps from the centre to a corner, 35 / 4.95 = 7.1
            // ms a step, plus rounding; recovery adds 0.7 of that and at most
            // 80 ms over 7 steps, 5.6 + 11.4 + 1.
            for (int neighbour : {lead + 1, lead + 8}) {
                if (neighbour > lead_count || (neighbour == lead + 1 && lead % 8 == 0)) continue;
                const LeadShape& other = model.shape_of(neighbour);
                EXPECT_LE(std::abs(shape.activation_ms - other.activation_ms), 8) << lead;
                EXPECT_LE(std::abs(shape.recovery_ms - other.recovery_ms), 18) << lead;
            }
        }
    }
}

// Every 4-s stretch of the recording finds each of its planted beats.
void expect_every_stretch_finds_its_beats(const SynthModel& model) {
    const std::uint32_t seed = model.settings.seed;
    const std::vector<std::int16_t> samples = render_samples(model);
    for (int second = 0; second <= 28; ++second) {
        const int offset = 1000 * second;
        const std::vector<int> found = find_beats(samples, offset + 1);
        int planted = 0;
        int selectable = 0;
        int at_edge = 0;  // a beat just outside the search may be found at its end
        for (const BeatMarks& beat : model.beats) {
            const int position = beat.qrs_peak - offset;
            if (position < 100 || position > 3800) {
                if (position >= 100 - 6 && position <= 3800 + 6) ++at_edge;
                continue;
            }
            ++planted;
            if (position > 200 && position <= 3000) ++selectable;
            // Noise can slide the minimum a few samples along a broad fall.
            EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                    [position](int p) { return std::abs(p - position) <= 6; }))
                << "seed " << seed << " second " << second << " beat " << position;
        }
        // Each planted beat once, then the first minimum that missed 0.6.
        EXPECT_GE(found.size(), static_cast<std::size_t>(planted + 1)) << seed << ' ' << second;
        EXPECT_LE(found.size(), static_cast<std::size_t>(planted + at_edge + 1))
            << seed << ' ' << second;

        EXPECT_GE(selectable, 3) << seed << ' ' << second;
        // Lead 13's QRS lies in samples 100 to 1000, where the display scale is
        // taken; wander (up to 33) and noise move its peak by far less than a fifth.
        int scale = 0, largest = 0;
        for (int i = 1; i <= 4000; ++i) {
            const int value = std::abs(sample_at(samples, offset + i, 21));
            largest = std::max(largest, value);
            if (i >= 100 && i <= 1000) scale = std::max(scale, value);
        }
        EXPECT_GT(scale, largest * 4 / 5) << seed << ' ' << second;
    }
}

TEST(SynthBeats, EveryStretchFindsEachPlantedBeatAtItsQrs) {
    for (std::uint32_t seed : {1u, 2u, 42u})
        expect_every_stretch_finds_its_beats(model_for(seed, 32));
}

TEST(SynthTruth, JsonNamesSettingsBeatsAndLeads) {
    const SynthModel model = model_for(9, 4);
    const std::string json = truth_json(model);
    EXPECT_TRUE(
        json.starts_with("{\"seed\":9,\"seconds\":4,\"frames\":4000,\"cycle_ms\":800,\n"
                         "\"beats\":[\n{\"stimulus\":294,\"q_onset\":300,\"j_point\":"));
    EXPECT_TRUE(json.ends_with("}\n]}\n"));
    // 4 s hold five complete beats: stimuli 294, 1094, 1894, 2694, 3494.
    ASSERT_EQ(model.beats.size(), 5u);
    const BeatMarks& last = model.beats.back();
    std::ostringstream beat_line;
    beat_line << "{\"stimulus\":3494,\"q_onset\":3500,\"j_point\":" << last.j_point
              << ",\"t_end\":" << last.t_end << ",\"qrs_peak\":" << last.qrs_peak << "}\n],\n";
    EXPECT_NE(json.find(beat_line.str()), std::string::npos);
    for (int lead = 1; lead <= lead_count; ++lead) {
        std::ostringstream lead_line;
        lead_line << "\n{\"lead\":" << lead
                  << ",\"activation_ms\":" << model.shape_of(lead).activation_ms
                  << ",\"recovery_ms\":" << model.shape_of(lead).recovery_ms << "}";
        EXPECT_NE(json.find(lead_line.str()), std::string::npos) << lead;
    }
}

// Restitution settings of the tables below, each within what mapari-synth takes.
struct RestitutionCase {
    std::uint32_t seed;
    Restitution restitution;
    double rate_bpm;
};

const std::vector<RestitutionCase> restitution_cases{
    {1, {0.3, 50}, 75.0},                 // shifts up to 15 ms
    {2, {1.0, 20}, 75.0},                 // the largest shift, 20 ms, either way
    {42, {0.2, 100}, 80.0},               // cycles 650 to 850 ms
    {4'000'000'000u, {0.25, 30}, 120.0},  // cycles from 470 ms, T waves end by 468
};

TEST(SynthRestitution, TruthGivesEachBeatItsRrAndRecoveryShift) {
    const SynthModel model = restitution_model(7, 4, {0.25, 40}, 75.0, 0.0);
    const std::string json = truth_json(model);
    EXPECT_TRUE(
        json.starts_with("{\"seed\":7,\"seconds\":4,\"frames\":4000,\"cycle_ms\":800,"
                         "\"restitution_slope\":0.25,\"rr_jitter_ms\":40,\n\"beats\":["));
    // The stimuli come from seed 7's cycles; the rest by hand: RR from the
    // stimulus before, shift 0.25 x (RR - 800), T end 454 ms after the Q onset
    // moved by the shift rounded up (the first beat's marks: 300 and 754).
    struct Row {
        int stimulus;
        int rr_ms;
        double shift_ms;
        int t_end;
        std::string truth;
    };
    const std::vector<Row> rows{
        {294, 0, 0.0, 754, "\"rr_ms\":null,\"recovery_shift_ms\":0}"},
        {1090, 796, -1.0, 1096 + 454 - 1, "\"rr_ms\":796,\"recovery_shift_ms\":-1}"},
        {1912, 822, 5.5, 1918 + 454 + 6, "\"rr_ms\":822,\"recovery_shift_ms\":5.5}"},
        {2700, 788, -3.0, 2706 + 454 - 3, "\"rr_ms\":788,\"recovery_shift_ms\":-3}"},
        {3469, 769, -7.75, 3475 + 454 - 7, "\"rr_ms\":769,\"recovery_shift_ms\":-7.75}"},
    };
    ASSERT_EQ(model.beats.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BeatMarks& beat = model.beats[i];
        EXPECT_EQ(beat.stimulus, rows[i].stimulus) << i;
        EXPECT_EQ(beat.rr_ms, rows[i].rr_ms) << i;
        EXPECT_EQ(beat.recovery_shift_ms, rows[i].shift_ms) << i;
        EXPECT_EQ(beat.t_end, rows[i].t_end) << i;
        EXPECT_EQ(beat.j_point - beat.q_onset, model.beats[0].j_point - 300) << i;
        std::ostringstream line;
        line << "\"t_end\":" << rows[i].t_end << ",\"qrs_peak\":" << beat.qrs_peak << ','
             << rows[i].truth;
        EXPECT_NE(json.find(line.str()), std::string::npos) << line.str();
    }
}

// The per-beat RR and recovery shifts and the per-lead times of a truth file.
struct TruthTimes {
    std::vector<int> rr_ms;  // beats after the first
    std::vector<double> shift_ms;
    std::vector<int> activation_ms;  // by lead
    std::vector<int> recovery_ms;
};

TruthTimes read_truth(const std::string& json) {
    TruthTimes truth;
    const std::regex beat("\"rr_ms\":([0-9]+),\"recovery_shift_ms\":([-0-9.e]+)\\}");
    for (std::sregex_iterator it(json.begin(), json.end(), beat), end; it != end; ++it) {
        truth.rr_ms.push_back(std::stoi((*it)[1]));
        truth.shift_ms.push_back(std::stod((*it)[2]));
    }
    const std::regex lead("\"activation_ms\":([0-9]+),\"recovery_ms\":([0-9]+)\\}");
    for (std::sregex_iterator it(json.begin(), json.end(), lead), end; it != end; ++it) {
        truth.activation_ms.push_back(std::stoi((*it)[1]));
        truth.recovery_ms.push_back(std::stoi((*it)[2]));
    }
    return truth;
}

TEST(SynthRestitution, LeastSquaresSlopeOfAriOnPrecedingRrIsThePlantedSlopeForEveryLead) {
    for (const auto& [seed, restitution, rate_bpm] : restitution_cases) {
        const SynthModel model = restitution_model(seed, 32, restitution, rate_bpm);
        const TruthTimes truth = read_truth(truth_json(model));
        ASSERT_EQ(truth.rr_ms.size() + 1, model.beats.size()) << seed;
        ASSERT_EQ(truth.activation_ms.size(), static_cast<std::size_t>(lead_count)) << seed;
        const double n = static_cast<double>(truth.rr_ms.size());
        double mean_rr = 0.0;
        for (int rr : truth.rr_ms) {
            EXPECT_LE(std::abs(rr - model.cycle_ms), restitution.rr_jitter_ms) << seed;
            mean_rr += rr / n;
        }
        for (std::size_t lead = 0; lead < truth.activation_ms.size(); ++lead) {
            double sxy = 0.0, sxx = 0.0;
            for (std::size_t i = 0; i < truth.rr_ms.size(); ++i) {
                const double ari =
                    truth.recovery_ms[lead] + truth.shift_ms[i] - truth.activation_ms[lead];
                sxy += (truth.rr_ms[i] - mean_rr) * ari;
                sxx += (truth.rr_ms[i] - mean_rr) * (truth.rr_ms[i] - mean_rr);
            }
            ASSERT_GT(sxx, 0.0) << seed;
            EXPECT_NEAR(sxy / sxx, restitution.slope, 1e-9) << seed << " lead " << lead + 1;
        }
    }
}

TEST(SynthRestitution, NoiselessRecordingShowsEachBeatsShiftedRecoveryInsideItsMarks) {
    for (const auto& [seed, restitution, rate_bpm] : restitution_cases) {
        const SynthModel model = restitution_model(seed, 32, restitution, rate_bpm, 0.0);
        const std::vector<std::int16_t> samples = render_samples(model);
        for (std::size_t i = 0; i < model.beats.size(); ++i) {
            const BeatMarks& beat = model.beats[i];
            if (i + 1 < model.beats.size()) {
                EXPECT_LT(beat.t_end, model.beats[i + 1].stimulus);
            }
            // Beat at row 201 of the 1024 averaged rows, and the fit's 20
            // rows past the T end.
            EXPECT_LE(beat.t_end - beat.qrs_peak + 201 + 20, 1024);
            for (int lead = 1; lead <= lead_count; ++lead) {
                const LeadShape& shape = model.shape_of(lead);
                const double recovery_ms = shape.recovery_ms + beat.recovery_shift_ms;
                // Inside the analysis' recovery search, J + 100 to T end.
                EXPECT_GE(beat.q_onset + recovery_ms, beat.j_point + 100);
                EXPECT_LE(beat.q_onset + recovery_ms, beat.t_end - 100);
                auto s = [&samples, lead](int frame) {
                    return 1.0 * sample_at(samples, frame, lead + 8);
                };
                EXPECT_EQ(steepest_downstroke(s, beat.q_onset + 7, beat.j_point) - beat.q_onset,
                          shape.activation_ms)
                    << "seed " << seed << " beat " << beat.q_onset << " lead " << lead;
                EXPECT_NEAR(steepest_upstroke(s, beat.j_point + 100, beat.t_end) - beat.q_onset,
                            recovery_ms, 1)
                    << "seed " << seed << " beat " << beat.q_onset << " lead " << lead;
            }
        }
    }
}

TEST(SynthRestitution, EveryStretchFindsEachPlantedBeatAtItsQrs) {
    for (const auto& [seed, restitution, rate_bpm] : restitution_cases)
        expect_every_stretch_finds_its_beats(restitution_model(seed, 32, restitution, rate_bpm));
    // The longest cycles taken at 75 a minute: 800 + 57 = 857 ms.
    expect_every_stretch_finds_its_beats(restitution_model(9, 32, {0.35, 57}));
}

SynthModel bad_lead_model(std::uint32_t seed, double noise_rms, std::vector<BadLead> bad_leads) {
    SynthSettings settings;
    settings.seed = seed;
    settings.seconds = 4;
    settings.noise_rms = noise_rms;
    return make_model(settings, std::nullopt, std::move(bad_leads));
}

// The samples of one lead, frame 1 first.
std::vector<int> lead_samples(const std::vector<std::int16_t>& samples, int lead) {
    std::vector<int> values;
    for (int frame = 1; frame <= 4000; ++frame)
        values.push_back(sample_at(samples, frame, channel_of_lead(lead)));
    return values;
}

SynthModel noise_seed_model(std::uint32_t seed, std::optional<std::uint32_t> noise_seed,
                            double noise_rms = 10.0) {
    SynthSettings settings;
    settings.seed = seed;
    settings.noise_seed = noise_seed;
    settings.seconds = 4;
    settings.noise_rms = noise_rms;
    return make_model(settings, std::nullopt, {{40, BadLeadKind::noise}});
}

TEST(SynthRecording, NoiseSeedDrawsOtherNoiseOnTheSamePlantedRecording) {
    const std::vector<std::int16_t> own = render_samples(noise_seed_model(5, std::nullopt));
    EXPECT_EQ(render_samples(noise_seed_model(5, 5)), own);
    const std::vector<std::int16_t> other = render_samples(noise_seed_model(5, 6));
    ASSERT_EQ(other.size(), own.size());
    // Two draws of noise of RMS 10 differ by an RMS of 10 sqrt 2 on a clean
    // lead, and the noise lead's by 200 sqrt 2: the beats, the wander and the
    // stimuli are the same, so nothing else is left in the difference.
    const auto difference_rms = [&](int lead) {
        const std::vector<int> a = lead_samples(own, lead), b = lead_samples(other, lead);
        double squares = 0.0;
        for (std::size_t i = 0; i < a.size(); ++i) squares += double(a[i] - b[i]) * (a[i] - b[i]);
        return std::sqrt(squares / static_cast<double>(a.size()));
    };
    EXPECT_NEAR(difference_rms(13), 10.0 * std::sqrt(2.0), 0.8);
    EXPECT_NEAR(difference_rms(40), 200.0 * std::sqrt(2.0), 12.0);
    // Without noise the noise seed changes nothing but the noise lead.
    const std::vector<std::int16_t> quiet = render_samples(noise_seed_model(5, 6, 0.0));
    EXPECT_EQ(lead_samples(quiet, 13),
              lead_samples(render_samples(noise_seed_model(5, 5, 0.0)), 13));
    // Seed 6's noise on seed 5's map is not seed 6's recording.
    EXPECT_NE(other, render_samples(noise_seed_model(6, std::nullopt)));
}

TEST(SynthTruth, NoiseSeedIsNamedAfterTheSeedAndChangesNothingElse) {
    std::string with_noise_seed = truth_json(noise_seed_model(5, 4'000'000'000u));
    const std::string field = "\"noise_seed\":4000000000,";
    ASSERT_TRUE(with_noise_seed.starts_with("{\"seed\":5," + field)) << with_noise_seed;
    with_noise_seed.erase(std::string("{\"seed\":5,").size(), field.size());
    EXPECT_EQ(with_noise_seed, truth_json(noise_seed_model(5, std::nullopt)));
}

struct BadLeadCase {
    BadLeadKind kind;
    int lead;
    double noise_rms;
};

const std::vector<BadLeadCase> bad_lead_cases{
    {BadLeadKind::zero, 12, 10.0}, {BadLeadKind::noise, 40, 10.0}, {BadLeadKind::steps, 7, 10.0},
    {BadLeadKind::flip, 20, 10.0}, {BadLeadKind::zero, 1, 0.0},    {BadLeadKind::noise, 64, 0.0},
    {BadLeadKind::steps, 64, 0.0}, {BadLeadKind::flip, 1, 0.0},
};

TEST(SynthBadLeads, EachKindChangesItsLeadAndEveryOtherChannelKeepsItsBytes) {
    for (const auto& [kind, lead, noise_rms] : bad_lead_cases) {
        const std::vector<std::int16_t> clean = render_samples(model_for(5, 4, noise_rms));
        const std::vector<std::int16_t> bad =
            render_samples(bad_lead_model(5, noise_rms, {{lead, kind}}));
        ASSERT_EQ(bad.size(), clean.size());
        int changed_frames = 0;
        for (int frame = 1; frame <= 4000; ++frame) {
            for (int channel = 1; channel <= channel_count; ++channel) {
                if (channel == channel_of_lead(lead))
                    changed_frames +=
                        sample_at(bad, frame, channel) != sample_at(clean, frame, channel);
                else
                    ASSERT_EQ(sample_at(bad, frame, channel), sample_at(clean, frame, channel))
                        << bad_lead_kind_name(kind) << " lead " << lead << " channel " << channel;
            }
        }
        EXPECT_GT(changed_frames, 1000) << bad_lead_kind_name(kind) << " lead " << lead;
    }
}

TEST(SynthBadLeads, ZeroLeadHoldsZeroThroughout) {
    const std::vector<int> values =
        lead_samples(render_samples(bad_lead_model(3, 10.0, {{9, BadLeadKind::zero}})), 9);
    EXPECT_EQ(values, std::vector<int>(4000, 0));
}

TEST(SynthBadLeads, FlipLeadIsTheCleanLeadTurnedOver) {
    for (double noise_rms : {0.0, 10.0}) {
        std::vector<int> turned = lead_samples(render_samples(model_for(3, 4, noise_rms)), 22);
        for (int& value : turned) value = -value;
        EXPECT_EQ(lead_samples(
                      render_samples(bad_lead_model(3, noise_rms, {{22, BadLeadKind::flip}})), 22),
                  turned)
            << noise_rms;
    }
}

TEST(SynthBadLeads, StepsLeadIsOffsetBy3000From1700To3400Ms) {
    // Frames (1-based) and the offset from the clean lead that holds over them.
    struct Stretch {
        int first_frame, last_frame, offset;
    };
    const std::vector<Stretch> stretches{{1, 1700, 0}, {1701, 3400, 3000}, {3401, 4000, 0}};
    const std::vector<int> clean = lead_samples(render_samples(model_for(3, 4)), 30);
    const std::vector<int> steps =
        lead_samples(render_samples(bad_lead_model(3, 10.0, {{30, BadLeadKind::steps}})), 30);
    for (const auto& [first_frame, last_frame, offset] : stretches)
        for (int frame = first_frame; frame <= last_frame; ++frame)
            ASSERT_EQ(steps[frame - 1] - clean[frame - 1], offset) << frame;
}

TEST(SynthBadLeads, StepsLeadOfThirtyTwoSecondsAlternatesAndStaysInRange) {
    SynthSettings settings;
    settings.seed = 3;
    const std::vector<std::int16_t> clean = render_samples(make_model(settings));
    const std::vector<std::int16_t> steps =
        render_samples(make_model(settings, std::nullopt, {{30, BadLeadKind::steps}}));
    // Up at 1.7 s, 5.1 s, ..., 28.9 s; down at 3.4 s, ..., 30.6 s, to the end.
    const std::vector<std::pair<int, int>> frame_offsets{
        {1700, 0},  {1701, 3000},  {3400, 3000},  {3401, 0},  {5101, 3000},
        {28900, 0}, {28901, 3000}, {30600, 3000}, {30601, 0}, {32000, 0},
    };
    for (const auto& [frame, offset] : frame_offsets)
        EXPECT_EQ(sample_at(steps, frame, channel_of_lead(30)) -
                      sample_at(clean, frame, channel_of_lead(30)),
                  offset)
            << frame;
}

TEST(SynthBadLeads, NoiseLeadGainsTwentyTimesTheNoiseAndAtLeast200) {
    const std::vector<std::pair<double, double>> noise_and_added_rms{
        {0.0, 200.0}, {10.0, 200.0}, {20.0, 400.0}, {50.0, 1000.0}};
    for (const auto& [noise_rms, added_rms] : noise_and_added_rms) {
        const std::vector<int> clean = lead_samples(render_samples(model_for(4, 4, noise_rms)), 40);
        const std::vector<int> noisy = lead_samples(
            render_samples(bad_lead_model(4, noise_rms, {{40, BadLeadKind::noise}})), 40);
        double added_square_sum = 0.0;
        for (std::size_t i = 0; i < clean.size(); ++i)
            added_square_sum += 1.0 * (noisy[i] - clean[i]) * (noisy[i] - clean[i]);
        EXPECT_NEAR(std::sqrt(added_square_sum / 4000.0), added_rms, 0.05 * added_rms) << noise_rms;
    }
}

// Median of |y(k) - y(k-1)| over the lead.
double median_step(const std::vector<int>& values) {
    std::vector<int> steps;
    for (std::size_t i = 1; i < values.size(); ++i)
        steps.push_back(std::abs(values[i] - values[i - 1]));
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return steps[steps.size() / 2];
}

TEST(SynthBadLeads, NoiseLeadsSampleToSampleStepsAreFarLargerThanTheCleanLeads) {
    const std::vector<int> clean = lead_samples(render_samples(model_for(4, 4)), 40);
    const std::vector<int> noisy =
        lead_samples(render_samples(bad_lead_model(4, 10.0, {{40, BadLeadKind::noise}})), 40);
    // Differences of noise of RMS 10 have a median size near 0.67 x 10 x sqrt 2, about 10;
    // of noise of RMS 200 more, about 190.
    EXPECT_LT(median_step(clean), 15.0);
    EXPECT_GT(median_step(noisy), 10.0 * median_step(clean));
}

TEST(SynthBadLeads, NoiseComesFromTheSeedAndLeadsDrawInTurn) {
    const std::vector<BadLead> two_noisy{{40, BadLeadKind::noise}, {41, BadLeadKind::noise}};
    const std::vector<std::int16_t> first = render_samples(bad_lead_model(4, 10.0, two_noisy));
    EXPECT_EQ(render_samples(bad_lead_model(4, 10.0, two_noisy)), first);
    const std::vector<std::int16_t> other_seed = render_samples(bad_lead_model(6, 10.0, two_noisy));
    EXPECT_NE(lead_samples(first, 40), lead_samples(first, 41));
    EXPECT_NE(lead_samples(other_seed, 40), lead_samples(first, 40));
}

TEST(SynthBadLeads, TruthNamesTheBadLeadsInLeadOrderAfterEveryLeadsTimes) {
    const SynthModel model = bad_lead_model(9, 10.0,
                                            {{12, BadLeadKind::zero},
                                             {40, BadLeadKind::noise},
                                             {7, BadLeadKind::steps},
                                             {20, BadLeadKind::flip}});
    std::string expected = truth_json(model_for(9, 4));
    ASSERT_TRUE(expected.ends_with("\n]}\n"));
    expected.replace(expected.size() - 2, 0,
                     ",\n\"bad_leads\":[{\"lead\":7,\"kind\":\"steps\"},{\"lead\":12,"
                     "\"kind\":\"zero\"},{\"lead\":20,\"kind\":\"flip\"},{\"lead\":40,"
                     "\"kind\":\"noise\"}]");
    EXPECT_EQ(truth_json(model), expected);
}

TEST(SynthBadLeads, KindsAreNamedAsTheCommandLineWritesThem) {
    const std::vector<std::pair<BadLeadKind, std::string>> names{{BadLeadKind::zero, "zero"},
                                                                 {BadLeadKind::noise, "noise"},
                                                                 {BadLeadKind::steps, "steps"},
                                                                 {BadLeadKind::flip, "flip"}};
    for (const auto& [kind, name] : names) {
        EXPECT_EQ(bad_lead_kind_name(kind), name);
        EXPECT_EQ(bad_lead_kind_named(name), kind);
    }
    EXPECT_EQ(bad_lead_kind_named("Zero"), std::nullopt);
    EXPECT_EQ(bad_lead_kind_named(""), std::nullopt);
}

class SynthCommand : public testing::Test {
  protected:
    std::string path(const std::string& name) const { return folder_.file(name); }

    int run(const std::vector<std::string>& arguments) {
        out_.str({});
        err_.str({});
        return run_command(arguments, out_, err_);
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test_support::TemporaryFolder folder_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(SynthCommand, WritesTheRecordingAndTruthOfItsSettings) {
    std::ofstream(path("r.dat")) << "an older file";
    EXPECT_EQ(run({"--out", path("r.dat"), "--truth", path("r.json"), "--seconds", "4", "--seed",
                   "7", "--noise", "0", "--rate", "75"}),
              0);
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(files(), (std::vector<std::string>{"r.dat", "r.json"}));
    const SynthModel model = model_for(7, 4, 0.0);
    const std::string bytes = test_support::read_bytes(path("r.dat"));
    EXPECT_EQ(bytes.size(), 576'000u);
    EXPECT_EQ(bytes, encode_frames(render_samples(model)));
    EXPECT_EQ(test_support::read_bytes(path("r.json")), truth_json(model));
}

TEST_F(SynthCommand, DefaultsAreThirtyTwoSecondsSeedOneNoiseTenAt75PerMinute) {
    EXPECT_EQ(run({"--out", path("r.dat")}), 0);
    EXPECT_EQ(files(), std::vector<std::string>{"r.dat"});
    EXPECT_EQ(test_support::read_bytes(path("r.dat")),
              encode_frames(render_samples(model_for(1, 32, 10.0))));
}

TEST_F(SynthCommand, RateSetsTheCycle) {
    EXPECT_EQ(run({"--out", path("r.dat"), "--truth", path("r.json"), "--rate", "120"}), 0);
    EXPECT_NE(test_support::read_bytes(path("r.json")).find("\"cycle_ms\":500,"),
              std::string::npos);
}

TEST_F(SynthCommand, RefusesBadCommandLinesWithExitCodeTwoAndWritesNothing) {
    const std::string out = path("r.dat");
    std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "--out FILE.dat is required"},
        {{"--out"}, "--out needs a value"},
        {{"--out", ""}, "--out needs a value"},
        {{"--out", out, "--seed"}, "--seed needs a value"},
        {{"--out", out, "--seconds", "5"}, "--seconds takes 4 or 32, not \"5\""},
        {{"--out", out, "--seconds", "4s"}, "--seconds takes 4 or 32, not \"4s\""},
        {{"--out", out, "--seed", "-1"},
         "--seed takes a whole number from 0 to 4294967295, not \"-1\""},
        {{"--out", out, "--seed", "4294967296"},
         "--seed takes a whole number from 0 to 4294967295, not \"4294967296\""},
        {{"--out", out, "--seed", "seven"},
         "--seed takes a whole number from 0 to 4294967295, not \"seven\""},
        {{"--out", out, "--noise-seed", "-1"},
         "--noise-seed takes a whole number from 0 to 4294967295, not \"-1\""},
        {{"--out", out, "--noise-seed", "4294967296"},
         "--noise-seed takes a whole number from 0 to 4294967295, not \"4294967296\""},
        {{"--out", out, "--noise-seed"}, "--noise-seed needs a value"},
        {{"--out", out, "--noise", "-3"}, "--noise takes a number from 0 to 1000, not \"-3\""},
        {{"--out", out, "--noise", "nan"}, "--noise takes a number from 0 to 1000, not \"nan\""},
        {{"--out", out, "--noise", "inf"}, "--noise takes a number from 0 to 1000, not \"inf\""},
        {{"--out", out, "--rate", "69.9"}, "--rate takes a number from 70 to 120, not \"69.9\""},
        {{"--out", out, "--rate", "121"}, "--rate takes a number from 70 to 120, not \"121\""},
        {{"--out", out, "--rate", "fast"}, "--rate takes a number from 70 to 120, not \"fast\""},
        {{"--out", out, "--colour", "red"}, "unknown option '--colour'"},
        {{"--out", out, "extra"}, "unexpected argument 'extra'"},
        {{"--out", out, "--truth", out}, "--out and --truth name the same file"},
        {{"--out", out, "--restitution-slope", "1.5"},
         "--restitution-slope takes a number from 0 to 1, not \"1.5\""},
        {{"--out", out, "--restitution-slope", "-0.1"},
         "--restitution-slope takes a number from 0 to 1, not \"-0.1\""},
        {{"--out", out, "--restitution-slope", "nan"},
         "--restitution-slope takes a number from 0 to 1, not \"nan\""},
        {{"--out", out, "--rr-jitter", "101"},
         "--rr-jitter takes a whole number from 0 to 100, not \"101\""},
        {{"--out", out, "--rr-jitter", "-1"},
         "--rr-jitter takes a whole number from 0 to 100, not \"-1\""},
        {{"--out", out, "--rr-jitter", "2.5"},
         "--rr-jitter takes a whole number from 0 to 100, not \"2.5\""},
        {{"--out", out, "--restitution-slope", "0.5", "--rr-jitter", "41"},
         "--restitution-slope 0.5 with --rr-jitter 41 moves recovery times by up to 20.5 ms, "
         "more than 20"},
        {{"--out", out, "--rr-jitter", "58"},
         "--rr-jitter 58 at --rate 75 makes cycles up to 858 ms, longer than the 857 ms of "
         "--rate 70"},
        // The latest T wave of any map ends 460 ms after its stimulus, before any shift.
        {{"--out", out, "--rr-jitter", "40", "--rate", "120"},
         "--rr-jitter 40 at --rate 120 makes cycles as short as 460 ms, and a T wave may end as "
         "late as 460 ms after its stimulus"},
        {{"--out", out, "--restitution-slope", "0.5", "--rr-jitter", "30", "--rate", "120"},
         "--rr-jitter 30 at --rate 120 makes cycles as short as 470 ms, and a T wave may end as "
         "late as 475 ms after its stimulus"},
        {{"--out", out, "--bad-leads", ""}, "--bad-leads needs a value"},
        {{"--out", out, "--bad-leads", "zero:3,flip:3"}, "--bad-leads names lead 3 twice"},
        {{"--out", out, "--bad-leads", "noise:40,zero:12,steps:40"},
         "--bad-leads names lead 40 twice"},
    };
    const std::string bad_leads_wanted =
        "--bad-leads takes KIND:LEAD,... with KIND zero, noise, steps or flip and LEAD 1 to 64, "
        "not ";
    for (const char* value : {"x:3", "zero:0", "zero:65", "Zero:3", "zero", "zero:", ":3", "3",
                              "zero:3,", ",zero:3", "zero:3,,flip:4", "zero:3;flip:4", "zero: 3",
                              "zero:+3", "zero:3:4", "zero:3.0", "zero:-1"})
        cases.push_back(
            {{"--out", out, "--bad-leads", value}, bad_leads_wanted + "\"" + value + "\""});
    for (const auto& [arguments, message] : cases) {
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_EQ(err_.str(), "mapari-synth: " + message + "\n" + usage_text);
        EXPECT_EQ(out_.str(), "") << message;
        EXPECT_TRUE(files().empty()) << message;
    }
}

TEST_F(SynthCommand, TakesRestitutionUpToEachLimit) {
    const std::vector<std::vector<std::string>> cases{
        {"--restitution-slope", "1", "--rr-jitter", "20"},
        {"--restitution-slope", "0.35", "--rr-jitter", "57"},
        {"--rr-jitter", "39", "--rate", "120"},
        {"--restitution-slope", "0.25", "--rr-jitter", "30", "--rate", "120"},
        {"--rr-jitter", "0", "--rate", "70"},
    };
    for (const std::vector<std::string>& restitution : cases) {
        std::vector<std::string> arguments{"--out", path("r.dat"), "--seconds", "4"};
        arguments.insert(arguments.end(), restitution.begin(), restitution.end());
        EXPECT_EQ(run(arguments), 0) << arguments[4];
        EXPECT_EQ(err_.str(), "") << arguments[4];
    }
}

TEST_F(SynthCommand, RestitutionOfNoSlopeAndNoJitterKeepsTheRecordingAndAddsToTheTruth) {
    ASSERT_EQ(run({"--out", path("a.dat"), "--truth", path("a.json"), "--seconds", "4"}), 0);
    ASSERT_EQ(run({"--out", path("b.dat"), "--truth", path("b.json"), "--seconds", "4",
                   "--restitution-slope", "0", "--rr-jitter", "0"}),
              0);
    EXPECT_EQ(test_support::read_bytes(path("a.dat")), test_support::read_bytes(path("b.dat")));
    // Every cycle the pacing cycle, 800 ms, and no shift; the first beat has no RR.
    std::string expected = std::regex_replace(test_support::read_bytes(path("a.json")),
                                              std::regex("(\"qrs_peak\":[0-9]+)\\}"),
                                              "$1,\"rr_ms\":800,\"recovery_shift_ms\":0}");
    const std::string second_cycle = "\"rr_ms\":800";
    expected.replace(expected.find(second_cycle), second_cycle.size(), "\"rr_ms\":null");
    expected.replace(expected.find("\n\"beats\""), 0,
                     "\"restitution_slope\":0,\"rr_jitter_ms\":0,");
    EXPECT_EQ(test_support::read_bytes(path("b.json")), expected);
}

TEST_F(SynthCommand, SameSeedAndRestitutionGiveTheSameFiles) {
    auto files_of = [this](const std::string& seed, const std::string& jitter) {
        EXPECT_EQ(run({"--out", path("r.dat"), "--truth", path("r.json"), "--seconds", "4",
                       "--seed", seed, "--restitution-slope", "0.3", "--rr-jitter", jitter}),
                  0);
        return test_support::read_bytes(path("r.dat")) + test_support::read_bytes(path("r.json"));
    };
    const std::string first = files_of("11", "40");
    EXPECT_EQ(files_of("11", "40"), first);
    EXPECT_NE(files_of("12", "40"), first);
    EXPECT_NE(files_of("11", "39"), first);
}

TEST_F(SynthCommand, NoiseSeedWritesTheRecordingAndTruthOfItsSettings) {
    ASSERT_EQ(run({"--out", path("r.dat"), "--truth", path("r.json"), "--seconds", "4", "--seed",
                   "7", "--noise-seed", "0", "--bad-leads", "noise:40"}),
              0);
    EXPECT_EQ(err_.str(), "");
    SynthSettings settings;
    settings.seed = 7;
    settings.noise_seed = 0;
    settings.seconds = 4;
    const SynthModel model = make_model(settings, std::nullopt, {{40, BadLeadKind::noise}});
    EXPECT_EQ(test_support::read_bytes(path("r.dat")), encode_frames(render_samples(model)));
    EXPECT_EQ(test_support::read_bytes(path("r.json")), truth_json(model));
    EXPECT_TRUE(
        test_support::read_bytes(path("r.json")).starts_with("{\"seed\":7,\"noise_seed\":0,"));
}

TEST_F(SynthCommand, BadLeadsSpoilTheirLeadsAndJoinTheTruth) {
    ASSERT_EQ(run({"--out", path("r.dat"), "--truth", path("r.json"), "--seconds", "4", "--seed",
                   "7", "--bad-leads", "zero:12,noise:40,steps:7,flip:20"}),
              0);
    EXPECT_EQ(err_.str(), "");
    SynthSettings settings;
    settings.seed = 7;
    settings.seconds = 4;
    const SynthModel model = make_model(settings, std::nullopt,
                                        {{12, BadLeadKind::zero},
                                         {40, BadLeadKind::noise},
                                         {7, BadLeadKind::steps},
                                         {20, BadLeadKind::flip}});
    EXPECT_EQ(test_support::read_bytes(path("r.dat")), encode_frames(render_samples(model)));
    EXPECT_EQ(test_support::read_bytes(path("r.json")), truth_json(model));
    EXPECT_TRUE(test_support::read_bytes(path("r.json"))
                    .ends_with("\"bad_leads\":[{\"lead\":7,\"kind\":\"steps\"},{\"lead\":12,"
                               "\"kind\":\"zero\"},{\"lead\":20,\"kind\":\"flip\"},{\"lead\":40,"
                               "\"kind\":\"noise\"}]}\n"));
}

TEST_F(SynthCommand, BadLeadsGoWithRestitutionAndLeadsUpToSixtyFour) {
    ASSERT_EQ(run({"--out", path("r.dat"), "--truth", path("r.json"), "--seconds", "4",
                   "--rr-jitter", "20", "--bad-leads", "flip:64,zero:1"}),
              0);
    const std::string truth = test_support::read_bytes(path("r.json"));
    EXPECT_NE(truth.find("\"rr_jitter_ms\":20,"), std::string::npos);
    EXPECT_TRUE(truth.ends_with(
        "\"bad_leads\":[{\"lead\":1,\"kind\":\"zero\"},{\"lead\":64,\"kind\":\"flip\"}]}\n"));
}

TEST_F(SynthCommand, HelpPrintsTheUsageAndWritesNothing) {
    EXPECT_EQ(run({"--out", path("r.dat"), "--help"}), 0);
    EXPECT_TRUE(out_.str().starts_with("usage: mapari-synth --out FILE.dat [--truth FILE.json]"));
    EXPECT_EQ(err_.str(), "");
    EXPECT_TRUE(files().empty());
}

TEST_F(SynthCommand, UnwritableFileGivesExitCodeOneAndLeavesNoFile) {
    const std::string missing = path("missing/r.dat");
    EXPECT_EQ(run({"--out", missing, "--truth", path("r.json"), "--seconds", "4"}), 1);
    EXPECT_EQ(err_.str(),
              "mapari-synth: cannot write " + missing + ": No such file or directory\n");
    EXPECT_TRUE(files().empty());

    // The recording is complete before the truth fails; it is removed too.
    const std::string missing_truth = path("missing/r.json");
    EXPECT_EQ(run({"--out", path("r.dat"), "--truth", missing_truth, "--seconds", "4"}), 1);
    EXPECT_EQ(err_.str(),
              "mapari-synth: cannot write " + missing_truth + ": No such file or directory\n");
    EXPECT_TRUE(files().empty());
}

}  // namespace
}  // namespace mapari::tools_tests
