#include "importing/lead_map.hpp"

#include <charconv>

#include "formats/fields.hpp"
#include "formats/quoted.hpp"

namespace mapari::importing {
namespace {

// A whole number from first to last, or 0.
int whole_number(std::string_view text, int first, int last) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return 0;
    return value >= first && value <= last ? value : 0;
}

// The channel a lead name stands for, or 0.
int channel_of(std::string_view lead) {
    if (lead.starts_with("aux")) {
        const int auxiliary = whole_number(lead.substr(3), 1, auxiliary_channel_count);
        return auxiliary == 0 ? 0 : channel_of_auxiliary(auxiliary);
    }
    const int map_lead = whole_number(lead, 1, lead_count);
    return map_lead == 0 ? 0 : channel_of_lead(map_lead);
}

// The signal a name stands for (0-based): a label first, else a number; -1 when neither.
int signal_of(std::string_view name, const std::vector<std::string>& labels) {
    for (std::size_t s = 0; s < labels.size(); ++s)
        if (labels[s] == name) return static_cast<int>(s);
    return whole_number(name, 1, static_cast<int>(labels.size())) - 1;
}

}  // namespace

LeadMap default_lead_map(int signal_count) {
    LeadMap map;
    map.signal_of_channel.fill(-1);
    for (int lead = 1; lead <= lead_count && lead <= signal_count; ++lead)
        map.signal_of_lead(lead) = lead - 1;
    return map;
}

bool parse_lead_map(std::string_view text, const std::vector<std::string>& labels, LeadMap& map,
                    std::string& reason) {
    map.signal_of_channel.fill(-1);
    std::array<int, channel_count> named_on_line{};
    int line_number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (line.empty() || (line_number == 1 && line == "lead,signal")) continue;
        const auto comma = line.find(',');
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (comma == std::string_view::npos) {
            reason = where + in_quotes(line) + " is not \"lead,signal\"";
            return false;
        }
        const std::string_view lead = trimmed(line.substr(0, comma));
        const std::string_view signal = trimmed(line.substr(comma + 1));
        const int channel = channel_of(lead);
        if (channel == 0) {
            reason = where + in_quotes(lead) + " is not a lead (1 to 64, aux1 to aux8)";
            return false;
        }
        int& earlier_line = named_on_line[static_cast<std::size_t>(channel - 1)];
        if (earlier_line != 0) {
            reason = where + in_quotes(lead) + " is named on line " + std::to_string(earlier_line) +
                     " too";
            return false;
        }
        earlier_line = line_number;
        const int source = signal_of(signal, labels);
        if (source < 0) {
            reason = where + "the source has no signal " + in_quotes(signal);
            return false;
        }
        map.signal_of_channel[static_cast<std::size_t>(channel - 1)] = source;
    }
    return true;
}

std::string unfed_leads(const LeadMap& map) {
    std::vector<int> leads;
    for (int lead = 1; lead <= lead_count; ++lead)
        if (map.signal_of_lead(lead) < 0) leads.push_back(lead);
    return number_ranges(leads);
}

std::string number_ranges(const std::vector<int>& ascending) {
    std::string text;
    for (std::size_t k = 0; k < ascending.size();) {
        std::size_t last = k;
        while (last + 1 < ascending.size() && ascending[last + 1] == ascending[last] + 1) ++last;
        if (!text.empty()) text += ", ";
        text += std::to_string(ascending[k]);
        if (last > k) {
            text += '-';
            text += std::to_string(ascending[last]);
        }
        k = last + 1;
    }
    return text;
}

}  // namespace mapari::importing
