#include "batch_support.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/batch_command.hpp"
#include "app/session.hpp"
#include "formats/map_recording.hpp"
#include "support/child_run.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {

namespace fs = std::filesystem;

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> recordings(const test_support::TemporaryFolder& folder,
                                    const std::vector<std::string>& names) {
    std::vector<std::string> files;
    std::uint32_t seed = 0;
    for (const std::string& name : names) {
        files.push_back(folder.file(name + ".dat"));
        write_synthetic(files.back(), ++seed, 10.0, 75.0);
    }
    return files;
}

std::vector<std::string> into(std::vector<std::string> arguments, const fs::path& out,
                              std::initializer_list<std::string> more) {
    arguments.insert(arguments.end(), {"--out", out.string(), "--jobs", "1"});
    arguments.insert(arguments.end(), more);
    return arguments;
}

std::pair<int, std::string> batch_with_file_limit(const std::vector<std::string>& arguments,
                                                  unsigned long limit) {
    const test_support::ChildRun run = test_support::run_in_child([&](std::string& said) {
        const rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
        std::ostringstream out, errors;
        const int code = run_batch_command(arguments, out, errors, false);
        said = errors.str();
        return code;
    });
    return {run.exit_code, run.said};
}

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
