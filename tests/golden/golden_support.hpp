// Helpers for the end-to-end runs: recordings read straight from their bytes,
// the click geometry, beat finding and correlation written again here from
// their definitions, whole sessions in a scratch folder of their own, and the
// result files read back.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/store.hpp"
#include "support/stretch.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::golden_tests {

using Lines = std::vector<std::string>;

inline constexpr int stretch_samples = 4000;
inline constexpr int map_leads = 64;
inline constexpr int beat_row = 201;  // row of the working beat that holds the beat position
inline constexpr int working_rows = 1000;
using test_support::default_leads;

// ---- real recordings ----

std::filesystem::path real_data_dir();
// The real recording, or nothing when the shared data folder or the file is absent.
std::optional<std::filesystem::path> real_recording(const std::string& file_name);

// A whole recording file held in memory; frames count from 1.
class RecordingFile {
  public:
    explicit RecordingFile(const std::filesystem::path& file);
    explicit RecordingFile(std::vector<std::int16_t> samples);
    int frames() const { return frames_; }
    int lead(int lead_number, int frame) const;

  private:
    int frames_ = 0;
    std::vector<std::int16_t> samples_;
};

// The 4000 samples a display second shows: sample i is frame 1000 s + i.
class Stretch {
  public:
    Stretch(const RecordingFile& file, int second) : file_(&file), first_frame_(1000 * second) {}
    int operator()(int lead_number, int sample) const {
        return file_->lead(lead_number, first_frame_ + sample);
    }

  private:
    const RecordingFile* file_;
    int first_frame_;
};

using test_support::beat_list;
using test_support::read_stretch;

// ---- geometry of clicks ----

// The recording sample under a clicked column: trunc(c · 0.001f / (0.6f / 4000)).
int sample_of_column(int column);
// The working-beat row under a clicked column: trunc(c · 0.001f / (0.6f / 1000)).
int row_of_column(int column);
// The column (0 to 999) whose sample, or row, lies nearest the one wanted; the
// smaller column on a tie.
int column_nearest_sample(int sample);
int column_nearest_row(int row);

// ---- beat finding and correlation, from their definitions ----

// Beat positions in the order found on the magnitude of the three leads,
// searching samples 100 to last_candidate; the last one recorded is the
// position of the pass that missed the threshold.
std::vector<int> find_beats(const Stretch& stretch, const std::array<int, 3>& leads,
                            int last_candidate);
// Pearson correlation of two equally long sequences, in double.
double pearson(const std::vector<double>& a, const std::vector<double>& b);
// Spearman rank correlation (ties take the mean rank).
double spearman(const std::vector<double>& a, const std::vector<double>& b);
// Samples centre − 25 .. centre + 25 of a lead.
std::vector<double> segment51(const Stretch& stretch, int lead_number, int centre);

// Alignment of one beat to a template as the averaging does it: the shift
// from −10 to 10 of the largest correlation (the smallest shift on ties).
struct Alignment {
    int shift = 0;
    double coefficient = 0.0;
};
Alignment align(const Stretch& stretch, int lead_number, const std::vector<double>& templ,
                int position);

// ---- sessions ----

// A temporary folder holding data/ and work/ for one session.
class ScratchFolder {
  public:
    const std::filesystem::path& data() const { return data_; }
    const std::filesystem::path& work() const { return work_; }

  private:
    test_support::TemporaryFolder root_;
    std::filesystem::path data_ = root_.folder("data"), work_ = root_.folder("work");
};

// Puts the real recording into the scratch data folder under its own name (a
// link where the file system allows one, else a copy).
void place_recording(const std::filesystem::path& source, const std::filesystem::path& data);

struct SessionRun {
    int exit_code = -1;
    Lines transcript;
    std::string errors;
};

SessionRun run_session(const std::string& script, const ScratchFolder& folder);

// Default settings with the ARI file made, then the name parts and the second.
std::string session_start(const std::string& common, const std::string& variable, int second);

// The integer that follows the last line starting with `label`, if any.
std::optional<int> value_after(const Lines& transcript, const std::string& label);
// The transcript as one text, for failure messages.
std::string joined(const Lines& transcript);

inline constexpr const char* selected_label = "選択した点（msec）";
inline constexpr const char* averaging_label = "number of averaging:";

// ---- result files ----

struct AriFile {
    int p = 0, j = 0, e = 0, h = 0;
    std::vector<double> at, rt;  // 64 each
};
// Reads an .ari file: P, J, E, h, 64 AT, 64 RT as numbers separated by blanks
// or line ends. Fails the test when the file does not hold exactly that.
std::optional<AriFile> read_ari(const std::filesystem::path& file);
// All numbers of a free-form text file.
std::vector<double> read_numbers(const std::filesystem::path& file);

}  // namespace mapari::golden_tests
