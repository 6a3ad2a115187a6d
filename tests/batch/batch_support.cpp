#include "batch_support.hpp"

#include <sstream>

#include "app/batch_command.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {

synth::SynthModel write_synthetic(const std::filesystem::path& file, std::uint32_t seed,
                                  double noise, double rate_bpm) {
    synth::SynthSettings settings;
    settings.seed = seed;
    settings.seconds = 4;
    settings.noise_rms = noise;
    settings.rate_bpm = rate_bpm;
    synth::SynthModel model = synth::make_model(settings);
    test_support::write_bytes(file, synth::encode_recording(synth::render_samples(model)));
    return model;
}

CommandRun run_batch(const std::vector<std::string>& arguments) {
    std::ostringstream out, errors;
    CommandRun run;
    run.exit_code = run_batch_command(arguments, out, errors, false);
    run.out = out.str();
    run.errors = errors.str();
    return run;
}

}  // namespace mapari::batch_tests
