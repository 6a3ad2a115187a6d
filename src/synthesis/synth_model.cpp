#include "synthesis/synth_model.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <random>
#include <utility>

namespace mapari::synth {

namespace {

using Leads = std::array<LeadShape, lead_count>;

// Beat timing, milliseconds.
constexpr int first_stimulus_frame = 294;  // puts the first Q onset at frame 300
constexpr int stimulus_to_q_ms = 6;
constexpr int min_activation_ms = 25;
constexpr int activation_span_ms = 35;  // activation 25 to 60 ms after Q onset
constexpr int min_recovery_ms = 215;
constexpr double recovery_per_activation = 0.7;  // later activation, later recovery
constexpr double recovery_gradient_ms = 80.0;    // recovery 215 to 320 ms after Q onset

// Edges of the QRS: centre relative to the activation time, and width (sigma).
constexpr double r_upstroke_lead_ms = 12.0;
constexpr double r_upstroke_width_ms = 4.0;
constexpr double downstroke_width_ms = 3.0;
constexpr double s_return_delay_ms = 20.0;
constexpr double s_return_width_ms = 5.0;
// Edges of the T wave: the downstroke follows the upstroke (at the recovery time).
constexpr double t_upstroke_width_ms = 12.0;
constexpr double t_downstroke_delay_ms = 80.0;
constexpr double t_downstroke_width_ms = 18.0;
constexpr double edge_end_widths = 3.0;      // an edge has ended three widths past its centre
constexpr double edge_vanish_widths = 10.0;  // beyond ten widths an edge is 1 to double precision

// Amplitudes, raw units.
constexpr double min_downstroke = 900.0;  // r + s far from the amplitude maximum
constexpr double downstroke_bump = 1100.0;
constexpr double downstroke_bump_width = 3.0;  // grid steps
constexpr double min_r_fraction = 0.15;        // nearly QS at the pacing site
constexpr double r_fraction_span = 0.7;
constexpr double min_t_amplitude = 250.0;
constexpr double t_amplitude_span = 300.0;
constexpr double max_stimulus = 160.0;
constexpr double stimulus_fall_with_distance = 60.0;
// Beats are found on the squares of the raw leads, so the wander changes how
// steeply each beat falls; at twice this some beats fall short of the finder's
// threshold.
constexpr double wander_amplitude = 25.0;
constexpr double wander_hz = 0.3;

// Maps are drawn again until the display leads give a clear beat; about two
// draws in three are clear, so the limit is never reached in practice.
constexpr double clear_beat_ratio = 0.5;
constexpr int max_map_draws = 100;

// Which stream of a seed's generators draws what; the map has the seed alone.
constexpr std::uint32_t noise_stream = 1;
constexpr std::uint32_t cycle_stream = 2;
constexpr std::uint32_t bad_noise_stream = 3;

struct BadLeadKindName {
    BadLeadKind kind;
    const char* name;
};
constexpr std::array<BadLeadKindName, 4> bad_lead_kind_names{{
    {BadLeadKind::zero, "zero"},
    {BadLeadKind::noise, "noise"},
    {BadLeadKind::steps, "steps"},
    {BadLeadKind::flip, "flip"},
}};

// The generator of one stream of a seed.
std::mt19937 stream_generator(std::uint32_t seed, std::uint32_t stream) {
    std::seed_seq seeds{seed, stream};
    return std::mt19937(seeds);
}

// The seed the noise is drawn from.
std::uint32_t noise_seed(const SynthSettings& settings) {
    return settings.noise_seed.value_or(settings.seed);
}

// A uniform value in (0, 1) from one 32-bit draw.
double unit_interval(std::mt19937& generator) {
    return (static_cast<double>(generator()) + 0.5) / 4294967296.0;
}

// Standard normal value as the sum of twelve uniform draws less six. The sum is
// formed in integers, so it is the same on every machine; the tails end at
// six standard deviations, which is of no matter for recording noise.
double standard_normal(std::mt19937& generator) {
    constexpr std::uint64_t draws = 12;
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < draws; ++i) sum += generator();
    const double centre = 6.0 * 4294967295.0;
    return (static_cast<double>(sum) - centre) / 4294967296.0;
}

// Rising edge from 0 to 1 centred at centre_ms: the integral of a Gaussian.
double edge(double ms, double centre_ms, double width_ms) {
    return 0.5 * std::erfc(-(ms - centre_ms) / (width_ms * std::numbers::sqrt2));
}

int grid_row(int lead) {
    return (lead - 1) / grid_columns;
}
int grid_column(int lead) {
    return (lead - 1) % grid_columns;
}

// Map parameters drawn from the seed: where pacing starts, the direction of
// the recovery gradient and where the QRS is largest.
struct MapDraw {
    double pacing_row = 0.0;
    double pacing_column = 0.0;
    double gradient_angle_rad = 0.0;
    double bump_row = 0.0;
    double bump_column = 0.0;
    double wander_phase_rad = 0.0;
};

MapDraw draw_map(std::mt19937& generator) {
    const double last_index = grid_columns - 1;
    MapDraw draw;
    draw.pacing_row = last_index * unit_interval(generator);
    draw.pacing_column = last_index * unit_interval(generator);
    draw.gradient_angle_rad = 2.0 * std::numbers::pi * unit_interval(generator);
    draw.bump_row = last_index * unit_interval(generator);
    draw.bump_column = last_index * unit_interval(generator);
    draw.wander_phase_rad = 2.0 * std::numbers::pi * unit_interval(generator);
    return draw;
}

Leads make_leads(const MapDraw& draw) {
    std::array<double, lead_count> distance{};
    std::array<double, lead_count> projection{};
    for (int lead = 1; lead <= lead_count; ++lead) {
        const double row = grid_row(lead);
        const double column = grid_column(lead);
        distance[lead_slot(lead)] = std::hypot(row - draw.pacing_row, column - draw.pacing_column);
        projection[lead_slot(lead)] =
            column * std::cos(draw.gradient_angle_rad) + row * std::sin(draw.gradient_angle_rad);
    }
    const double max_distance = *std::max_element(distance.begin(), distance.end());
    const auto [min_projection, max_projection] =
        std::minmax_element(projection.begin(), projection.end());
    const double projection_span = *max_projection - *min_projection;

    Leads leads{};
    for (int lead = 1; lead <= lead_count; ++lead) {
        const double spread = distance[lead_slot(lead)] / max_distance;  // 0 at the pacing site
        const double gradient = (projection[lead_slot(lead)] - *min_projection) / projection_span;
        const double bump_distance =
            std::hypot(grid_row(lead) - draw.bump_row, grid_column(lead) - draw.bump_column);
        const double downstroke =
            min_downstroke +
            downstroke_bump * std::exp(-bump_distance * bump_distance /
                                       (2.0 * downstroke_bump_width * downstroke_bump_width));
        const double r_fraction = min_r_fraction + r_fraction_span * spread;

        LeadShape& shape = leads[lead_slot(lead)];
        shape.activation_ms =
            min_activation_ms + static_cast<int>(std::lround(activation_span_ms * spread));
        shape.recovery_ms =
            min_recovery_ms +
            static_cast<int>(
                std::lround(recovery_per_activation * (shape.activation_ms - min_activation_ms) +
                            recovery_gradient_ms * gradient));
        shape.r_amplitude = r_fraction * downstroke;
        shape.s_amplitude = downstroke - shape.r_amplitude;
        shape.t_amplitude = min_t_amplitude + t_amplitude_span * (1.0 - gradient);
        shape.stimulus_amplitude = max_stimulus - stimulus_fall_with_distance * spread;
        shape.wander_amplitude =
            wander_amplitude * (0.7 + 0.6 * grid_column(lead) / (grid_columns - 1.0));
    }
    return leads;
}

int latest_activation_ms(const Leads& leads) {
    int latest = 0;
    for (const LeadShape& lead : leads) latest = std::max(latest, lead.activation_ms);
    return latest;
}

int latest_recovery_ms(const Leads& leads) {
    int latest = 0;
    for (const LeadShape& lead : leads) latest = std::max(latest, lead.recovery_ms);
    return latest;
}

int j_point_ms(const Leads& leads) {
    return latest_activation_ms(leads) +
           static_cast<int>(s_return_delay_ms + edge_end_widths * s_return_width_ms);
}

int t_end_ms(const Leads& leads) {
    return latest_recovery_ms(leads) +
           static_cast<int>(t_downstroke_delay_ms + edge_end_widths * t_downstroke_width_ms);
}

// The stimulus artifact: one sample up and one half as far down.
double stimulus_value(const LeadShape& lead, int ms_from_q) {
    if (ms_from_q == -stimulus_to_q_ms) return lead.stimulus_amplitude;
    if (ms_from_q == 1 - stimulus_to_q_ms) return -0.5 * lead.stimulus_amplitude;
    return 0.0;
}

// Five-point slope of the noiseless magnitude of the default display leads
// (sum of squares) over one beat: element i is the slope i - 6 ms after the
// Q onset, from the stimulus to the T end. This is what beats are found by.
std::vector<double> magnitude_slope(const Leads& leads) {
    auto magnitude = [&leads](int ms) {
        double sum = 0.0;
        for (int lead : default_display_leads) {
            const LeadShape& shape = leads[lead_slot(lead)];
            const double value = beat_value(shape, ms) + stimulus_value(shape, ms);
            sum += value * value;
        }
        return sum;
    };
    std::vector<double> slope;
    for (int k = -stimulus_to_q_ms; k <= t_end_ms(leads); ++k) {
        slope.push_back(2.0 * magnitude(k + 1) + magnitude(k + 2) - 2.0 * magnitude(k - 1) -
                        magnitude(k - 2));
    }
    return slope;
}

// Index of the most negative value, the earliest of equal ones.
std::size_t steepest_fall(const std::vector<double>& slope) {
    return static_cast<std::size_t>(std::min_element(slope.begin(), slope.end()) - slope.begin());
}

// A beat is clear when every other local minimum of the magnitude slope is
// less than half as steep as its steepest fall: noise then cannot move the
// found beat from one fall to another, and the beat finder's stop at 0.6 of
// the steepest fall leaves stimulus artifacts and T waves alone.
bool display_beat_is_clear(const Leads& leads) {
    const std::vector<double> slope = magnitude_slope(leads);
    const std::size_t steepest = steepest_fall(slope);
    for (std::size_t k = 1; k + 1 < slope.size(); ++k) {
        const bool local_minimum = slope[k] < slope[k - 1] && slope[k] <= slope[k + 1];
        if (local_minimum && k != steepest && slope[k] < clear_beat_ratio * slope[steepest])
            return false;
    }
    return true;
}

// The cycles of the recording: the pacing cycle, or with restitution each one
// changed by a whole number of ms drawn uniformly from -J to J by a generator
// of its own, so the map and the noise of a seed stay as they are.
class CycleDraw {
  public:
    explicit CycleDraw(const SynthModel& model)
        : cycle_ms_(model.cycle_ms),
          jitter_ms_(model.restitution ? model.restitution->rr_jitter_ms : 0),
          generator_(stream_generator(model.settings.seed, cycle_stream)) {}

