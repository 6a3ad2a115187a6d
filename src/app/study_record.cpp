#include "app/study_record.hpp"

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/batch_tables.hpp"

namespace mapari {
namespace {

// Ordered, so that a record reads in the order it is written here.
using Json = nlohmann::ordered_json;

constexpr int record_version = 1;
constexpr AnalysisStatus statuses[] = {AnalysisStatus::ok, AnalysisStatus::check,
                                       AnalysisStatus::failed, AnalysisStatus::stopped,
                                       AnalysisStatus::corrected};

Json ari_settings_json(const AriSettings& settings) {
    return {{"smoothing", settings.smoothing_half_width_samples},
            {"activation_offset", settings.activation_offset_samples},
            {"recovery_delay", settings.recovery_delay_samples}};
}

AriSettings ari_settings_of(const Json& json) {
    return {json.at("smoothing").get<std::int32_t>(),
            json.at("activation_offset").get<std::int32_t>(),
            json.at("recovery_delay").get<std::int32_t>()};
}

Json settings_json(const BatchSettings& settings) {
    return {{"display_second", settings.display_second},
            {"leads", settings.leads},
            {"coefficient", settings.coefficient},
            {"ari_settings",
             settings.ari_settings ? ari_settings_json(*settings.ari_settings) : Json(nullptr)},
            {"bad_leads", settings.bad_leads},
            {"good_leads", settings.good_leads},
            {"layout", settings.layout}};
}

BatchSettings settings_of(const Json& json) {
    BatchSettings settings;
    settings.display_second = json.at("display_second").get<int>();
    settings.leads = json.at("leads").get<std::array<int, display_lead_count>>();
    settings.coefficient = json.at("coefficient").get<std::string>();
    const Json& ari = json.at("ari_settings");
    if (!ari.is_null()) settings.ari_settings = ari_settings_of(ari);
    // Records written before leads could be named by hand have none.
    settings.bad_leads = json.value("bad_leads", std::vector<int>{});
    settings.good_leads = json.value("good_leads", std::vector<int>{});
    settings.layout = json.value("layout", std::string());
    return settings;
}

Json marks_json(const AutomaticMarks& marks) {
    return {{"stimulus", marks.stimulus},
            {"q_onset", marks.q_onset},
            {"j_point", marks.j_point},
            {"t_end", marks.t_end},
            {"t_peak", marks.t_peak},
            {"t_end_independent", marks.t_end_independent},
            {"stimulus_found", marks.stimulus_found},
            {"problem", marks.problem}};
}

AutomaticMarks marks_of(const Json& json) {
    AutomaticMarks marks;
    marks.stimulus = json.at("stimulus").get<std::int32_t>();
    marks.q_onset = json.at("q_onset").get<std::int32_t>();
    marks.j_point = json.at("j_point").get<std::int32_t>();
    marks.t_end = json.at("t_end").get<std::int32_t>();
    marks.t_peak = json.at("t_peak").get<std::int32_t>();
    // Records written before the independent T end was kept have none.
    marks.t_end_independent = json.value("t_end_independent", std::int32_t{0});
    marks.stimulus_found = json.at("stimulus_found").get<bool>();
    marks.problem = json.at("problem").get<std::string>();
    return marks;
}

Json accepted_json(const std::vector<AcceptedBeat>& accepted) {
    Json beats = Json::array();
    for (const AcceptedBeat& beat : accepted)
        beats.push_back({{"position_ms", beat.position_ms},
                         {"shift_samples", beat.shift_samples},
                         {"correlation", beat.correlation}});
    return beats;
}

std::vector<AcceptedBeat> accepted_of(const Json& json) {
    std::vector<AcceptedBeat> accepted;
    for (const Json& beat : json)
        accepted.push_back({beat.at("position_ms").get<std::int32_t>(),
                            beat.at("shift_samples").get<std::int32_t>(),
                            beat.at("correlation").get<float>()});
    return accepted;
}

// Each lead with its AT, RT and flags, the flags as the tables' words, and
// the confidences it has (a record written before them has none).
Json leads_json(const RecordingAnalysis& analysis) {
    Json leads = Json::array();
    for (std::size_t at = 0; at < lead_count; ++at) {
        Json flags = Json::array();
        for (const auto& [flag, word] : all_lead_flag_words())
            if (analysis.flags[at].has(flag)) flags.push_back(word);
        Json lead = {{"lead", at + 1},
                     {"AT_ms", analysis.activation_ms[at]},
                     {"RT_ms", analysis.recovery_ms[at]},
                     {"flags", flags}};
        const LeadConfidence& confidence = analysis.confidence[at];
        if (confidence.activation) lead["AT_confidence"] = *confidence.activation;
        if (confidence.recovery) lead["RT_confidence"] = *confidence.recovery;
        leads.push_back(lead);
    }
    return leads;
}

// False with the reason when the leads are not the 64 in order or a flag is unknown.
bool read_leads(const Json& leads, RecordingAnalysis& analysis, std::string& reason) {
    if (!leads.is_array() || leads.size() != lead_count) {
        reason = "it holds no list of " + std::to_string(lead_count) + " leads";
        return false;
    }
    for (std::size_t at = 0; at < lead_count; ++at) {
        const Json& lead = leads[at];
        if (lead.at("lead").get<std::size_t>() != at + 1) {
            reason = "its leads are not in order from 1";
            return false;
        }
        analysis.activation_ms[at] = lead.at("AT_ms").get<float>();
        analysis.recovery_ms[at] = lead.at("RT_ms").get<float>();
        LeadFlags flags;
        for (const Json& word : lead.at("flags")) {
            const std::optional<LeadFlag> flag = lead_flag_named(word.get<std::string>());
            if (!flag) {
                reason = "lead " + std::to_string(at + 1) + " has the unknown flag \"" +
                         word.get<std::string>() + "\"";
                return false;
            }
            flags.add(*flag);
        }
        analysis.flags[at] = flags;
        if (lead.contains("AT_confidence"))
            analysis.confidence[at].activation = lead.at("AT_confidence").get<double>();
        if (lead.contains("RT_confidence"))
            analysis.confidence[at].recovery = lead.at("RT_confidence").get<double>();
    }
    return true;
}

// A beat's times of every lead as one line of whole ms ("43 44 ... 51"): the
// times are sample counts, and a record of some 30 beats stays small.
std::string lead_times_text(const std::array<float, lead_count>& times_ms) {
    std::string text;
    for (float ms : times_ms) {
        if (!text.empty()) text += ' ';
        text += std::to_string(std::lround(ms));
    }
    return text;
}

bool read_lead_times(const std::string& text, std::array<float, lead_count>& times_ms) {
    std::istringstream numbers(text);
    for (float& ms : times_ms)
        if (!(numbers >> ms)) return false;
    std::string more;
    return !(numbers >> more);
}

Json beats_json(const std::vector<BeatResult>& beats) {
    Json list = Json::array();
    for (const BeatResult& beat : beats)
        list.push_back({{"time_ms", beat.time_ms},
                        {"rr_ms", beat.rr_ms ? Json(*beat.rr_ms) : Json(nullptr)},
                        {"correlation", beat.correlation},
                        {"low_correlation", beat.low_correlation},
                        {"at_scatter", beat.at_scatter},
                        {"AT_ms", lead_times_text(beat.activation_ms)},
                        {"RT_ms", lead_times_text(beat.recovery_ms)}});
    return list;
}

// Records written before every beat was analysed have none.
bool read_beats(const Json& json, RecordingAnalysis& analysis, std::string& reason) {
    if (!json.contains("beats")) return true;
    for (const Json& entry : json.at("beats")) {
        BeatResult beat;
        beat.time_ms = entry.at("time_ms").get<std::int32_t>();
        if (!entry.at("rr_ms").is_null()) beat.rr_ms = entry.at("rr_ms").get<std::int32_t>();
        beat.correlation = entry.at("correlation").get<float>();
        beat.low_correlation = entry.at("low_correlation").get<bool>();
        beat.at_scatter = entry.at("at_scatter").get<bool>();
        if (!read_lead_times(entry.at("AT_ms").get<std::string>(), beat.activation_ms) ||
            !read_lead_times(entry.at("RT_ms").get<std::string>(), beat.recovery_ms)) {
            reason = "beat " + std::to_string(analysis.beats.size() + 1) + " has not " +
                     std::to_string(lead_count) + " whole numbers for AT_ms and RT_ms";
            return false;
        }
        analysis.beats.push_back(beat);
    }
    return true;
}

Json corrections_json(const std::vector<HandCorrection>& corrections) {
    Json list = Json::array();
    for (const HandCorrection& correction : corrections) {
        Json marks = Json::array();
        for (const MarkChange& change : correction.marks)
            marks.push_back(
                {{"mark", change.mark}, {"from", change.from_row}, {"to", change.to_row}});
        Json entry = {{"corrected_at", correction.corrected_at}, {"marks", marks}};
        if (correction.bad_leads_to)
            entry["bad_leads"] = {{"from", *correction.bad_leads_from},
                                  {"to", *correction.bad_leads_to}};
        list.push_back(entry);
    }
    return list;
}

// Records of analyses never corrected have none.
std::vector<HandCorrection> corrections_of(const Json& json) {
    std::vector<HandCorrection> corrections;
    for (const Json& entry : json.value("corrections", Json::array())) {
        HandCorrection correction;
        correction.corrected_at = entry.at("corrected_at").get<std::string>();
        for (const Json& change : entry.at("marks"))
            correction.marks.push_back({change.at("mark").get<std::string>(),
                                        change.at("from").get<std::int32_t>(),
                                        change.at("to").get<std::int32_t>()});
        if (entry.contains("bad_leads")) {
            correction.bad_leads_from = entry.at("bad_leads").at("from").get<std::vector<int>>();
            correction.bad_leads_to = entry.at("bad_leads").at("to").get<std::vector<int>>();
        }
        corrections.push_back(std::move(correction));
    }
    return corrections;
}

bool read_status(const std::string& name, AnalysisStatus& status, std::string& reason) {
    for (AnalysisStatus known : statuses)
        if (name == status_name(known)) {
            status = known;
            return true;
        }
    reason = "its status \"" + name + "\" is none of ok, check, failed, stopped, corrected";
    return false;
}

// Everything but the leads and the status, which can be refused.
void read_fields(const Json& json, RecordingAnalysis& analysis) {
    analysis.name = json.at("name").get<std::string>();
    analysis.source = json.at("source").get<std::string>();
    analysis.source_checksum = json.at("source_checksum").get<std::string>();
    analysis.settings = settings_of(json.at("settings"));
    analysis.display_leads = json.at("display_leads").get<std::array<int, display_lead_count>>();
    analysis.reason = json.at("reason").get<std::string>();
    analysis.note = json.at("note").get<std::string>();
    analysis.beats_found = json.at("beats_found").get<int>();
    analysis.template_beat = json.at("template_beat").get<int>();
    analysis.accepted = accepted_of(json.at("accepted_beats"));
    analysis.averaging_count = json.at("averaging_count").get<int>();
    analysis.marks = marks_of(json.at("marks"));
    analysis.ari_settings = ari_settings_of(json.at("ari_settings"));
    analysis.spatial_rules = json.value("spatial_rules", std::string());
    analysis.program_version = json.at("program_version").get<std::string>();
    analysis.analysed_at = json.at("analysed_at").get<std::string>();
    analysis.corrections = corrections_of(json);
}

}  // namespace

std::string now_in_utc() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string source_checksum(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3u;
    }
    char text[32];
    std::snprintf(text, sizeof text, "fnv1a64:%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string study_record_text(const RecordingAnalysis& analysis) {
    Json record = {
        {"record_version", record_version},
        {"name", analysis.name},
        {"source", analysis.source},
        {"source_checksum", analysis.source_checksum},
        {"settings", settings_json(analysis.settings)},
        {"display_leads", analysis.display_leads},
        {"status", status_name(analysis.status)},
        {"reason", analysis.reason},
        {"note", analysis.note},
        {"beats_found", analysis.beats_found},
        {"template_beat", analysis.template_beat},
        {"accepted_beats", accepted_json(analysis.accepted)},
        {"averaging_count", analysis.averaging_count},
        {"marks", marks_json(analysis.marks)},
        {"ari_settings", ari_settings_json(analysis.ari_settings)},
        {"leads", leads_json(analysis)},
        {"spatial_rules", analysis.spatial_rules},
        {"beats", beats_json(analysis.beats)},
        {"program_version", analysis.program_version},
        {"analysed_at", analysis.analysed_at},
    };
    // A record never corrected reads as it did before corrections were kept.
    if (!analysis.corrections.empty())
        record["corrections"] = corrections_json(analysis.corrections);
    return record.dump(2) + "\n";
}

bool read_study_record(std::string_view text, RecordingAnalysis& analysis, std::string& reason) {
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        reason = "it is not a JSON object";
        return false;
    }
    try {
        if (json.at("record_version").get<int>() != record_version) {
            reason = "it is a record of another version of the program";
            return false;
        }
        RecordingAnalysis read;
        read_fields(json, read);
        if (!read_status(json.at("status").get<std::string>(), read.status, reason) ||
            !read_leads(json.at("leads"), read, reason) || !read_beats(json, read, reason))
            return false;
        analysis = std::move(read);
        return true;
    } catch (const nlohmann::json::exception& error) {
        reason = error.what();
        return false;
    }
}

}  // namespace mapari
