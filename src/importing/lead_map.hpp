// Which source signal feeds each channel of a map recording: channels 1 to 8
// are the auxiliary channels, channels 9 to 72 the map leads 1 to 64.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace mapari::importing {

inline constexpr int auxiliary_channels = 8;
inline constexpr int map_leads = 64;
inline constexpr int recording_channels = auxiliary_channels + map_leads;

struct LeadMap {
    // The source signal (0-based) of channel c at [c - 1]; -1 leaves the channel zero.
    std::array<int, recording_channels> signal_of_channel{};

    int& signal_of_lead(int lead) { return signal_of_channel[auxiliary_channels + lead - 1]; }
    int signal_of_lead(int lead) const { return signal_of_channel[auxiliary_channels + lead - 1]; }
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