    int next() {
        if (jitter_ms_ == 0) return cycle_ms_;
        const int choices = 2 * jitter_ms_ + 1;
        return cycle_ms_ - jitter_ms_ + static_cast<int>(unit_interval(generator_) * choices);
    }

  private:
    int cycle_ms_;
    int jitter_ms_;
    std::mt19937 generator_;
};

double recovery_shift_ms(const SynthModel& model, int rr_ms) {
    if (!model.restitution || rr_ms == 0) return 0.0;
    const double shift_ms = model.restitution->slope * (rr_ms - model.cycle_ms);
    return shift_ms == 0.0 ? 0.0 : shift_ms;  // a slope of 0 gives no "-0" in the truth
}

// Whole milliseconds by which a shift moves the end of a wave, rounded away
// from the wave so that the mark never falls inside it.
int whole_ms_later(double shift_ms) {
    return static_cast<int>(std::ceil(shift_ms));
}

std::vector<BeatMarks> place_beats(const SynthModel& model) {
    const int j_ms = j_point_ms(model.leads);
    const int t_ms = t_end_ms(model.leads);
    const int peak_ms =
        static_cast<int>(steepest_fall(magnitude_slope(model.leads))) - stimulus_to_q_ms;
    CycleDraw cycles(model);
    std::vector<BeatMarks> beats;
    int rr_ms = 0;
    for (int stimulus = first_stimulus_frame;; stimulus += rr_ms) {
        const double shift_ms = recovery_shift_ms(model, rr_ms);
        const int q_onset = stimulus + stimulus_to_q_ms;
        const int t_end = q_onset + t_ms + whole_ms_later(shift_ms);
        if (t_end > model.frames) break;
        beats.push_back(
            {stimulus, q_onset, q_onset + j_ms, t_end, q_onset + peak_ms, rr_ms, shift_ms});
        rr_ms = cycles.next();
    }
    return beats;
}

// One beat of one lead, stimulus artifact included, from the stimulus on:
// element i is the value i - 6 ms after the Q onset.
std::vector<double> beat_template(const SynthModel& model, const LeadShape& lead,
                                  double recovery_shift_ms) {
    const int last_ms =
        latest_recovery_ms(model.leads) + whole_ms_later(std::max(recovery_shift_ms, 0.0)) +
        static_cast<int>(t_downstroke_delay_ms + edge_vanish_widths * t_downstroke_width_ms);
    std::vector<double> values;
    for (int ms = -stimulus_to_q_ms; ms <= last_ms; ++ms)
        values.push_back(beat_value(lead, ms, recovery_shift_ms) + stimulus_value(lead, ms));
    return values;
}

// Adds every beat of one lead to its trace. Beats of one shift share their
// template: without restitution, all of them.
void add_beats(std::vector<double>& trace, const SynthModel& model, const LeadShape& shape) {
    std::vector<double> beat;
    std::optional<double> beat_shift_ms;
    for (const BeatMarks& marks : model.beats) {
        if (beat_shift_ms != marks.recovery_shift_ms) {
            beat_shift_ms = marks.recovery_shift_ms;
            beat = beat_template(model, shape, marks.recovery_shift_ms);
        }
        const auto first = static_cast<std::size_t>(marks.stimulus - 1);
        for (std::size_t k = 0; k < beat.size() && first + k < trace.size(); ++k) {
            trace[first + k] += beat[k];
        }
    }
}

std::int16_t to_sample(double value) {
    const double limited = std::clamp(std::round(value), -32768.0, 32767.0);
    return static_cast<std::int16_t>(limited);
}

// The offset of a steps lead at a frame counted from 0.
int step_offset_at(std::size_t frame_index) {
    return (frame_index / step_interval_frames) % 2 == 1 ? step_offset : 0;
}

// Spoils one lead of the finished samples by the kind of its fault; `noise`
// draws the added noise of noise leads.
void spoil_lead(std::vector<std::int16_t>& samples, const SynthModel& model, const BadLead& bad,
                std::mt19937& noise) {
    const double noise_rms =
        std::max(noisy_lead_noise_factor * model.settings.noise_rms, min_noisy_lead_noise_rms);
    const auto channel_index = static_cast<std::size_t>(channel_of_lead(bad.lead) - 1);
    for (std::size_t i = 0; i < static_cast<std::size_t>(model.frames); ++i) {
        std::int16_t& sample = samples[i * channel_count + channel_index];
        const double clean = sample;
        switch (bad.kind) {
            case BadLeadKind::zero:
                sample = 0;
                break;
            case BadLeadKind::noise:
                sample = to_sample(clean + noise_rms * standard_normal(noise));
                break;
            case BadLeadKind::steps:
                sample = to_sample(clean + step_offset_at(i));
                break;
            case BadLeadKind::flip:
                sample = to_sample(-clean);
                break;
        }
    }
}

void append_number(std::string& text, const char* key, long long value, bool last = false) {
    text += '"';
    text += key;
    text += "\":";
    text += std::to_string(value);
    if (!last) text += ',';
}

// A real number as the shortest text that reads back as the same double.
void append_real(std::string& text, const char* key, double value, bool last = false) {
    char digits[32];
    const auto [end, status] = std::to_chars(digits, digits + sizeof digits, value);
    text += '"';
    text += key;
    text += "\":";
    text.append(digits, end);
    if (!last) text += ',';
}

// What a beat adds to the truth with restitution: null RR for the first beat.
void append_restitution_of_beat(std::string& text, const BeatMarks& beat) {
    text += "\"rr_ms\":";
    text += beat.rr_ms == 0 ? std::string("null") : std::to_string(beat.rr_ms);
    text += ',';
    append_real(text, "recovery_shift_ms", beat.recovery_shift_ms, true);
}

// The bad leads in the truth, in lead order.
void append_bad_leads(std::string& text, const std::vector<BadLead>& bad_leads) {
    text += ",\n\"bad_leads\":[";
    for (std::size_t i = 0; i < bad_leads.size(); ++i) {
        text += i == 0 ? "{" : ",{";
        append_number(text, "lead", bad_leads[i].lead);
        text += "\"kind\":\"";
        text += bad_lead_kind_name(bad_leads[i].kind);
        text += "\"}";
    }
    text += ']';
}

}  // namespace

