// A source recording read a block of samples at a time, from its first sample
// to its last, as often as the import needs: it reads a source twice, once to
// find its largest value and once to convert it, and holds no more than a
// block of it at a time. Readers whose format allows it read each block from
// the file (EDF, BDF and GDF through BioSig, WFDB signal files); the others
// read the file whole and hand it out in blocks.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace mapari::importing {

// Declared only: a member of it is named `signals`, which Qt's headers make a
// keyword, and the import dialog includes this header through import.hpp.
struct SourceRecording;

// What a source says of itself before its samples are read.
struct SourceDescription {
    std::string format;               // as SourceRecording::format
    double rate_hz = 0.0;             // samples a second; 0 when the file states none
    std::string unit_note;            // as SourceRecording::unit_note
    std::vector<std::string> labels;  // one a signal, in the source's order
    std::size_t samples = 0;          // of each signal
};

// Values of some signals over one stretch of the source, in microvolts: one
// vector a signal, all of one length.
using SampleBlock = std::vector<std::vector<double>>;

// The most samples (all signals of a block together) read at once unless the
// caller asks for fewer: 8 MB of values.
inline constexpr std::size_t default_block_samples = std::size_t{1} << 20;

class SourceStream {
  public:
    virtual ~SourceStream() = default;

    const SourceDescription& description() const { return description_; }

    // Starts again at the first sample, to read the signals `wanted` (0-based
    // indices, ascending, in the order the blocks give them) about
    // `block_samples` values at a time: at least one sample of each signal,
    // and a whole record of the file's where its format reads records.
    virtual void restart(const std::vector<std::size_t>& wanted, std::size_t block_samples) = 0;
    // The next block of the wanted signals, or a block of no samples once
    // every sample is read. False, with the reason, when the source cannot be
    // read on (a file that ended early, a value that is no number).
    virtual bool next_block(SampleBlock& block, std::string& reason) = 0;

  protected:
    SourceDescription description_;
};

// A recording read whole, handed out in blocks.
std::unique_ptr<SourceStream> stream_of(SourceRecording recording);

// Every signal of the stream, read block by block into one recording; the
// recording is replaced only when the whole source can be read.
bool read_whole_source(SourceStream& stream, SourceRecording& recording, std::string& reason);

}  // namespace mapari::importing
