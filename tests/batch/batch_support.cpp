#include "batch_support.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/batch_command.hpp"
#include "app/session.hpp"
#include "formats/map_recording.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {

synth::SynthModel write_synthetic(const std::filesystem::path& file, std::uint32_t seed,
                                  double noise, double rate_bpm, int seconds) {
    synth::SynthSettings settings;
    settings.seed = seed;
    settings.seconds = seconds;
    settings.noise_rms = noise;
    settings.rate_bpm = rate_bpm;
    synth::SynthModel model = synth::make_model(settings);
    write_model(file, model);
    return model;
}

void write_model(const std::filesystem::path& file, const synth::SynthModel& model) {
    test_support::write_bytes(file, encode_frames(synth::render_samples(model)));
}

CommandRun run_batch(const std::vector<std::string>& arguments) {
    return test_support::run_command([&arguments](std::ostream& out, std::ostream& errors) {
        return run_batch_command(arguments, out, errors, false);
    });
}

void expect_the_script_replays(const std::filesystem::path& recording,
                               const std::filesystem::path& batch,
                               const std::filesystem::path& replay) {
    using test_support::read_bytes;
    std::filesystem::copy_file(recording, replay / recording.filename());
    std::ifstream script(batch / "session.script");
    std::ostringstream transcript, errors;
    ASSERT_EQ(run_headless_session(script, transcript, errors,
                                   SessionFiles{replay.string(), replay.string(), "", {}}),
              0)
        << errors.str();
    EXPECT_EQ(transcript.str(), read_bytes(batch / "transcript.txt"));
    const std::string stem = recording.stem().string();
    for (const std::string& file :
         {stem + ".ds", stem + ".se", stem + ".ari", std::string("fort.12")})
        EXPECT_EQ(read_bytes(replay / file), read_bytes(batch / file)) << file;
}

}  // namespace mapari::batch_tests