const char* bad_lead_kind_name(BadLeadKind kind) {
    for (const BadLeadKindName& entry : bad_lead_kind_names)
        if (entry.kind == kind) return entry.name;
    return "";
}

std::optional<BadLeadKind> bad_lead_kind_named(std::string_view name) {
    for (const BadLeadKindName& entry : bad_lead_kind_names)
        if (name == entry.name) return entry.kind;
    return std::nullopt;
}

double beat_value(const LeadShape& lead, double ms_from_q, double recovery_shift_ms) {
    const double t = ms_from_q;
    const double activation = lead.activation_ms;
    const double recovery = lead.recovery_ms + recovery_shift_ms;
    if (t < activation - r_upstroke_lead_ms - edge_vanish_widths * r_upstroke_width_ms) return 0.0;
    const double downstroke = lead.r_amplitude + lead.s_amplitude;
    const double qrs =
        lead.r_amplitude * edge(t, activation - r_upstroke_lead_ms, r_upstroke_width_ms) -
        downstroke * edge(t, activation, downstroke_width_ms) +
        lead.s_amplitude * edge(t, activation + s_return_delay_ms, s_return_width_ms);
    const double t_wave =
        lead.t_amplitude * (edge(t, recovery, t_upstroke_width_ms) -
                            edge(t, recovery + t_downstroke_delay_ms, t_downstroke_width_ms));
    return qrs + t_wave;
}

