#include "batch_support.hpp"

#include "app/batch_command.hpp"
#include "formats/map_recording.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {

synth::SynthModel write_synthetic(const std::filesystem::path& file, std::uint32_t seed,
                                  double noise, double rate_bpm) {
    synth::SynthSettings settings;
    settings.seed = seed;
    settings.seconds = 4;
    settings.noise_rms = noise;
    settings.rate_bpm = rate_bpm;
    const synth::SynthModel model = synth::make_model(settings);
    test_support::write_bytes(file, encode_frames(synth::render_samples(model)));
    return model;
}

CommandRun run_batch(const std::vector<std::string>& arguments) {
    return test_support::run_command([&arguments](std::ostream& out, std::ostream& errors) {
        return run_batch_command(arguments, out, errors, false);
    });
}

}  // namespace mapari::batch_tests
