#include "review/lead_values.hpp"

#include <charconv>

namespace mapari::review {

LeadTable lead_values(const AriRecord& record, std::int32_t recovery_delay_samples) {
    // RT that the computation writes when it finds no upstroke: the recovery
    // sample J + r less the reference point, exact in a float for any sample.
    const float default_recovery_ms =
        static_cast<float>(record.j_point + recovery_delay_samples - record.reference_point);
    LeadTable table;
    for (std::size_t k = 0; k < table.size(); ++k) {
        LeadValues& lead = table[k];
        lead.activation_ms = record.activation_ms[k];
        lead.recovery_ms = record.recovery_ms[k];
        lead.ari_ms = lead.recovery_ms - lead.activation_ms;
        lead.no_downstroke = lead.activation_ms == 0.0f;
        lead.no_upstroke = lead.recovery_ms == default_recovery_ms;
    }
    return table;
}

std::string flags_text(const LeadValues& values) {
    if (values.no_signal) return "no_signal";
    std::string text;
    if (values.no_downstroke) text = "no_downstroke";
    if (values.no_upstroke) text += text.empty() ? "no_upstroke" : ";no_upstroke";
    return text;
}

std::string ms_text(float value) {
    char digits[32];
    auto [end, status] = std::to_chars(digits, digits + sizeof digits, value);
    if (status != std::errc()) return "?";
    std::string text(digits, end);
    return text == "-0" ? "0" : text;
}

std::string review_csv(const LeadTable& table) {
    std::string text = "lead,AT_ms,RT_ms,ARI_ms,flags\n";
    for (std::size_t k = 0; k < table.size(); ++k) {
        const LeadValues& lead = table[k];
        const std::string values = lead.no_signal
                                       ? ",,"
                                       : ms_text(lead.activation_ms) + ',' +
                                             ms_text(lead.recovery_ms) + ',' + ms_text(lead.ari_ms);
        text += std::to_string(k + 1) + ',' + values + ',' + flags_text(lead) + '\n';
    }
    return text;
}

}  // namespace mapari::review
