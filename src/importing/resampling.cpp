#include "importing/resampling.hpp"

#include <soxr.h>

#include <cmath>

#include "formats/map_recording.hpp"

namespace mapari::importing {
namespace {

constexpr double recording_rate_hz = frames_per_second;

}  // namespace

std::size_t resampled_length(std::size_t samples, double rate_hz) {
    if (rate_hz == recording_rate_hz) return samples;
    return static_cast<std::size_t>(
        std::llround(static_cast<double>(samples) * recording_rate_hz / rate_hz));
}

bool resample_to_recording_rate(const std::vector<double>& signal, double rate_hz,
                                std::vector<double>& resampled, std::string& reason) {
    if (rate_hz == recording_rate_hz) {
        resampled = signal;
        return true;
    }
    resampled.assign(resampled_length(signal.size(), rate_hz), 0.0);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    std::size_t written = 0;
    const soxr_error_t error =
        soxr_oneshot(rate_hz, recording_rate_hz, 1, signal.data(), signal.size(), nullptr,
                     resampled.data(), resampled.size(), &written, &io, &quality, nullptr);
    if (error != nullptr) {
        reason = std::string("the resampler failed: ") + error;
        return false;
    }
    resampled.resize(written);
    return true;
}

}  // namespace mapari::importing
