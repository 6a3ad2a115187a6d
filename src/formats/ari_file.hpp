// The .ari file, written by the save step after the ARI computation and read
// back by the review: one free-form record of 132 numbers,
//   P, J, E, h                 reference point, J point, T end (samples of the
//                              saved beat) and the smoothing half-width used
//   AT of leads 1 to 64        activation times, ms after P
//   RT of leads 1 to 64        recovery times, ms after P
// taken as a stream of blank-separated numbers, whatever the line breaks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/store.hpp"

namespace mapari {

inline constexpr int ari_header_count = 4;                                  // P, J, E, h
inline constexpr int ari_number_count = ari_header_count + 2 * lead_count;  // 132

struct AriRecord {
    std::int32_t reference_point = 0;               // P, sample of the saved beat
    std::int32_t j_point = 0;                       // J, sample
    std::int32_t t_end = 0;                         // E, sample
    std::int32_t smoothing_half_width = 0;          // h, samples
    std::array<float, lead_count> activation_ms{};  // element l - 1: AT of lead l
    std::array<float, lead_count> recovery_ms{};    // element l - 1: RT of lead l
};

// The text of the .ari file of the computation in the work area.
std::string ari_file_text(const AriWork& work);

// What number n (1 to 132) of the record holds, for messages:
// "the J point", "the activation time of lead 3", ...
std::string ari_number_name(int n);

// Reads the record; false with the reason (which number, and what is wrong
// with it) when the text holds fewer or more than 132 numbers or a word that
// is not the number its place needs.
bool parse_ari_text(std::string_view text, AriRecord& record, std::string& reason);

}  // namespace mapari
