// The pieces of an import filled frame by frame from the channels' values at
// 1000 Hz, converted to counts (clipped to 16 bits, and counted where they
// are), each piece encoded in the map layout and written under its
// temporary name as soon as its last frame is in. It holds only the frames
// of the piece being filled, and the 4 s a piece shares with the next.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "importing/import.hpp"

namespace mapari::importing {

class PieceWriter {
  public:
    // `slot_of_channel`: for channel c at [c - 1], the index of its signal
    // among the `signals` signals the values come in, or -1 for a channel
    // left zero. The pieces go into `folder` through `files`.
    PieceWriter(std::vector<ImportedPiece> pieces, std::filesystem::path folder,
                const std::array<int, channel_count>& slot_of_channel, std::size_t signals,
                int microvolts_per_count, PendingFiles& files);

    // Takes the next values of each signal, in microvolts (any number of
    // each), and writes every piece they complete. False, with the reason
    // naming the file, when a piece cannot be written.
    bool add(const std::vector<std::vector<double>>& microvolts, std::string& reason);
    // (channel, samples clipped) of each channel that has any, in channel order.
    std::vector<std::pair<int, long long>> clipped() const;

  private:
    void append_frames(std::size_t count);
    bool write_finished_pieces(std::string& reason);

    std::vector<ImportedPiece> pieces_;
    std::filesystem::path folder_;
    std::array<int, channel_count> slot_of_channel_;
    double microvolts_per_count_;
    PendingFiles& files_;
    long long frames_ = 0;                            // the frames of all pieces
    std::vector<std::vector<double>> queued_;         // each signal's values not yet in a frame
    std::vector<std::int16_t> buffer_;                // the frames held, in file order
    long long buffer_first_frame_ = 0;                // the frame buffer_ begins with
    long long frames_in_ = 0;                         // the frames converted so far
    std::size_t next_piece_ = 0;                      // the first piece not yet written
    std::array<long long, channel_count> clipped_{};  // samples clipped, by channel
};

}  // namespace mapari::importing
