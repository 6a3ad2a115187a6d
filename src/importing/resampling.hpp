// Signals brought to the 1000 samples a second of a map recording.
#pragma once

#include <string>
#include <vector>

namespace mapari::importing {

// The signal at 1000 Hz: the same values when it is at 1000 Hz already, else
// resampled by a band-limited, linear-phase resampler (very high quality)
// whose delay is taken out, so that output sample m is the signal at m ms.
// False, with the reason, when the resampler fails.
bool resample_to_recording_rate(const std::vector<double>& signal, double rate_hz,
                                std::vector<double>& resampled, std::string& reason);

// The number of 1000-Hz samples a signal of `samples` at rate_hz gives.
std::size_t resampled_length(std::size_t samples, double rate_hz);

}  // namespace mapari::importing
