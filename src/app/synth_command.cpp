#include "app/synth_command.hpp"

#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "app/command_options.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::synth {

const char* const usage_text =
    "usage: mapari-synth --out FILE.dat [--truth FILE.json] [--seed N] [--noise-seed N]\n"
    "                    [--seconds 4|32] [--noise UV] [--rate BPM] [--restitution-slope S]\n"
    "                    [--rr-jitter MS] [--bad-leads KIND:LEAD,...] [--help] [--version]\n"
    "Writes a synthetic 64-lead map recording of a paced rhythm: 72 big-endian 16-bit\n"
    "channels a frame (channels 1-8 zero), 1000 frames a second, with known activation\n"
    "and recovery times for every lead.\n"
    "  --out FILE.dat     the recording to write\n"
    "  --truth FILE.json  also write the beats and each lead's times (ms after Q onset)\n"
    "  --seed N           0 to 4294967295: the activation map and the noise (default 1)\n"
    "  --noise-seed N     0 to 4294967295: the noise alone, the map and cycles staying\n"
    "                     the seed's: other noise on the same recording (default the seed)\n"
    "  --seconds 4|32     length of the recording (default 32)\n"
    "  --noise UV         RMS of the Gaussian noise in raw units, 0 to 1000 (default 10)\n"
    "  --rate BPM         pacing rate, 70 to 120 beats a minute (default 75)\n"
    "  --restitution-slope S  0 to 1: each beat's recovery times move by S times its\n"
    "                     preceding cycle less the pacing cycle (default 0)\n"
    "  --rr-jitter MS     0 to 100: each cycle differs from the pacing cycle by up to MS\n"
    "                     ms, drawn uniformly (default 0); either option adds each\n"
    "                     beat's RR and recovery shift to the truth\n"
    "  --bad-leads KIND:LEAD,...  spoil leads 1 to 64, each at most once, and name\n"
    "                     them in the truth: KIND zero (holds 0), noise (added noise\n"
    "                     of 20 x UV, at least 200), steps (offset by 3000 from 1.7 s\n"
    "                     to 3.4 s, 5.1 s to 6.8 s, ...) or flip (turned over)\n";

