// Which source signal feeds each channel of a map recording, the auxiliary
// channels and the map leads (their channels are in formats/map_recording.hpp).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "formats/map_recording.hpp"

namespace mapari::importing {

struct LeadMap {
    // The source signal (0-based) of channel c at [c - 1]; -1 leaves the channel zero.
    std::array<int, channel_count> signal_of_channel{};

    int& signal_of_lead(int lead) { return signal_of_channel[slot_of_lead(lead)]; }
    int signal_of_lead(int lead) const { return signal_of_channel[slot_of_lead(lead)]; }

  private:
    static std::size_t slot_of_lead(int lead) {
        return static_cast<std::size_t>(channel_of_lead(lead) - 1);
    }
};

// The first 64 signals on map leads 1 to 64, the auxiliary channels zero.
LeadMap default_lead_map(int signal_count);

// Reads a map text: one line "lead,signal" a channel, the lead "1" to "64" or
// "aux1" to "aux8", the signal a label of the source or its 1-based number.
// Blanks around the fields do not count; '#' begins a comment to the end of
// its line (a label holding '#' is named by its number); the first line that
// holds anything may be the header "lead,signal" in letters of either case.
// A label is matched as the source writes it, else in letters of either case
// when that matches only one. Channels the map does not name stay zero.
// False, with the reason naming the line, when a line cannot be used; a
// signal the source does not have is told with the source's labels (the
// first 20 of them when it has more).
bool parse_lead_map(std::string_view text, const std::vector<std::string>& labels, LeadMap& map,
                    std::string& reason);

// The map leads left zero, as "33-64" or "5, 9-12"; empty when every lead is fed.
std::string unfed_leads(const LeadMap& map);

// The signals (0-based, ascending) of `signal_count` that no channel takes.
std::vector<std::size_t> unused_signals(const LeadMap& map, std::size_t signal_count);

// Labels as a message lists them, each in quotes: all of them, or when there
// are more than 20 the first 20 and how many there are in all:
// "\"1\", \"2\", ..., \"20\", … (328 in all)".
std::string listed_labels(const std::vector<std::string>& labels);

// Ascending numbers as ranges: {1, 2, 3, 5} gives "1-3, 5"; none gives "".
std::string number_ranges(const std::vector<int>& ascending);

}  // namespace mapari::importing
