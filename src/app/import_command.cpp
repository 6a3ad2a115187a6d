#include "app/import_command.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/first_answers.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "importing/import.hpp"
#include "importing/recording_check.hpp"

namespace mapari {

const char* const import_usage_text =
    "usage: mapari-import SOURCE --data-dir DIR --name NAME [--leads MAP.csv] [--rate-hz R]\n"
    "                    [--variable V]\n"
    "       mapari-import --check FILE.dat\n"
    "       mapari-import --help | --version\n"
    "  SOURCE       EDF, BDF, GDF and the other formats BioSig reads; a WFDB record's .hea;\n"
    "               a MATLAB matrix; CSV or TSV text (one column a signal)\n"
    "  --name NAME  the pieces are NAME001.dat, NAME002.dat, ... (32 s every 28 s)\n"
    "  --leads      lines 'lead,signal': lead 1-64 or aux1-aux8, signal a label or number\n"
    "  --rate-hz    the rate of a source that states none (MATLAB, text)\n"
    "  --variable   the MATLAB matrix to take when the file holds several\n";

namespace {

struct ImportOptions {
    importing::ImportRequest request;
    std::string check_path;
    bool help = false, version = false;
};

std::optional<double> rate_of(const std::string& text) {
    double rate = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(rate) ||
        rate <= 0.0)
        return std::nullopt;
    return rate;
}

// The value an option names into `target`; false with the error when it is missing.
bool take(const std::vector<std::string>& arguments, std::size_t& k, std::string& target,
          std::string& error) {
    if (k + 1 >= arguments.size()) {
        error = arguments[k] + " needs a value";
        return false;
    }
    target = arguments[++k];
    return true;
}

bool take_option(const std::vector<std::string>& arguments, std::size_t& k, ImportOptions& options,
                 std::string& error) {
    const std::string& word = arguments[k];
    importing::ImportRequest& request = options.request;
    std::string value;
    if (word == "--data-dir" || word == "--name" || word == "--leads" || word == "--variable" ||
        word == "--check" || word == "--rate-hz") {
        if (!take(arguments, k, value, error)) return false;
    }
    if (word == "--data-dir")
        request.data_directory = value;
    else if (word == "--name")
        request.name = value;
    else if (word == "--leads")
        request.lead_map = value;
    else if (word == "--variable")
        request.variable = value;
    else if (word == "--check")
        options.check_path = value;
    else if (word == "--rate-hz") {
        const std::optional<double> rate = rate_of(value);
        if (!rate) {
            error = "--rate-hz takes a rate in hertz above 0, not \"" + value + "\"";
            return false;
        }
        request.rate_hz = *rate;
    } else if (word.starts_with("-")) {
        error = "unknown option '" + word + "'";
        return false;
    } else if (request.source.empty()) {
        request.source = word;
    } else {
        error = "one source at a time: '" + word + "' is a second one";
        return false;
    }
    return true;
}

std::optional<ImportOptions> parse_import_arguments(const std::vector<std::string>& arguments,
                                                    std::string& error) {
    ImportOptions options;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        if (arguments[k] == "--help" || arguments[k] == "--version") {
            (arguments[k] == "--help" ? options.help : options.version) = true;
            return options;
        }
        if (!take_option(arguments, k, options, error)) return std::nullopt;
    }
    const importing::ImportRequest& request = options.request;
    if (!options.check_path.empty()) {
        if (!request.source.empty() || !request.name.empty() || !request.data_directory.empty())
            error = "--check goes alone";
    } else if (request.source.empty()) {
        error = "name the source recording";
    } else if (request.data_directory.empty() || request.name.empty()) {
        error = "--data-dir and --name are needed";
    }
    if (!error.empty()) return std::nullopt;
    return options;
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

}  // namespace

std::string import_summary(const importing::ImportRequest& request,
                           const importing::ImportReport& report) {
    long long frames = 0;
    for (const importing::ImportedPiece& piece : report.pieces)
        frames = std::max(frames, piece.first_frame + piece.frames);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", report.source_rate_hz);
    std::ostringstream out;
    out << "read " << request.source.string() << ": " << report.format << ", "
        << report.labels.size() << " signals at " << rate << " Hz, " << seconds_text(frames) << '\n'
        << (report.resampled ? "resampled to 1000 Hz; " : "") << report.microvolts_per_count
        << " microvolts a count\n"
        << "wrote " << report.pieces.size() << (report.pieces.size() == 1 ? " piece" : " pieces")
        << " to " << request.data_directory.string() << ": " << report.pieces.front().file_name;
    if (report.pieces.size() > 1) out << " to " << report.pieces.back().file_name;
    out << ", and " << request.name << ".import.json\n";
    for (const std::string& warning : report.warnings) out << "note: " << warning << '\n';
    for (const auto& [channel, samples] : report.clipped)
        out << "clipped: channel " << channel << ", " << samples << " samples\n";
    return out.str();
}

int run_import_command(const std::vector<std::string>& arguments, std::ostream& out,
                       std::ostream& errors, bool progress_shown) {
    std::string error;
    std::optional<ImportOptions> options = parse_import_arguments(arguments, error);
    if (const std::optional<int> exit_code =
            first_answer("mapari-import", options, error, import_usage_text, out, errors))
        return *exit_code;
    if (!options->check_path.empty()) return run_check(options->check_path, out, errors);
    options->request.program = std::string("mapari-import ") + MAPARI_VERSION;
    importing::ImportProgress progress;
    if (progress_shown)
        progress = [&errors](std::string_view stage, double share_done) {
            errors << '\r' << stage << ' ' << static_cast<int>(share_done * 100.0) << "%   "
                   << std::flush;
        };
    importing::ImportReport report;
    const bool imported = importing::import_recording(options->request, progress, report, error);
    if (progress_shown) errors << "\r                              \r" << std::flush;
    if (!imported) {
        errors << "mapari-import: " << error << '\n';
        return exit_failure;
    }
    out << import_summary(options->request, report);
    return exit_normal;
}

}  // namespace mapari
