#include "app/lead_flags.hpp"

namespace mapari {

std::vector<std::pair<LeadFlag, const char*>> all_lead_flag_words() {
    std::vector<std::pair<LeadFlag, const char*>> words(std::begin(lead_flag_words),
                                                        std::end(lead_flag_words));
    words.insert(words.end(), std::begin(bad_lead_flag_words), std::end(bad_lead_flag_words));
    return words;
}

bool is_bad_lead(LeadFlags flags) {
    if (flags.has(LeadFlag::marked_good)) return false;
    for (LeadFlag reason : bad_lead_reasons)
        if (flags.has(reason)) return true;
    return false;
}

std::optional<LeadFlag> lead_flag_named(std::string_view word) {
    for (const auto& [flag, flag_word] : all_lead_flag_words())
        if (word == flag_word) return flag;
    return std::nullopt;
}

LeadFlags ari_default_flags(const AriWork& work, int lead) {
    const std::int32_t P = work.reference_point;
    LeadFlags flags;
    if (work.activation_ms(lead) == 0.0f) flags.add(LeadFlag::no_downstroke);
    // Both defaults are whole samples less P, exact in a float.
    const float recovery_ms = work.recovery_ms(lead);
    if (recovery_ms == static_cast<float>(work.j_point + work.settings.recovery_delay_samples - P))
        flags.add(LeadFlag::no_upstroke);
    else if (recovery_ms == static_cast<float>(work.t_end - P))
        flags.add(LeadFlag::rt_at_window_edge);
    return flags;
}

LeadFlags quality_flags(const LeadQuality& quality) {
    LeadFlags flags;
    if (quality.no_signal) flags.add(LeadFlag::no_signal);
    if (quality.weak) flags.add(LeadFlag::weak);
    if (quality.flat) flags.add(LeadFlag::flat);
    if (quality.clipped) flags.add(LeadFlag::clipped);
    if (quality.noisy) flags.add(LeadFlag::noisy);
    if (quality.steps) flags.add(LeadFlag::steps);
    return flags;
}

LeadFlags lead_flags(const AriWork& work, int lead, const LeadQuality& quality) {
    // The computation's defaults on a lead without a signal say nothing about it.
    if (quality.no_signal) return {LeadFlag::no_signal};
    return ari_default_flags(work, lead) | quality_flags(quality);
}

}  // namespace mapari
