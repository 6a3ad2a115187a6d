#include "app/bad_leads.hpp"

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>

#include "beats/lead_quality.hpp"
#include "formats/files.hpp"
#include "review/lead_neighbours.hpp"

namespace mapari {
namespace {

namespace fs = std::filesystem;

constexpr const char* grid_rules = "grid";
constexpr const char* layout_rules = "layout ";

// The map leads among the channels of an import record; none when it does
// not list `file_name` among its pieces.
std::optional<int> map_leads_of_record(const nlohmann::json& record, const std::string& file_name) {
    const auto& pieces = record.at("pieces");
    if (std::none_of(pieces.begin(), pieces.end(), [&](const nlohmann::json& piece) {
            return piece.at("file").get<std::string>() == file_name;
        }))
        return std::nullopt;
    int map_leads = 0;
    for (const nlohmann::json& channel : record.at("channels"))
        map_leads += !channel.at("lead").get<std::string>().starts_with("aux");
    return map_leads;
}

// The leads named bad and good by hand, as flags.
std::array<LeadFlags, lead_count> hand_flags(const BatchSettings& settings) {
    std::array<LeadFlags, lead_count> flags{};
    for (int lead : settings.bad_leads)
        flags[static_cast<std::size_t>(lead - 1)].add(LeadFlag::marked_bad);
    for (int lead : settings.good_leads)
        flags[static_cast<std::size_t>(lead - 1)].add(LeadFlag::marked_good);
    return flags;
}

void add_hand_marks(const BatchSettings& settings, RecordingAnalysis& analysis) {
    const std::array<LeadFlags, lead_count> hand = hand_flags(settings);
    for (std::size_t at = 0; at < lead_count; ++at)
        analysis.flags[at] = analysis.flags[at] | hand[at];
}

review::LeadSet bad_leads_of(const RecordingAnalysis& analysis) {
    review::LeadSet bad{};
    for (std::size_t at = 0; at < lead_count; ++at) bad[at] = is_bad_lead(analysis.flags[at]);
    return bad;
}

void add_outliers(const Beat& beat, const review::ElectrodeLayout& layout,
                  RecordingAnalysis& analysis) {
    const review::LeadSet bad = bad_leads_of(analysis);
    review::LeadSet candidates{};
    for (std::size_t at = 0; at < lead_count; ++at)
        candidates[at] = !bad[at] && !analysis.flags[at].has(LeadFlag::no_signal);
    const review::BeatCorrelations correlations(beat, analysis.marks.q_onset, analysis.marks.t_end);
    const review::LeadSet outliers = review::find_outliers(layout, correlations, candidates, bad);
    for (std::size_t at = 0; at < lead_count; ++at)
        if (outliers[at]) analysis.flags[at].add(LeadFlag::outlier);
}

std::array<double, lead_count> as_doubles(const std::array<float, lead_count>& values) {
    std::array<double, lead_count> doubles{};
    std::copy(values.begin(), values.end(), doubles.begin());
    return doubles;
}

void fill_in_bad_leads(const review::ElectrodeLayout& layout, RecordingAnalysis& analysis) {
    const review::LeadSet bad = bad_leads_of(analysis);
    const std::array<double, lead_count> activations = as_doubles(analysis.activation_ms),
                                         recoveries = as_doubles(analysis.recovery_ms);
    for (int lead = 1; lead <= lead_count; ++lead) {
        const auto at = static_cast<std::size_t>(lead - 1);
        if (!bad[at]) continue;
        const std::optional<double> activation = review::fill_in(layout, lead, activations, bad);
        const std::optional<double> recovery = review::fill_in(layout, lead, recoveries, bad);
        if (!activation || !recovery) continue;
        analysis.activation_ms[at] = static_cast<float>(*activation);
        analysis.recovery_ms[at] = static_cast<float>(*recovery);
        analysis.flags[at].add(LeadFlag::interpolated);
    }
}

}  // namespace

bool load_layout(const std::string& path, review::ElectrodeLayout& layout, std::string& reason) {
    std::string text;
    if (!read_whole_file(path, text, reason)) return false;
    return review::parse_layout_csv(text, layout, reason);
}

std::optional<int> imported_map_leads(const fs::path& recording) {
    std::error_code error;
    const fs::path folder = recording.parent_path().empty() ? "." : recording.parent_path();
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (!entry.path().filename().string().ends_with(".import.json")) continue;
        std::string text, reason;
        if (!read_whole_file(entry.path().string(), text, reason)) continue;
        const nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
        try {
            if (const std::optional<int> map_leads =
                    map_leads_of_record(record, recording.filename().string()))
                return map_leads;
        } catch (const nlohmann::json::exception&) {
            continue;  // no import record of this program
        }
    }
    return std::nullopt;
}

