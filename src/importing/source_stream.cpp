#include "importing/source_stream.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

#include "importing/source_recording.hpp"

namespace mapari::importing {
namespace {

// The samples of each signal that a block of `block_samples` values holds.
std::size_t samples_per_signal(std::size_t block_samples, std::size_t signals) {
    return std::max<std::size_t>(1, block_samples / std::max<std::size_t>(1, signals));
}

class RecordingStream final : public SourceStream {
  public:
    explicit RecordingStream(SourceRecording recording) : recording_(std::move(recording)) {
        description_.format = recording_.format;
        description_.rate_hz = recording_.rate_hz;
        description_.unit_note = recording_.unit_note;
        for (const SourceSignal& signal : recording_.signals)
            description_.labels.push_back(signal.label);
        description_.samples = recording_.samples();
    }

    void restart(const std::vector<std::size_t>& wanted, std::size_t block_samples) override {
        wanted_ = wanted;
        next_sample_ = 0;
        block_length_ = samples_per_signal(block_samples, wanted.size());
    }

    bool next_block(SampleBlock& block, std::string&) override {
        const std::size_t length = std::min(block_length_, description_.samples - next_sample_);
        const auto first = static_cast<std::ptrdiff_t>(next_sample_);
        block.resize(wanted_.size());
        for (std::size_t k = 0; k < wanted_.size(); ++k) {
            const std::vector<double>& values = recording_.signals[wanted_[k]].microvolts;
            block[k].assign(values.begin() + first,
                            values.begin() + first + static_cast<std::ptrdiff_t>(length));
        }
        next_sample_ += length;
        return true;
    }

  private:
    SourceRecording recording_;
    std::vector<std::size_t> wanted_;
    std::size_t next_sample_ = 0;
    std::size_t block_length_ = 1;
};

bool is_finished(const SampleBlock& block) {
    return block.empty() || block.front().empty();
}

}  // namespace

std::unique_ptr<SourceStream> stream_of(SourceRecording recording) {
    return std::make_unique<RecordingStream>(std::move(recording));
}

bool read_whole_source(SourceStream& stream, SourceRecording& recording, std::string& reason) {
    const SourceDescription& description = stream.description();
    SourceRecording read;
    read.format = description.format;
    read.rate_hz = description.rate_hz;
    read.unit_note = description.unit_note;
    read.signals.resize(description.labels.size());
    for (std::size_t k = 0; k < read.signals.size(); ++k) {
        read.signals[k].label = description.labels[k];
        read.signals[k].microvolts.reserve(description.samples);
    }
    std::vector<std::size_t> every(read.signals.size());
    std::iota(every.begin(), every.end(), std::size_t{0});
    stream.restart(every, default_block_samples);
    SampleBlock block;
    do {
        if (!stream.next_block(block, reason)) return false;
        for (std::size_t k = 0; k < block.size(); ++k)
            read.signals[k].microvolts.insert(read.signals[k].microvolts.end(), block[k].begin(),
                                              block[k].end());
    } while (!is_finished(block));
    recording = std::move(read);
    return true;
}

}  // namespace mapari::importing
