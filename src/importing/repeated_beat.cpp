#include "importing/repeated_beat.hpp"

namespace mapari::importing {

SampleBlock repeated_beat(const SampleBlock& beat, long long period_frames, long long frames) {
    SampleBlock repeated(beat.size());
    for (std::size_t k = 0; k < beat.size(); ++k) {
        const std::vector<double>& copy = beat[k];
        const auto last = static_cast<long long>(copy.size()) - 1;
        const double first_value = copy.front(), last_value = copy.back();
        repeated[k].resize(static_cast<std::size_t>(frames));
        for (long long t = 0; t < frames; ++t) {
            const long long j = t % period_frames;
            const double bridged =
                static_cast<double>(j - last) / static_cast<double>(period_frames - last);
            repeated[k][static_cast<std::size_t>(t)] =
                j <= last ? copy[static_cast<std::size_t>(j)]
                          : last_value + (first_value - last_value) * bridged;
        }
    }
    return repeated;
}

}  // namespace mapari::importing
