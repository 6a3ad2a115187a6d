// Signals brought to the 1000 samples a second of a map recording.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

struct soxr;

namespace mapari::importing {

// The number of 1000-Hz samples a signal of `samples` at rate_hz gives.
std::size_t resampled_length(std::size_t samples, double rate_hz);

// One signal brought to 1000 Hz as its samples come, a block at a time: the
// same values when it is at 1000 Hz already, else resampled by a
// band-limited, linear-phase resampler (very high quality) whose delay is
// taken out, so that output sample m is the signal at m ms. The values do not
// depend on how the signal is cut into blocks: they are those of resampling
// the whole signal at once.
class Resampler {
  public:
    // A resampler of a signal of `samples` samples at rate_hz; it gives
    // resampled_length(samples, rate_hz) values in all.
    Resampler(double rate_hz, std::size_t samples);
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;
    Resampler(Resampler&& other) noexcept;
    Resampler& operator=(Resampler&&) = delete;
    ~Resampler();

    // Appends to `resampled` the values the next samples give so far. False,
    // with the reason, when the resampler fails.
    bool add(std::span<const double> samples, std::vector<double>& resampled, std::string& reason);
    // Appends the values still held back once the signal's last samples are in.
    bool finish(std::vector<double>& resampled, std::string& reason);

  private:
    bool take_output(std::span<const double> samples, bool end, std::vector<double>& resampled,
                     std::string& reason);

    soxr* soxr_ = nullptr;     // none at 1000 Hz
    std::size_t to_give_ = 0;  // the values still to give
    std::string failure_;      // why the resampler failed, once it has
};

}  // namespace mapari::importing