namespace {

struct SynthOptions {
    SynthSettings settings;
    std::string out_path;
    std::string truth_path;  // empty: no truth file
    std::optional<Restitution> restitution;
    std::vector<BadLead> bad_leads;  // empty: none
};

// The option, noting in `given` that the command line holds it.
CommandOption noting(CommandOption option, bool& given) {
    option.take = [take = std::move(option.take), &given](const std::string& value) {
        given = true;
        return take(value);
    };
    return option;
}

// Why the recording cannot have the restitution at the settings' rate, empty
// when it can: every recovery must stay in the analysis' search, every second
// must hold a QRS and every T wave must end before the next stimulus.
std::string restitution_refusal(const SynthSettings& settings, const Restitution& restitution) {
    const std::string jitter = std::to_string(restitution.rr_jitter_ms);
    const double largest_shift_ms = restitution.slope * restitution.rr_jitter_ms;
    const int cycle_ms = cycle_ms_at(settings.rate_bpm);
    const int longest_ms = cycle_ms + restitution.rr_jitter_ms;
    const int shortest_ms = cycle_ms - restitution.rr_jitter_ms;
    const int latest_t_end_ms =
        latest_t_end_after_stimulus_ms() + static_cast<int>(std::ceil(largest_shift_ms));
    const std::string at_rate = " at --rate " + number_text(settings.rate_bpm) + " makes cycles ";
    if (largest_shift_ms > max_recovery_shift_ms)
        return "--restitution-slope " + number_text(restitution.slope) + " with --rr-jitter " +
               jitter + " moves recovery times by up to " + number_text(largest_shift_ms) +
               " ms, more than " + number_text(max_recovery_shift_ms);
    if (longest_ms > cycle_ms_at(min_rate_bpm))
        return "--rr-jitter " + jitter + at_rate + "up to " + std::to_string(longest_ms) +
               " ms, longer than the " + std::to_string(cycle_ms_at(min_rate_bpm)) +
               " ms of --rate " + number_text(min_rate_bpm);
    if (latest_t_end_ms >= shortest_ms)
        return "--rr-jitter " + jitter + at_rate + "as short as " + std::to_string(shortest_ms) +
               " ms, and a T wave may end as late as " + std::to_string(latest_t_end_ms) +
               " ms after its stimulus";
    return {};
}

// One KIND:LEAD of --bad-leads; nothing when the item is not one.
std::optional<BadLead> bad_lead_item(std::string_view item) {
    const std::size_t colon = item.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::optional<BadLeadKind> kind = bad_lead_kind_named(item.substr(0, colon));
    const std::optional<std::int64_t> lead = whole_number(item.substr(colon + 1), 1, lead_count);
    if (!kind || !lead) return std::nullopt;
    return BadLead{static_cast<int>(*lead), *kind};
}

bool read_bad_leads(const std::string& text, std::vector<BadLead>& bad_leads) {
    std::vector<BadLead> read;
    std::size_t start = 0;
    for (std::size_t comma = 0; comma != std::string::npos; start = comma + 1) {
        comma = text.find(',', start);
        const std::optional<BadLead> item =
            bad_lead_item(std::string_view(text).substr(start, comma - start));
        if (!item) return false;
        read.push_back(*item);
    }
    bad_leads = std::move(read);
    return true;
}

// Why the bad leads cannot be taken, empty when they can: a lead named twice.
std::string bad_leads_refusal(const std::vector<BadLead>& bad_leads) {
    std::array<bool, lead_count> named{};
    for (const BadLead& bad : bad_leads) {
        if (named[lead_slot(bad.lead)])
            return "--bad-leads names lead " + std::to_string(bad.lead) + " twice";
        named[lead_slot(bad.lead)] = true;
    }
    return {};
}

bool read_seconds(const std::string& text, SynthSettings& settings) {
    const std::optional<std::int64_t> seconds = whole_number(text, 4, 32);
    if (!seconds || (*seconds != 4 && *seconds != 32)) return false;
    settings.seconds = static_cast<int>(*seconds);
    return true;
}

CommandLineReading parse_command(const std::vector<std::string>& arguments, SynthOptions& options) {
    SynthSettings& settings = options.settings;
    Restitution restitution;
    bool restitution_given = false;
    std::uint32_t noise_seed = 0;
    bool noise_seed_given = false;
    const CommandOptions table = {
        text_option("--out", options.out_path),
        text_option("--truth", options.truth_path),
        whole_number_option("--seed", settings.seed, 0, 4294967295u),
        noting(whole_number_option("--noise-seed", noise_seed, 0, 4294967295u), noise_seed_given),
        {"--seconds", true,
         [&settings](const std::string& text) { return read_seconds(text, settings); }, "4 or 32"},
        real_number_option("--noise", settings.noise_rms, 0.0, max_noise_rms),
        real_number_option("--rate", settings.rate_bpm, min_rate_bpm, max_rate_bpm),
        noting(real_number_option("--restitution-slope", restitution.slope, 0.0,
                                  max_restitution_slope),
               restitution_given),
        noting(whole_number_option("--rr-jitter", restitution.rr_jitter_ms, 0, max_rr_jitter_ms),
               restitution_given),
        {"--bad-leads", true,
         [&options](const std::string& text) { return read_bad_leads(text, options.bad_leads); },
         "KIND:LEAD,... with KIND zero, noise, steps or flip and LEAD 1 to 64"},
    };
    CommandLineReading reading = read_command_line(arguments, table);
    if (!reading.goes_on()) return reading;
    if (restitution_given) options.restitution = restitution;
    if (noise_seed_given) settings.noise_seed = noise_seed;
    if (options.out_path.empty())
        reading.error = "--out FILE.dat is required";
    else if (options.out_path == options.truth_path)
        reading.error = "--out and --truth name the same file";
    else if (options.restitution)
        reading.error = restitution_refusal(settings, *options.restitution);
    if (reading.error.empty()) reading.error = bad_leads_refusal(options.bad_leads);
    return reading;
}

// Writes every file, or none of them.
int write_outputs(const std::vector<FileContent>& files, std::ostream& err) {
    std::string failed_path, reason;
    if (write_files_atomically(files, failed_path, reason)) return exit_normal;
    err << "mapari-synth: cannot write " << failed_path << ": " << reason << '\n';
    return exit_failure;
}

}  // namespace

int run_command(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    SynthOptions options;
    const CommandLineReading reading = parse_command(arguments, options);
    if (const std::optional<int> exit_code =
            first_answer("mapari-synth", reading, usage_text, out, err))
        return *exit_code;
    const SynthModel model = make_model(options.settings, options.restitution, options.bad_leads);
    std::vector<FileContent> files{{options.out_path, encode_frames(render_samples(model))}};
    if (!options.truth_path.empty()) files.push_back({options.truth_path, truth_json(model)});
    return write_outputs(files, err);
}

}  // namespace mapari::synth
