#include "app/synth_command.hpp"

#include <optional>
#include <string_view>

#include "app/command_options.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::synth {

const char* const usage_text =
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

namespace {

struct SynthOptions {
    SynthSettings settings;
    std::string out_path;
    std::string truth_path;  // empty: no truth file
};

bool read_seconds(const std::string& text, SynthSettings& settings) {
    const std::optional<std::int64_t> seconds = whole_number(text, 4, 32);
    if (!seconds || (*seconds != 4 && *seconds != 32)) return false;
    settings.seconds = static_cast<int>(*seconds);
    return true;
}

CommandLineReading parse_command(const std::vector<std::string>& arguments, SynthOptions& options) {
    SynthSettings& settings = options.settings;
    const CommandOptions table = {
        text_option("--out", options.out_path),
        text_option("--truth", options.truth_path),
        whole_number_option("--seed", settings.seed, 0, 4294967295u),
        {"--seconds", true,
         [&settings](const std::string& text) { return read_seconds(text, settings); }, "4 or 32"},
        real_number_option("--noise", settings.noise_rms, 0.0, max_noise_rms),
        real_number_option("--rate", settings.rate_bpm, min_rate_bpm, max_rate_bpm),
    };
    CommandLineReading reading = read_command_line(arguments, table);
    if (!reading.goes_on()) return reading;
    if (options.out_path.empty())
        reading.error = "--out FILE.dat is required";
    else if (options.out_path == options.truth_path)
        reading.error = "--out and --truth name the same file";
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
    const SynthModel model = make_model(options.settings);
    std::vector<FileContent> files{{options.out_path, encode_frames(render_samples(model))}};
    if (!options.truth_path.empty()) files.push_back({options.truth_path, truth_json(model)});
    return write_outputs(files, err);
}

}  // namespace mapari::synth