int cycle_ms_at(double rate_bpm) {
    return static_cast<int>(std::lround(60000.0 / rate_bpm));
}

int latest_t_end_after_stimulus_ms() {
    const int latest_recovery =
        min_recovery_ms + static_cast<int>(std::ceil(recovery_per_activation * activation_span_ms +
                                                     recovery_gradient_ms));
    return stimulus_to_q_ms + latest_recovery +
           static_cast<int>(t_downstroke_delay_ms + edge_end_widths * t_downstroke_width_ms);
}

SynthModel make_model(const SynthSettings& settings, const std::optional<Restitution>& restitution,
                      std::vector<BadLead> bad_leads) {
    SynthModel model;
    model.settings = settings;
    model.restitution = restitution;
    std::sort(bad_leads.begin(), bad_leads.end(),
              [](const BadLead& a, const BadLead& b) { return a.lead < b.lead; });
    model.bad_leads = std::move(bad_leads);
    model.frames = settings.seconds * frames_per_second;
    model.cycle_ms = cycle_ms_at(settings.rate_bpm);
    std::mt19937 generator(settings.seed);
    for (int draw_count = 1; draw_count <= max_map_draws; ++draw_count) {
        const MapDraw draw = draw_map(generator);
        model.wander_phase_rad = draw.wander_phase_rad;
        model.leads = make_leads(draw);
        if (display_beat_is_clear(model.leads)) break;
    }
    model.beats = place_beats(model);
    return model;
}

