// Helpers for the end-to-end sessions: recordings written in the file format,
// and a whole program run from a script in a temporary directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "temporary_folder.hpp"
#include "window/window_model.hpp"

namespace mapari::test_support {

using Lines = std::vector<std::string>;

// A recording held in memory as it will stand in its file: frames of every
// channel, channel 1 first (formats/map_recording.hpp).
class SyntheticRecording {
  public:
    explicit SyntheticRecording(int frames);

    int frames() const { return frames_; }
    // Frame t counts from 1 (the first millisecond of the file).
    std::int16_t& lead(int lead_number, int frame);
    std::int16_t lead(int lead_number, int frame) const;

    // A triangular spike of the given peak, 21 frames wide, centred on the frame.
    void add_spike(int lead_number, int centre_frame, int peak);
    // Spikes every `period` frames from `first_frame` on, on each of the leads.
    void add_spike_train(const std::vector<int>& leads, int first_frame, int period, int peak);

    // The largest |sample| of the lead over samples 100 to 1000 of the
    // 4000-frame stretch that starts after `second` seconds.
    float potmax(int lead_number, int second) const;

    // Writes the frames big-endian; `extra_bytes` zero bytes follow them.
    void write(const std::filesystem::path& file, int extra_bytes = 0) const;

  private:
    int frames_;
    std::vector<std::int16_t> samples_;
};

// The largest |sample| of a lead over samples 100 to 1000 of a stretch of a
// recording file, read straight from its bytes.
float potmax_in_file(const std::filesystem::path& file, int lead_number, int second);

struct SessionResult {
    int exit_code = -1;
    Lines transcript;
    std::string errors;
};

// The blank-padded 30-character recording path as the program writes it.
std::string padded_path(const std::string& path);

// The first lines of a vector, for sessions checked only up to some point.
Lines first_lines(const Lines& lines, std::size_t count);
// Appends the blocks in order.
Lines concat(std::initializer_list<Lines> blocks);

// The session's data folder differs from run to run: the lines show it as "<data>".
void show_data_folder(Lines& lines, const std::filesystem::path& data_folder);
// A program path ("d:\\data\\map\\name") as the program's own messages name
// it in a transcript of SessionTest: followed by the file of the session's data
// folder it stands for, the folder shown as "<data>".
std::string named(const std::string& program_path);

// Each test gets its own data directory and working directory (for fort.12).
class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override;

    using TraceWait = std::function<void(const WindowModel&)>;

    // Runs the program on the script lines (joined with '\n'); on_trace_wait
    // sees the windows each time the program waits in the trace window. The
    // transcript shows the session's data folder as "<data>".
    SessionResult run(const Lines& script, const std::string& record_path = "",
                      TraceWait on_trace_wait = {});
    SessionResult run_script_text(const std::string& script, const std::string& record_path = "",
                                  TraceWait on_trace_wait = {});

    std::filesystem::path data_file(const std::string& name) const { return data_dir_ / name; }
    std::filesystem::path fort12_path() const { return work_dir_ / "fort.12"; }
    std::filesystem::path scratch_file(const std::string& name) const { return root_ / name; }
    // The whole default file of the trace channel, or "<missing>" when absent.
    std::string fort12() const;

    TemporaryFolder folder_;
    std::filesystem::path root_, data_dir_, work_dir_;
    // The folder that stands for the program's data directory (data_dir_ by default).
    std::filesystem::path session_data_dir_;
};

}  // namespace mapari::test_support
