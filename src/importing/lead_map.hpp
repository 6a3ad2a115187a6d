// Which source signal feeds each channel of a map recording, the auxiliary
// channels and the map leads (their channels are in formats/map_recording.hpp).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "formats/map_recording.hpp"

namespace mapari::importing {

struct LeadMap {
    // The source signal (0-based) of channel c at [c - 1]; -1 leaves the channel zero.
    std::array<int, channel_count> signal_of_channel{};

    int& signal_of_lead(int lead) { return signal_of_channel[channel_of_lead(lead) - 1]; }
    int signal_of_lead(int lead) const { return signal_of_channel[channel_of_lead(lead) - 1]; }
};

// The first 64 signals on map leads 1 to 64, the auxiliary channels zero.
LeadMap default_lead_map(int signal_count);

// Reads a map text: one line "lead,signal" a channel, the lead "1" to "64" or
// "aux1" to "aux8", the signal a label of the source or its 1-based number; a
// header line "lead,signal" may come first. Channels it does not name stay
// zero. False, with the reason naming the line, when a line cannot be used.
bool parse_lead_map(std::string_view text, const std::vector<std::string>& labels, LeadMap& map,
                    std::string& reason);

// The map leads left zero, as "33-64" or "5, 9-12"; empty when every lead is fed.
std::string unfed_leads(const LeadMap& map);

// Ascending numbers as ranges: {1, 2, 3, 5} gives "1-3, 5"; none gives "".
std::string number_ranges(const std::vector<int>& ascending);

}  // namespace mapari::importing
