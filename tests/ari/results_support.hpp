// Helpers for the tests of the correction menu, the baseline correction and
// the result files: a store with a selected working beat over a headless
// runtime fed from a script, the click geometry worked out independently in
// 32-bit floats, and snapshots of the trace window at each wait.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "store/store.hpp"
#include "support/temporary_folder.hpp"
#include "window/headless_runtime.hpp"
#include "window/window_model.hpp"

namespace mapari::ari_tests {

using Lines = std::vector<std::string>;

inline constexpr const char* menu_text = "保存処理(d), 区分点(s),一点補正(z),二点補正(t),戻る(x)";
inline const std::string menu_line = std::string("Unit 12| ") + menu_text;
inline constexpr std::uint32_t blue = rgb(0, 0, 240);
inline constexpr std::uint32_t cyan = rgb(0, 255, 255);

// An integer right-aligned in 12 characters.
std::string int12(int value);
// The working-beat row under a clicked column: (c · 0.001 − 0.0) / ((0.6 − 0.0) / 1000), all in
// 32-bit floats, cut toward zero.
int row_of_column(int column);
// The first column whose row is `row`; -1 when no column gives it.
int column_for_row(int row);
// Window fraction to pixel, exactly in double precision, cut toward zero.
int pixel_x(float fraction);
int pixel_y(float fraction);

// A value for every row and lead, a multiple of 1/8 below 126 in magnitude,
// so that sums and differences of two of them are exact in 32 bits.
float pattern_value(int row, int lead);

// What the trace window held at one wait.
struct TraceWait {
    std::string prompt;
    std::size_t cyan_lines = 0;
    std::size_t blue_lines = 0;
};

// Names of the entries of a folder, sorted; a folder's name ends with '/'.
Lines listing(const std::filesystem::path& folder);
using test_support::read_bytes;
using test_support::write_bytes;
bool contains(const std::string& text, const std::string& part);

// A fresh store with display leads 13, 23, 37, its data folder in a temporary
// directory, a recording in the channel store, and after start() the beat at
// 1000 selected and shown; the working beat is then set to pattern_value on all
// 1024 rows.
class WorkingBeatTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // A new runtime on the script, the display prepared and the beat selected.
    void start(const std::string& script);
    // Runs the correction menu until it leaves for the display point; returns
    // how many times the menu was shown.
    int run_menu();
    // Transcript lines since the selection.
    Lines transcript() const;
    const WindowModel& windows() const { return runtime_->windows(); }
    void set_marks(int stimulus, int q_onset, int j_point, int t_end);
    // The host folder that stands for the program's data directory.
    void set_data_directory(const std::filesystem::path& folder);
    // Expects the trace window to hold the freshly drawn working beat only:
    // three blue 1000-point polylines of the display leads and no marker.
    void expect_redrawn_beat(const WindowContent& trace) const;

    test_support::TemporaryFolder folder_;
    std::filesystem::path root_, data_;
    std::unique_ptr<Store> store_;
    std::vector<TraceWait> waits_;

  private:
    std::istringstream script_;
    std::ostringstream transcript_;
    std::unique_ptr<HeadlessRuntime> runtime_;
    std::size_t selection_lines_ = 0;
};

}  // namespace mapari::ari_tests
