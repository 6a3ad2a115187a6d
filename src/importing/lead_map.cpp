#include "importing/lead_map.hpp"

#include <algorithm>
#include <charconv>

#include "formats/fields.hpp"
#include "formats/quoted.hpp"

namespace mapari::importing {
namespace {

// A message lists at most this many labels, then how many there are in all.
constexpr std::size_t labels_listed = 20;
constexpr char comment_mark = '#';

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

char lower_case(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether two texts are the same but for the case of their ASCII letters.
bool same_but_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lower_case(x) == lower_case(y); });
}

// The line without its comment (from '#' on) and the blanks around what is left.
std::string_view without_comment(std::string_view line) {
    return trimmed(line.substr(0, line.find(comment_mark)));
}

// The signal a name stands for (0-based): its label as the source writes it;
// else the one label it matches in letters of either case; else its number.
// -1, with the problem, when it stands for none or for several.
int signal_of(std::string_view name, const std::vector<std::string>& labels, std::string& problem) {
    const auto exact = std::find(labels.begin(), labels.end(), name);
    if (exact != labels.end()) return static_cast<int>(exact - labels.begin());
    std::vector<std::string> matches;
    int match = -1;
    for (std::size_t s = 0; s < labels.size(); ++s)
        if (same_but_case(labels[s], name)) {
            matches.push_back(labels[s]);
            match = static_cast<int>(s);
        }
    if (matches.size() == 1) return match;
    if (matches.size() > 1) {
        problem = in_quotes(name) + " matches " + listed_labels(matches) +
                  " but none exactly; write the label as the source has it";
        return -1;
    }
    const int number = whole_number(name, 1, static_cast<int>(labels.size()));
    if (number == 0)
        problem = "the source has no signal " + in_quotes(name) +
                  "; its signals, by label or by number from 1 to " +
                  std::to_string(labels.size()) + ": " + listed_labels(labels);
    return number - 1;
}

// Whether a line is the header "lead,signal", blanks and case aside.
bool is_header(std::string_view lead, std::string_view signal) {
    return same_but_case(lead, "lead") && same_but_case(signal, "signal");
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
    bool first_filled_line = true;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = without_comment(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (line.empty()) continue;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        const auto comma = line.find(',');
        if (comma == std::string_view::npos) {
            reason = where + in_quotes(line) + " is not \"lead,signal\"";
            return false;
        }
        const std::string_view lead = trimmed(line.substr(0, comma));
        const std::string_view signal = trimmed(line.substr(comma + 1));
        const bool header = first_filled_line && is_header(lead, signal);
        first_filled_line = false;
        if (header) continue;
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
        std::string problem;
        const int source = signal_of(signal, labels, problem);
        if (source < 0) {
            reason = where + problem;
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

std::vector<std::size_t> unused_signals(const LeadMap& map, std::size_t signal_count) {
    std::vector<std::size_t> unused;
    for (std::size_t s = 0; s < signal_count; ++s)
        if (std::find(map.signal_of_channel.begin(), map.signal_of_channel.end(),
                      static_cast<int>(s)) == map.signal_of_channel.end())
            unused.push_back(s);
    return unused;
}

std::string listed_labels(const std::vector<std::string>& labels) {
    std::string text;
    for (std::size_t k = 0; k < labels.size() && k < labels_listed; ++k)
        text += (k == 0 ? "" : ", ") + in_quotes(labels[k]);
    if (labels.size() > labels_listed)
        text += ", \xE2\x80\xA6 (" + std::to_string(labels.size()) + " in all)";
    return text;
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