std::vector<std::int16_t> render_samples(const SynthModel& model) {
    const auto frames = static_cast<std::size_t>(model.frames);
    std::vector<std::int16_t> samples(frames * channel_count, 0);
    // The noise has a generator of its own, so the map of a seed does not
    // depend on how much noise is drawn.
    std::mt19937 noise = stream_generator(noise_seed(model.settings), noise_stream);
    const double wander_rad_per_frame = 2.0 * std::numbers::pi * wander_hz / frames_per_second;
    std::vector<double> trace(frames);
    for (int lead = 1; lead <= lead_count; ++lead) {
        const LeadShape& shape = model.shape_of(lead);
        for (std::size_t i = 0; i < frames; ++i) {
            trace[i] =
                shape.wander_amplitude *
                std::sin(wander_rad_per_frame * static_cast<double>(i) + model.wander_phase_rad);
        }
        add_beats(trace, model, shape);
        const auto channel_index = static_cast<std::size_t>(channel_of_lead(lead) - 1);
        for (std::size_t i = 0; i < frames; ++i) {
            double value = trace[i];
            if (model.settings.noise_rms > 0.0)
                value += model.settings.noise_rms * standard_normal(noise);
            samples[i * channel_count + channel_index] = to_sample(value);
        }
    }
    // Spoiled after every lead is drawn, from a generator of their own, so
    // that the other leads stay as they are without bad leads.
    std::mt19937 bad_noise = stream_generator(noise_seed(model.settings), bad_noise_stream);
    for (const BadLead& bad : model.bad_leads) spoil_lead(samples, model, bad, bad_noise);
    return samples;
}

