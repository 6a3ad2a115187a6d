// Helpers of the batch tests: synthetic recordings written to files, and the
// command run on a command line with what it wrote kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/command_run.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::batch_tests {

// The recording of a synthetic model written to the file.
void write_model(const std::filesystem::path& file, const synth::SynthModel& model);
// A synthetic recording of 4 s (or 32) written to the file; its model.
synth::SynthModel write_synthetic(const std::filesystem::path& file, std::uint32_t seed,
                                  double noise, double rate_bpm, int seconds = 4);

using test_support::CommandRun;

// mapari-batch run on the arguments, without progress lines.
CommandRun run_batch(const std::vector<std::string>& arguments);

// Replays the session.script of `batch` (where `recording` was analysed) on a
// copy of the recording in the empty folder `replay`: the transcript and the
// result files must be those of the batch, byte for byte.
void expect_the_script_replays(const std::filesystem::path& recording,
                               const std::filesystem::path& batch,
                               const std::filesystem::path& replay);

}  // namespace mapari::batch_tests
