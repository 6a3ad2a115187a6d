#include "importing/resampling.hpp"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "formats/map_recording.hpp"

namespace mapari::importing {
namespace {

constexpr double recording_rate_hz = frames_per_second;
// The values taken from the resampler a call at a time.
constexpr std::size_t output_chunk = 16384;

}  // namespace

std::size_t resampled_length(std::size_t samples, double rate_hz) {
    if (rate_hz == recording_rate_hz) return samples;
    return static_cast<std::size_t>(
        std::llround(static_cast<double>(samples) * recording_rate_hz / rate_hz));
}

Resampler::Resampler(double rate_hz, std::size_t samples)
    : to_give_(resampled_length(samples, rate_hz)) {
    if (rate_hz == recording_rate_hz) return;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(rate_hz, recording_rate_hz, 1, &error, &io, &quality, nullptr);
    if (error != nullptr) failure_ = std::string("the resampler failed: ") + error;
}

Resampler::Resampler(Resampler&& other) noexcept
    : soxr_(std::exchange(other.soxr_, nullptr)),
      to_give_(other.to_give_),
      failure_(std::move(other.failure_)) {}

Resampler::~Resampler() {
    if (soxr_ != nullptr) soxr_delete(soxr_);
}

bool Resampler::add(std::span<const double> samples, std::vector<double>& resampled,
                    std::string& reason) {
    if (!failure_.empty()) {
        reason = failure_;
        return false;
    }
    if (soxr_ != nullptr) return take_output(samples, false, resampled, reason);
    const std::size_t given = std::min(samples.size(), to_give_);
    resampled.insert(resampled.end(), samples.begin(),
                     samples.begin() + static_cast<std::ptrdiff_t>(given));
    to_give_ -= given;
    return true;
}

bool Resampler::finish(std::vector<double>& resampled, std::string& reason) {
    if (!failure_.empty()) {
        reason = failure_;
        return false;
    }
    return soxr_ == nullptr || take_output({}, true, resampled, reason);
}

// Feeds the samples (or, at the end of the signal, tells the resampler that
// no more come) and takes what it gives, up to the values still to give.
bool Resampler::take_output(std::span<const double> samples, bool end,
                            std::vector<double>& resampled, std::string& reason) {
    std::size_t fed = 0;
    for (;;) {
        const std::size_t before = resampled.size();
        resampled.resize(before + output_chunk);
        std::size_t used = 0, given = 0;
        const soxr_error_t error =
            soxr_process(soxr_, end ? nullptr : samples.data() + fed, samples.size() - fed, &used,
                         resampled.data() + before, output_chunk, &given);
        if (error != nullptr) {
            resampled.resize(before);
            failure_ = std::string("the resampler failed: ") + error;
            reason = failure_;
            return false;
        }
        const bool room_left = given < output_chunk;
        given = std::min(given, to_give_);
        resampled.resize(before + given);
        to_give_ -= given;
        fed += used;
        if (fed == samples.size() && room_left) return true;
    }
}

}  // namespace mapari::importing
