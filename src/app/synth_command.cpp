#include "app/synth_command.hpp"

#include <charconv>
#include <optional>
#include <string_view>

#include "formats/files.hpp"
#include "tools/synth_model.hpp"

namespace mapari::synth {

namespace {

constexpr std::string_view usage_text =
    "usage: mapari-synth --out FILE.dat [--truth FILE.json] [--seed N] [--seconds 4|32]\n"
    "                    [--noise UV] [--rate BPM] [--help] [--version]\n"
    "Writes a synthetic 64-lead map recording of a paced rhythm: 72 big-endian 16-bit\n"
    "channels a frame (channels 1-8 zero), 1000 frames a second, with known activation\n"
    "and recovery times for every lead.\n"
    "  --out FILE.dat     the recording to write\n"
    "  --truth FILE.json  also write the beats and each lead's times (ms after Q onset)\n"
    "  --seed N           0 to 4294967295: the activation map and the noise (default 1)\n"
    "  --seconds 4|32     length of the recording (default 32)\n"
    "  --noise UV         RMS of the Gaussian noise in raw units, 0 to 1000 (default 10)\n"
    "  --rate BPM         pacing rate, 70 to 120 beats a minute (default 75)\n";

struct CommandOptions {
    SynthSettings settings;
    std::string out_path;
    std::string truth_path;  // empty: no truth file
    bool help = false;
    bool version = false;
};

struct ParsedCommand {
    CommandOptions options;
    std::string error;  // empty when the command line is usable
};

template <typename Number>
std::optional<Number> parse_number(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    if (status != std::errc() || stop != end) return std::nullopt;
    return value;
}

// Sets the option name to text; returns an error message or "".
std::string apply_option(CommandOptions& options, std::string_view name, std::string_view text) {
    SynthSettings& settings = options.settings;
    if (name == "--out") {
        options.out_path = text;
    } else if (name == "--truth") {
        options.truth_path = text;
    } else if (name == "--seed") {
        const auto seed = parse_number<std::uint32_t>(text);
        if (!seed) return "--seed must be a whole number from 0 to 4294967295";
        settings.seed = *seed;
    } else if (name == "--seconds") {
        const auto seconds = parse_number<int>(text);
        if (!seconds || (*seconds != 4 && *seconds != 32)) return "--seconds must be 4 or 32";
        settings.seconds = *seconds;
    } else if (name == "--noise") {
        const auto noise = parse_number<double>(text);
        if (!noise || !(*noise >= 0.0 && *noise <= max_noise_rms))
            return "--noise must be a number from 0 to 1000";
        settings.noise_rms = *noise;
    } else if (name == "--rate") {
        const auto rate = parse_number<double>(text);
        if (!rate || !(*rate >= min_rate_bpm && *rate <= max_rate_bpm))
            return "--rate must be a number from 70 to 120";
        settings.rate_bpm = *rate;
    } else {
        return "unknown option '" + std::string(name) + "'";
    }
    return {};
}

ParsedCommand parse_command(const std::vector<std::string>& arguments) {
    ParsedCommand parsed;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "--version") {
            (name == "--help" ? parsed.options.help : parsed.options.version) = true;
            return parsed;
        }
        if (!name.starts_with("--")) {
            parsed.error = "unexpected argument '" + name + "'";
            return parsed;
        }
        if (i + 1 == arguments.size()) {
            parsed.error = name + " needs a value";
            return parsed;
        }
        parsed.error = apply_option(parsed.options, name, arguments[++i]);
        if (!parsed.error.empty()) return parsed;
    }
    if (parsed.options.out_path.empty()) {
        parsed.error = "--out FILE.dat is required";
    } else if (parsed.options.out_path == parsed.options.truth_path) {
        parsed.error = "--out and --truth name the same file";
    }
    return parsed;
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
    const ParsedCommand parsed = parse_command(arguments);
    if (parsed.options.help) {
        out << usage_text;
        return exit_normal;
    }
    if (parsed.options.version) {
        out << "mapari-synth " << MAPARI_VERSION << '\n';
        return exit_normal;
    }
    if (!parsed.error.empty()) {
        err << "mapari-synth: " << parsed.error << " (see --help)\n";
        return exit_usage;
    }
    const SynthModel model = make_model(parsed.options.settings);
    std::vector<FileContent> files{
        {parsed.options.out_path, encode_recording(render_samples(model))}};
    if (!parsed.options.truth_path.empty())
        files.push_back({parsed.options.truth_path, truth_json(model)});
    return write_outputs(files, err);
}

}  // namespace mapari::synth