std::string truth_json(const SynthModel& model) {
    std::string text = "{";
    append_number(text, "seed", model.settings.seed);
    if (model.settings.noise_seed) append_number(text, "noise_seed", *model.settings.noise_seed);
    append_number(text, "seconds", model.settings.seconds);
    append_number(text, "frames", model.frames);
    append_number(text, "cycle_ms", model.cycle_ms);
    if (const std::optional<Restitution>& restitution = model.restitution) {
        append_real(text, "restitution_slope", restitution->slope);
        append_number(text, "rr_jitter_ms", restitution->rr_jitter_ms);
    }
    text += "\n\"beats\":[";
    for (std::size_t i = 0; i < model.beats.size(); ++i) {
        const BeatMarks& beat = model.beats[i];
        text += i == 0 ? "\n{" : ",\n{";
        append_number(text, "stimulus", beat.stimulus);
        append_number(text, "q_onset", beat.q_onset);
        append_number(text, "j_point", beat.j_point);
        append_number(text, "t_end", beat.t_end);
        append_number(text, "qrs_peak", beat.qrs_peak, !model.restitution);
        if (model.restitution) append_restitution_of_beat(text, beat);
        text += '}';
    }
    text += "\n],\n\"leads\":[";
    for (int lead = 1; lead <= lead_count; ++lead) {
        const LeadShape& shape = model.shape_of(lead);
        text += lead == 1 ? "\n{" : ",\n{";
        append_number(text, "lead", lead);
        append_number(text, "activation_ms", shape.activation_ms);
        append_number(text, "recovery_ms", shape.recovery_ms, true);
        text += '}';
    }
    text += "\n]";
    if (!model.bad_leads.empty()) append_bad_leads(text, model.bad_leads);
    text += "}\n";
    return text;
}

}  // namespace mapari::synth
