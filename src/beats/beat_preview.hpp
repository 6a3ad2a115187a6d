// What a recording's saved beat gives with marks not yet saved: the beat with
// its baseline drawn anew through the Q onset and the T end, and each lead's
// AT and RT from the ARI computation on it, so that a mark being moved shows
// its effect at once.
//
// Method: the saved beat (.ds) already has a straight line subtracted from
// every lead, through its values at the saved Q onset and T end. Subtracting
// the line through the values at the new Q onset and T end gives the beat
// with the baseline through the new rows alone, since lines add: the
// earlier line drops out. The .ds holds the beat as the save rounded it, so
// the values at moved marks can differ by a rounding step from those the
// correction's own session saves; with the saved marks they are the saved
// file's exactly (the line is 0 there), and so are the AT and RT.
// Check: with the saved marks the values equal the .ari file's.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "beats/automatic_marks.hpp"
#include "store/store.hpp"

namespace mapari {

// The marks as messages name them, in that order.
inline constexpr std::array<const char*, fiducial_count> mark_said_names = {
    "the stimulus mark", "the Q onset", "the J point", "the T end"};

// Why the rows cannot be a beat's marks: one outside the rows a click can
// mark, or out of order; empty when they can.
std::string mark_rows_refusal(const MarkRowArray& rows);

struct BeatPreview {
    // Lead l at row k of the beat with the baseline through the marks' Q
    // onset and T end: element (l - 1) * averaged_rows + (k - 1).
    std::vector<float> samples;
    float at(int row, int lead) const {
        return samples[static_cast<std::size_t>((lead - 1) * averaged_rows + (row - 1))];
    }
    // Why no AT and RT were computed (marks out of order, a limit of the
    // computation broken); empty when they were.
    std::string refusal;
    std::array<float, lead_count> activation_ms{};  // element l - 1: lead l
    std::array<float, lead_count> recovery_ms{};
};

// The preview of the saved beat (as read from a .ds file, rounded) with the
// marks and the ARI settings.
BeatPreview preview_beat(const Array2<std::int32_t, averaged_rows, lead_count>& saved,
                         const MarkRowArray& marks, const AriSettings& settings);

// The RMS over the leads marked true of the beat at each row, rows 1 to 1024
// at elements 0 to 1023; 0 at every row without such a lead.
std::vector<float> rms_curve(const BeatPreview& preview,
                             const std::array<bool, lead_count>& with_signal);

}  // namespace mapari
