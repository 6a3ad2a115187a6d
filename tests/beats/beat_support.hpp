// Helpers for the beat tests: a store with the default display leads, a
// headless runtime fed from a script text with its transcript kept, pixel
// arithmetic done independently of the drawing code, and recordings with
// beats planted at known positions.
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
#include "synthesis/synth_model.hpp"
#include "window/headless_runtime.hpp"
#include "window/window_model.hpp"

namespace mapari::beats_tests {

using test_support::read_bytes;
using test_support::TemporaryFolder;

using Lines = std::vector<std::string>;

inline constexpr int display_leads[display_lead_count] = {13, 23, 37};
inline constexpr std::uint32_t blue = rgb(0, 0, 240);
inline constexpr std::uint32_t cyan = rgb(0, 255, 255);

// A store on the heap (it is large) with display leads 13, 23, 37 as
// channels 21, 31, 45 and the recognition coefficient 0.99.
std::unique_ptr<Store> make_store();

// The recording of a synthetic model at display second 0: sample t is frame t.
void load_model(Store& store, const synth::SynthModel& model);

// A headless runtime answering from the script text; fort.12 goes to dir.
class ScriptedRuntime {
  public:
    ScriptedRuntime(const std::string& script, const std::filesystem::path& dir);
    HeadlessRuntime& operator*() { return runtime_; }
    HeadlessRuntime* operator->() { return &runtime_; }
    const WindowModel& windows() const { return runtime_.windows(); }
    Lines transcript() const;

  private:
    std::istringstream script_;
    std::ostringstream transcript_;
    HeadlessRuntime runtime_;
};

// The lines of `all` from index `from` on.
Lines lines_from(const Lines& all, std::size_t from);
// Index of the first line equal to `line`, or all.size().
std::size_t find_line(const Lines& all, const std::string& line, std::size_t from = 0);

// An integer right-aligned in 12 characters, as values stand on dialogue lines.
std::string int12(int value);

// Window fraction to pixel: the product with 1000 (300 down) taken exactly
// in double precision and cut toward zero.
int column_of(float fraction);
int row_of(float fraction);
// The sample under a clicked column: column × 0.001 in 32 bits, over the
// horizontal scale 0.6 / 4000, cut toward zero.
int sample_of_column(int column);
// The vertical fraction at which a value is drawn for the given potmax:
// 0.8 / (2 potmax) × value + 0.5, held to 0.001 .. 0.999.
float drawn_fraction(float value, float potmax);

std::vector<Polyline> polylines_in(const WindowContent& window, std::uint32_t colour);

// Sets samples [from, to] of a channel to a value.
void set_samples(Store& store, int channel, int from, int to, std::int16_t value);
// Every sample of every channel set to a value that changes with channel and
// sample: (37 c + 13 t) mod 2001 − 1000.
void fill_varied(Store& store);
std::int16_t varied_value(int channel, int sample);

// A beat on the three display leads at position p: a rise over samples
// p − 30 to p − 10, a plateau up to p, and a drop to 0 at p + 1 (lead 13 at
// height h, lead 23 at h/2, lead 37 at −h/2). The magnitude falls from
// 1.5 h² to 0 between p and p + 1, so the steepest five-point slope is
// −4.5 h² at p (tied with p + 1, the earlier winning).
void plant_qrs(Store& store, int p, int h);

// A train of beats every 800 samples from sample 500 (earlier ones run in
// from before the start). Display leads carry the beat of plant_qrs and a
// T wave 300 samples after it; the other leads carry shapes of their own.
// With `vary`, beat heights differ (1000, 1120, 1040, 1160, 1080, repeating;
// the beat at 500 is 1000 high) and the other leads get a term that changes
// from beat to beat.
struct BeatTrain {
    int first = 500;
    int period = 800;
    bool vary = false;

    std::int16_t value(int lead, int sample) const;
    // The planted beat positions within samples 1 to n.
    std::vector<int> positions(int n) const;
    void fill(Store& store) const;
    // A recording file of `frames` frames.
    void write(const std::filesystem::path& file, int frames) const;
};

// Reads the first 4000 frames of a recording file into the channel store.
bool load_recording(Store& store, const std::filesystem::path& file);

}  // namespace mapari::beats_tests