bool choose_spatial_rules(const fs::path& recording, const BatchSettings& settings,
                          SpatialRules& rules, std::string& reason) {
    if (settings.layout == no_layout) {
        rules = {std::nullopt, no_layout};
        return true;
    }
    if (!settings.layout.empty()) {
        review::ElectrodeLayout layout;
        if (!load_layout(settings.layout, layout, reason)) {
            reason = "cannot read the layout " + settings.layout + ": " + reason;
            return false;
        }
        rules = {layout, layout_rules + settings.layout};
        return true;
    }
    if (const std::optional<int> map_leads = imported_map_leads(recording);
        map_leads && *map_leads < lead_count) {
        rules = {std::nullopt, std::string(no_layout) + " (imported with " +
                                   std::to_string(*map_leads) + " map leads)"};
        return true;
    }
    rules = {review::grid_layout(), grid_rules};
    return true;
}

void settle_bad_leads(const Beat& beat, const SpatialRules& rules, RecordingAnalysis& analysis) {
    analysis.spatial_rules = rules.description;
    add_hand_marks(analysis.settings, analysis);
    if (!rules.layout) return;
    add_outliers(beat, *rules.layout, analysis);
    fill_in_bad_leads(*rules.layout, analysis);
}

std::string hand_lists_refusal(const BatchSettings& settings) {
    for (const auto& [option, leads] : {std::pair{"--bad-leads", &settings.bad_leads},
                                        std::pair{"--good-leads", &settings.good_leads}})
        for (std::size_t k = 0; k < leads->size(); ++k)
            if (std::find(leads->begin(), leads->begin() + static_cast<std::ptrdiff_t>(k),
                          (*leads)[k]) != leads->begin() + static_cast<std::ptrdiff_t>(k))
                return std::string(option) + " names lead " + std::to_string((*leads)[k]) +
                       " twice";
    for (int lead : settings.bad_leads)
        if (std::find(settings.good_leads.begin(), settings.good_leads.end(), lead) !=
            settings.good_leads.end())
            return "lead " + std::to_string(lead) +
                   " is named by both --bad-leads and --good-leads";
    return {};
}

LeadsLeftOut leads_left_out_of_marks(const Beat& beat, const Recording& recording,
                                     const BatchSettings& settings) {
    auto scratch = std::make_unique<std::array<float, samples_per_reading>>();
    const LeadQualities qualities = judge_leads(beat, recording, *scratch);
    const std::array<LeadFlags, lead_count> hand = hand_flags(settings);
    LeadsLeftOut left_out{};
    for (std::size_t at = 0; at < lead_count; ++at)
        left_out[at] = is_bad_lead(quality_flags(qualities[at]) | hand[at]);
    return left_out;
}

bool values_withheld(const RecordingAnalysis& analysis, std::size_t at) {
    const LeadFlags flags = analysis.flags[at];
    if (flags.has(LeadFlag::interpolated)) return false;
    if (flags.has(LeadFlag::no_signal) || flags.has(LeadFlag::marked_bad)) return true;
    const bool spatial =
        analysis.spatial_rules == grid_rules || analysis.spatial_rules.starts_with(layout_rules);
    return spatial && is_bad_lead(flags);
}

}  // namespace mapari
