// Helpers of the batch tests: synthetic recordings written to files, and the
// command run on a command line with what it wrote kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/command_run.hpp"
#include "support/study_fixture.hpp"
#include "support/temporary_folder.hpp"
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

using test_support::differences;
using test_support::snapshot;

// The names of the folder's entries, sorted.
std::vector<std::string> entries(const std::filesystem::path& folder);

// Synthetic recordings NAME.dat in the folder, seeds 1, 2, ...
std::vector<std::string> recordings(const test_support::TemporaryFolder& folder,
                                    const std::vector<std::string>& names);

// The recordings' arguments into the study `out`, one job at a time, with `more` after.
std::vector<std::string> into(std::vector<std::string> arguments, const std::filesystem::path& out,
                              std::initializer_list<std::string> more = {});

// mapari-batch in a child process whose files may not grow past `limit` bytes;
// its exit code and what it wrote to its errors.
std::pair<int, std::string> batch_with_file_limit(const std::vector<std::string>& arguments,
                                                  unsigned long limit);

// Replays the session.script of `batch` (where `recording` was analysed) on a
// copy of the recording in the empty folder `replay`: the transcript and the
// result files must be those of the batch, byte for byte.
void expect_the_script_replays(const std::filesystem::path& recording,
                               const std::filesystem::path& batch,
                               const std::filesystem::path& replay);

}  // namespace mapari::batch_tests
