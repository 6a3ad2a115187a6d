#include "importing/piece_writer.hpp"

#include <algorithm>
#include <cmath>
#include <span>

namespace mapari::importing {
namespace {

constexpr auto frame_samples = static_cast<std::size_t>(channel_count);

}  // namespace

PieceWriter::PieceWriter(std::vector<ImportedPiece> pieces, std::filesystem::path folder,
                         const std::array<int, channel_count>& slot_of_channel, std::size_t signals,
                         int microvolts_per_count, PendingFiles& files)
    : pieces_(std::move(pieces)),
      folder_(std::move(folder)),
      slot_of_channel_(slot_of_channel),
      microvolts_per_count_(microvolts_per_count),
      files_(files),
      queued_(signals) {
    if (!pieces_.empty()) frames_ = pieces_.back().first_frame + pieces_.back().frames;
}

bool PieceWriter::add(const std::vector<std::vector<double>>& microvolts, std::string& reason) {
    for (std::size_t k = 0; k < queued_.size(); ++k)
        queued_[k].insert(queued_[k].end(), microvolts[k].begin(), microvolts[k].end());
    auto ready = static_cast<std::size_t>(frames_ - frames_in_);
    for (const std::vector<double>& values : queued_) ready = std::min(ready, values.size());
    append_frames(ready);
    for (std::vector<double>& values : queued_)
        values.erase(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(ready));
    return write_finished_pieces(reason);
}

// The next `count` queued values of every signal as frames of counts: each
// value rounded to whole counts and held within 16 bits.
void PieceWriter::append_frames(std::size_t count) {
    buffer_.reserve(buffer_.size() + count * frame_samples);
    for (std::size_t t = 0; t < count; ++t)
        for (std::size_t c = 0; c < frame_samples; ++c) {
            const int slot = slot_of_channel_[c];
            if (slot < 0) {
                buffer_.push_back(0);
                continue;
            }
            const double value = queued_[static_cast<std::size_t>(slot)][t];
            const double counts = std::round(value / microvolts_per_count_);
            const double held = std::clamp(counts, -32768.0, 32767.0);
            clipped_[c] += held != counts;
            buffer_.push_back(static_cast<std::int16_t>(held));
        }
    frames_in_ += static_cast<long long>(count);
}

bool PieceWriter::write_finished_pieces(std::string& reason) {
    while (next_piece_ < pieces_.size()) {
        const ImportedPiece& piece = pieces_[next_piece_];
        if (piece.first_frame + piece.frames > frames_in_) return true;
        const auto first = static_cast<std::size_t>(piece.first_frame - buffer_first_frame_);
        const std::span<const std::int16_t> samples(
            buffer_.data() + first * frame_samples,
            static_cast<std::size_t>(piece.frames) * frame_samples);
        const std::string path = (folder_ / piece.file_name).string();
        if (!files_.write(path, encode_frames(samples), reason)) {
            reason = "cannot write " + path + ": " + reason;
            return false;
        }
        ++next_piece_;
        // What the next piece does not share with this one is no longer needed.
        const long long keep_from =
            next_piece_ < pieces_.size() ? pieces_[next_piece_].first_frame : frames_in_;
        const auto dropped = static_cast<std::size_t>(keep_from - buffer_first_frame_);
        buffer_.erase(buffer_.begin(),
                      buffer_.begin() + static_cast<std::ptrdiff_t>(dropped * frame_samples));
        buffer_first_frame_ = keep_from;
    }
    return true;
}

std::vector<std::pair<int, long long>> PieceWriter::clipped() const {
    std::vector<std::pair<int, long long>> channels;
    for (std::size_t c = 0; c < frame_samples; ++c)
        if (clipped_[c] > 0) channels.emplace_back(static_cast<int>(c) + 1, clipped_[c]);
    return channels;
}

}  // namespace mapari::importing
