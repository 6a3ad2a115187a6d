#include "app/import_command.hpp"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/command_options.hpp"
#include "dialogue/settings.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/quoted.hpp"
#include "importing/import.hpp"
#include "importing/recording_check.hpp"

namespace mapari {

const char* const import_usage_text =
    "usage: mapari-import SOURCE --data-dir DIR --name NAME [--leads MAP.csv] [--rate-hz R]\n"
    "                    [--variable V] [--repeat-every MS]\n"
    "       mapari-import --check FILE.dat\n"
    "       mapari-import --help | --version\n"
    "  SOURCE       EDF, BDF, GDF and the other formats BioSig reads; a WFDB record's .hea;\n"
    "               a MATLAB matrix; CSV or TSV text (one column a signal)\n"
    "  --name NAME  the pieces are NAME001.dat, NAME002.dat, ... (32 s every 28 s)\n"
    "  --leads      lines 'lead,signal': lead 1-64 or aux1-aux8, signal a label or number\n"
    "  --rate-hz    the rate of a source that states none (MATLAB, text)\n"
    "  --variable   the MATLAB matrix to take when the file holds several\n"
    "  --repeat-every  a single beat (a source under 4 s) repeated every MS ms, 32 s in all\n";

std::optional<double> read_rate_hz(std::string_view text) {
    const std::optional<double> rate = real_number(text);
    if (!rate || *rate <= 0.0) return std::nullopt;
    return rate;
}

std::optional<int> read_repeat_every_ms(std::string_view text) {
    const std::optional<std::int64_t> period = whole_number(text, 1, importing::longest_repeat_ms);
    if (!period) return std::nullopt;
    return static_cast<int>(*period);
}

std::string repeat_every_wanted() {
    return "a whole number of milliseconds from 1 to " +
           std::to_string(importing::longest_repeat_ms);
}

namespace {

struct ImportOptions {
    importing::ImportRequest request;
    std::string check_path;
};

// Why the options make no import and no check, or empty.
std::string unusable(const ImportOptions& options) {
    const importing::ImportRequest& request = options.request;
    if (!options.check_path.empty()) {
        if (!request.source.empty() || !request.name.empty() || !request.data_directory.empty())
            return "--check goes alone";
        return {};
    }
    if (request.source.empty()) return "name the source recording";
    if (request.data_directory.empty() || request.name.empty())
        return "--data-dir and --name are needed";
    return {};
}

CommandLineReading parse_import_arguments(const std::vector<std::string>& arguments,
                                          ImportOptions& options) {
    importing::ImportRequest& request = options.request;
    const CommandOptions table = {
        text_option("--data-dir", request.data_directory),
        text_option("--name", request.name),
        text_option("--leads", request.lead_map),
        text_option("--variable", request.variable),
        text_option("--check", options.check_path),
        {"--rate-hz", true,
         [&request](const std::string& text) {
             const std::optional<double> rate = read_rate_hz(text);
             if (rate) request.rate_hz = *rate;
             return rate.has_value();
         },
         std::string(rate_wanted)},
        {"--repeat-every", true,
         [&request](const std::string& text) {
             const std::optional<int> period = read_repeat_every_ms(text);
             if (period) request.repeat_every_ms = *period;
             return period.has_value();
         },
         repeat_every_wanted()},
    };
    const CommandWord take_source = [&request](const std::string& word) -> std::string {
        if (!request.source.empty()) return "one source at a time: '" + word + "' is a second one";
        request.source = word;
        return {};
    };
    CommandLineReading reading = read_command_line(arguments, table, take_source);
    if (reading.goes_on()) reading.error = unusable(options);
    return reading;
}

int run_check(const std::string& path, std::ostream& out, std::ostream& errors) {
    std::string bytes, reason;
    if (!read_whole_file(path, bytes, reason)) {
        errors << "mapari-import: cannot read " << path << ": " << reason << '\n';
        return exit_failure;
    }
    const importing::RecordingCheck check = importing::check_recording_bytes(bytes);
    out << path << ": " << importing::check_report(check);
    return check.plausible() ? exit_normal : exit_failure;
}

std::string seconds_text(long long frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(frames) / 1000.0);
    return text;
}

// A note when the dialogue's display leads get no signal from the lead map,
// with three leads that do (the lowest numbered, repeated when fewer are fed).
std::string display_leads_note(const importing::LeadMap& map) {
    std::vector<int> unfed, fed;
    for (int lead : dialogue_display_leads)
        if (map.signal_of_lead(lead) < 0) unfed.push_back(lead);
    for (int lead = 1; lead <= lead_count; ++lead)
        if (map.signal_of_lead(lead) >= 0) fed.push_back(lead);
    if (unfed.empty() || fed.empty()) return {};
    std::vector<int> shown;
    for (std::size_t k = 0; k < dialogue_display_leads.size(); ++k)
        shown.push_back(fed[k % fed.size()]);
    const bool one = unfed.size() == 1;
    return std::string("note: the default display ") + (one ? "lead " : "leads ") +
           joined_numbers(unfed, ", ") + (one ? " gets" : " get") +
           " no signal; give display leads that do, e.g. mapari-batch --leads " +
           joined_numbers(shown, ",") + "\n";
}

}  // namespace

std::string import_summary(const importing::ImportRequest& request,
                           const importing::ImportReport& report) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", report.source_rate_hz);
    std::ostringstream out;
    out << "read " << request.source.string() << ": " << report.format << ", "
        << report.labels.size() << " signals at " << rate << " Hz, "
        << seconds_text(report.source_frames) << '\n'
        << (report.resampled ? "resampled to 1000 Hz; " : "") << report.microvolts_per_count
        << " microvolts a count\n";
    if (request.repeat_every_ms > 0)
        out << "repeated the " << report.source_frames << "-ms beat every "
            << request.repeat_every_ms << " ms for " << seconds_text(importing::repeated_frames)
            << '\n';
    out << "wrote " << report.pieces.size() << (report.pieces.size() == 1 ? " piece" : " pieces")
        << " to " << request.data_directory.string() << ": " << report.pieces.front().file_name;
    if (report.pieces.size() > 1) out << " to " << report.pieces.back().file_name;
    out << ", and " << request.name << ".import.json\n";
    for (const std::string& warning : report.warnings) out << "note: " << warning << '\n';
    out << display_leads_note(report.map);
    for (const auto& [channel, samples] : report.clipped)
        out << "clipped: channel " << channel << ", " << samples << " samples\n";
    return out.str();
}

int run_import_command(const std::vector<std::string>& arguments, std::ostream& out,
                       std::ostream& errors, bool progress_shown) {
    ImportOptions options;
    const CommandLineReading reading = parse_import_arguments(arguments, options);
    if (const std::optional<int> exit_code =
            first_answer("mapari-import", reading, import_usage_text, out, errors))
        return *exit_code;
    if (!options.check_path.empty()) return run_check(options.check_path, out, errors);
    options.request.program = std::string("mapari-import ") + MAPARI_VERSION;
    importing::ImportProgress progress;
    if (progress_shown)
        progress = [&errors](std::string_view stage, double share_done) {
            errors << '\r' << stage << ' ' << static_cast<int>(share_done * 100.0) << "%   "
                   << std::flush;
        };
    importing::ImportReport report;
    std::string error;
    const bool imported = importing::import_recording(options.request, progress, report, error);
    if (progress_shown) errors << "\r                              \r" << std::flush;
    if (!imported) {
        errors << "mapari-import: " << error << '\n';
        return exit_failure;
    }
    out << import_summary(options.request, report);
    return exit_normal;
}

}  // namespace mapari
