#include "app/validate_command.hpp"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <system_error>

#include "app/batch_analysis.hpp"
#include "app/batch_tables.hpp"
#include "app/command_options.hpp"
#include "app/validation.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/messages.hpp"
#include "importing/import.hpp"
#include "importing/wfdb_annotations.hpp"
#include "importing/wfdb_header.hpp"

namespace mapari {

const char* const validate_usage_text =
    "usage: mapari-validate RECORD.hea... [--annotator q1c|q2c|ludb] [--reference q1c|q2c]\n"
    "                       [--t-end trapezium|tangent|independent] [--out DIR] [--lang ja|en]\n"
    "       mapari-validate --help | --version\n"
    "  RECORD.hea   a WFDB record with cardiologists' marks beside it\n"
    "  --annotator  q1c or q2c: the QT Database's RECORD.q1c or .q2c; ludb: one file a lead\n"
    "               (RECORD.i ... RECORD.v6); default: q1c where it exists, else ludb\n"
    "  --reference  q1c or q2c, a cardiologist other than the annotator: their marks of the\n"
    "               same beats are measured against the annotator's too; a record without\n"
    "               them is named and measured without\n"
    "  --t-end      the T end measured: trapezium, the mark (default); tangent, the tangent\n"
    "               at each lead's steepest fall met with its iso-electric level;\n"
    "               independent, the cube-root line on the RMS's fall, the second estimate\n"
    "               the batch checks the T end against\n"
    "  --out DIR    where validation.csv goes (default: the current folder)\n"
    "  --lang ja|en the language of messages (default ja); the table and summary are English\n";

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 12> ludb_leads = {"i",  "ii", "iii", "avr", "avl", "avf",
                                                    "v1", "v2", "v3",  "v4",  "v5",  "v6"};

struct ValidateOptions {
    std::vector<fs::path> records;
    std::string annotator;  // empty: chosen by the files beside each record
    std::string reference;  // a second cardiologist to compare; empty: none
    std::string t_end_method = "trapezium";
    fs::path out = ".";
    Language language = Language::japanese;
};

// An option whose value is one of `choices`; `wanted` says them in a refusal.
CommandOption choice_option(std::string name, std::string& target, std::vector<std::string> choices,
                            std::string wanted) {
    return {std::move(name), true,
            [&target, choices = std::move(choices)](const std::string& text) {
                target = text;
                return std::find(choices.begin(), choices.end(), text) != choices.end();
            },
            std::move(wanted)};
}

// Why the reference cannot be compared with the annotator; empty when it can.
// Without --annotator a QT Database record is measured against q1c.
std::string reference_refusal(const ValidateOptions& options) {
    if (options.reference.empty()) return {};
    if (options.reference == options.annotator)
        return "--reference and --annotator name the same cardiologist, " + options.reference;
    if (options.annotator.empty() && options.reference == "q1c")
        return "--reference q1c is the annotator by default: name another with --annotator";
    return {};
}

// Another T end measured in the mark's place; the analysis itself is the
// same. The independent estimate is none (0) where the RMS's edge stood in
// for the mark: then it is the mark.
void measure_t_end_by(const std::string& method, AutomaticMarks& marks) {
    if (method == "tangent") marks.t_end = marks.t_end_tangent;
    if (method == "independent" && marks.t_end_independent != 0)
        marks.t_end = marks.t_end_independent;
}

CommandLineReading parse_validate_arguments(const std::vector<std::string>& arguments,
                                            ValidateOptions& options) {
    const CommandOptions table = {
        choice_option("--annotator", options.annotator, {"q1c", "q2c", "ludb"}, "q1c, q2c or ludb"),
        choice_option("--reference", options.reference, {"q1c", "q2c"}, "q1c or q2c"),
        choice_option("--t-end", options.t_end_method, {"trapezium", "tangent", "independent"},
                      "trapezium, tangent or independent"),
        text_option("--out", options.out),
        language_option([&options](Language language) { options.language = language; }),
    };
    const CommandWord take_record = [&options](const std::string& word) {
        options.records.emplace_back(word);
        return std::string();
    };
    CommandLineReading reading = read_command_line(arguments, table, take_record);
    if (reading.goes_on() && options.records.empty()) reading.error = "name the records to measure";
    if (reading.goes_on()) reading.error = reference_refusal(options);
    return reading;
}

// One record's marks as its annotator gave them, one per beat.
struct ExpertRecord {
    std::string annotator;
    std::vector<importing::ExpertBeat> beats;
};

bool read_marks(const fs::path& file, std::vector<importing::ExpertBeat>& beats,
                std::string& reason) {
    std::vector<importing::Annotation> annotations;
    if (!importing::read_wfdb_annotations(file, annotations, reason)) {
        reason = file.string() + ": " + reason;
        return false;
    }
    beats = importing::expert_beats(annotations);
    return true;
}

bool read_expert_record(const fs::path& header, const std::string& annotator, ExpertRecord& record,
                        std::string& reason) {
    const fs::path stem = fs::path(header).replace_extension();
    record.annotator = annotator;
    if (record.annotator.empty())
        record.annotator = fs::exists(stem.string() + ".q1c") ? "q1c" : "ludb";
    if (record.annotator != "ludb")
        return read_marks(stem.string() + "." + record.annotator, record.beats, reason);
    std::vector<std::vector<importing::ExpertBeat>> leads(ludb_leads.size());
    for (std::size_t l = 0; l < ludb_leads.size(); ++l)
        if (!read_marks(stem.string() + "." + ludb_leads[l], leads[l], reason)) return false;
    record.beats = importing::beats_over_leads(leads);
    return true;
}

// The second cardiologist's marks of a record, when asked for. A record
// without their file is measured without them; so is one whose file cannot be
// read, and that is a failure. `note` says why there are none.
struct ReferenceMarks {
    std::vector<importing::ExpertBeat> beats;
    bool read = false;
    bool failed = false;
    std::string note;
};

ReferenceMarks read_reference(const fs::path& header, const std::string& reference) {
    ReferenceMarks marks;
    if (reference.empty()) return marks;
    const fs::path file = fs::path(header).replace_extension(reference);
    const std::string without =
        header.stem().string() + " is measured without the reference " + reference;
    std::error_code ignored;
    if (!fs::exists(file, ignored)) {
        marks.note = file.string() + " is absent: " + without;
        return marks;
    }
    marks.read = read_marks(file, marks.beats, marks.note);
    marks.failed = !marks.read;
    if (marks.failed) marks.note += ": " + without;
    return marks;
}

bool read_rate_hz(const fs::path& header, double& rate_hz, std::string& reason) {
    std::string text;
    importing::WfdbHeader parsed;
    if (!read_whole_file(header.string(), text, reason) ||
        !importing::parse_wfdb_header(text, parsed, reason)) {
        reason = header.string() + ": " + reason;
        return false;
    }
    rate_hz = parsed.rate_hz;
    return true;
}

// A folder of its own for one record's pieces and sessions, inside `parent`,
// removed with everything in it when it goes.
class WorkFolder {
  public:
    explicit WorkFolder(const fs::path& parent) {
        std::string pattern = (parent / ".mapari-validate-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~WorkFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// One stretch measured.
struct StretchResult {
    std::string record, annotator;
    StretchPlace place;
    RecordingAnalysis analysis;
    ExpertRows expert;
    std::string reference;      // empty when the record has no reference marks
    ExpertRows reference_rows;  // the reference's marks of the same accepted beats
    // Accepted beats its beat labels call premature ventricular; none without RECORD.atr.
    std::optional<int> premature_ventricular;
};

std::int32_t automatic_row(const AutomaticMarks& marks, MarkKind kind) {
    switch (kind) {
        case MarkKind::q_onset:
            return marks.q_onset;
        case MarkKind::j_point:
            return marks.j_point;
        case MarkKind::t_end:
            return marks.t_end;
    }
    return 0;
}

// The error of a mark in ms (rows are ms apart): automatic less the
// cardiologists'; none where either is missing or the analysis failed.
std::optional<double> error_ms(const StretchResult& result, std::size_t m) {
    const std::int32_t automatic = automatic_row(result.analysis.marks, mark_kinds[m]);
    if (result.analysis.status == AnalysisStatus::failed || automatic <= 0 ||
        !result.expert.rows[m])
        return std::nullopt;
    return automatic - *result.expert.rows[m];
}

bool import_record(const fs::path& header, const fs::path& folder, importing::ImportReport& report,
                   std::string& reason) {
    importing::ImportRequest request;
    request.source = header;
    request.data_directory = folder / "data";
    request.name = "rec";
    request.program = std::string("mapari-validate ") + MAPARI_VERSION;
    std::error_code ignored;
    fs::create_directories(request.data_directory, ignored);
    if (importing::import_recording(request, {}, report, reason)) return true;
    reason = header.string() + ": " + reason;
    return false;
}

// Every stretch of the record within its marked beats, analysed and compared
// with the annotator's marks and with the reference's where `reference` has them.
bool measure_record(const fs::path& header, const ValidateOptions& options,
                    ReferenceMarks& reference, std::vector<StretchResult>& results,
                    std::string& reason) {
    ExpertRecord expert;
    double rate_hz = 0.0;
    if (!read_rate_hz(header, rate_hz, reason) ||
        !read_expert_record(header, options.annotator, expert, reason))
        return false;
    reference = read_reference(header, options.reference);
    std::vector<importing::Annotation> labels;
    const fs::path labels_file = fs::path(header).replace_extension(".atr");
    const bool labelled = fs::exists(labels_file);
    if (labelled && !importing::read_wfdb_annotations(labels_file, labels, reason)) {
        reason = labels_file.string() + ": " + reason;
        return false;
    }
    if (expert.beats.empty()) {
        reason = header.string() + ": the cardiologists marked no beat";
        return false;
    }
    const WorkFolder work(options.out);
    importing::ImportReport report;
    if (work.path().empty()) {
        reason = "cannot make a working folder in " + options.out.string();
        return false;
    }
    if (!import_record(header, work.path(), report, reason)) return false;
    std::vector<PieceSpan> pieces;
    for (const importing::ImportedPiece& piece : report.pieces)
        pieces.push_back({piece.first_frame, piece.frames});
    std::vector<double> beats_ms;
    for (const importing::ExpertBeat& beat : expert.beats)
        beats_ms.push_back(static_cast<double>(beat.qrs_sample) * 1000.0 / rate_hz);
    for (const StretchPlace& place : stretches_within(beats_ms, pieces)) {
        StretchResult result{header.stem().string(), expert.annotator, place, {}, {}, {}, {}, {}};
        BatchSettings settings;
        settings.display_second = place.display_second;
        const fs::path session = work.path() / ("s" + std::to_string(results.size()));
        result.analysis = analyse_recording(
            work.path() / "data" / report.pieces[place.piece].file_name, session, settings);
        measure_t_end_by(options.t_end_method, result.analysis.marks);
        result.expert = expert_rows(expert.beats, rate_hz, place, result.analysis.accepted);
        if (reference.read) {
            result.reference = options.reference;
            result.reference_rows =
                expert_rows(reference.beats, rate_hz, place, result.analysis.accepted);
        }
        if (labelled)
            result.premature_ventricular =
                premature_ventricular_beats(labels, rate_hz, place, result.analysis.accepted);
        results.push_back(std::move(result));
    }
    return true;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string optional_number(const std::optional<double>& value) {
    return value ? number(*value) : std::string();
}

// Appends a comma and the cell: one piece at a time, as gcc 12's optimiser
// takes a literal prepended to a temporary for an overlapping copy.
void append_cell(std::string& row, const std::string& cell) {
    row += ',';
    row += cell;
}

// The reference's name, matched beats, rows and errors; empty cells without it.
std::string reference_cells(const StretchResult& r) {
    if (r.reference.empty()) return std::string(2 + 2 * mark_kinds.size(), ',');
    std::string cells;
    append_cell(cells, r.reference);
    append_cell(cells, std::to_string(r.reference_rows.marked_beats));
    for (const std::optional<double>& row : r.reference_rows.rows)
        append_cell(cells, optional_number(row));
    for (std::size_t m = 0; m < mark_kinds.size(); ++m)
        append_cell(cells, optional_number(reference_error_ms(r.reference_rows, r.expert, m)));
    return cells;
}

std::string validation_table(const std::vector<StretchResult>& results) {
    std::string table = validation_header;
    for (const StretchResult& r : results) {
        table += csv_field(r.record);
        for (const std::string& cell :
             {r.annotator, std::to_string(r.place.piece + 1),
              std::to_string(r.place.display_second), std::string(status_name(r.analysis.status)),
              csv_field(r.analysis.reason), std::to_string(r.analysis.accepted.size()),
              std::to_string(r.expert.marked_beats)})
            append_cell(table, cell);
        for (MarkKind kind : mark_kinds)
            append_cell(table, std::to_string(automatic_row(r.analysis.marks, kind)));
        for (const std::optional<double>& row : r.expert.rows)
            append_cell(table, optional_number(row));
        for (std::size_t m = 0; m < mark_kinds.size(); ++m)
            append_cell(table, optional_number(error_ms(r, m)));
        table += reference_cells(r);
        append_cell(table, r.premature_ventricular ? std::to_string(*r.premature_ventricular)
                                                   : std::string());
        table += '\n';
    }
    return table;
}

std::string database_of(const std::string& annotator) {
    return annotator == "ludb" ? "LUDB" : "QT Database (" + annotator + ")";
}

std::optional<double> reference_error(const StretchResult& result, std::size_t m) {
    return reference_error_ms(result.reference_rows, result.expert, m);
}

// Count, mean, SD and mean |error| of each mark over the stretches that have one.
void print_errors(const std::vector<const StretchResult*>& stretches,
                  std::optional<double> (*error_of)(const StretchResult&, std::size_t),
                  std::ostream& out) {
    out << "  mark      count  mean ms  SD ms  mean |error| ms\n";
    for (std::size_t m = 0; m < mark_kinds.size(); ++m) {
        std::vector<double> errors;
        for (const StretchResult* r : stretches)
            if (const std::optional<double> error = error_of(*r, m)) errors.push_back(*error);
        const ErrorSummary summary = summarise_errors(errors);
        char line[128];
        std::snprintf(line, sizeof line, "  %-8s %6zu %8.1f %6.1f %16.1f\n",
                      mark_name(mark_kinds[m]), summary.count, summary.mean_ms, summary.sd_ms,
                      summary.mean_absolute_ms);
        out << line;
    }
}

// How many of the accepted beats of records with beat labels they call premature ventricular.
void print_premature_ventricular(const std::vector<const StretchResult*>& stretches,
                                 std::ostream& out) {
    std::size_t labelled = 0;
    int premature = 0;
    for (const StretchResult* r : stretches) {
        if (!r->premature_ventricular) continue;
        labelled += r->analysis.accepted.size();
        premature += *r->premature_ventricular;
    }
    if (labelled > 0)
        out << "  accepted beats labelled premature ventricular (V) in RECORD.atr: " << premature
            << " of " << labelled << '\n';
}

// How far the annotator's own marks scatter among the beats of one averaged
// beat, and how many stretches rest on the marks of one beat: the part of the
// errors' spread that is the cardiologist's, not the automatic marks'.
void print_annotator_spread(const std::vector<const StretchResult*>& stretches, std::ostream& out) {
    std::vector<const ExpertRows*> rows;
    std::size_t marked = 0;
    std::size_t one_beat = 0;
    for (const StretchResult* r : stretches) {
        rows.push_back(&r->expert);
        if (r->analysis.status == AnalysisStatus::failed || r->expert.marked_beats == 0) continue;
        ++marked;
        one_beat += r->expert.marked_beats == 1 ? 1U : 0U;
    }
    out << "  the cardiologist's own marks among the beats of one averaged beat, and the least SD\n"
           "  marks without error of their own would show against them:\n"
           "  mark      stretches  beats  SD ms  least SD ms\n";
    for (std::size_t m = 0; m < mark_kinds.size(); ++m) {
        const MarkSpread spread = pooled_spread(rows, m);
        std::vector<std::size_t> marks_per_stretch;
        for (const StretchResult* r : stretches)
            if (error_ms(*r, m)) marks_per_stretch.push_back(r->expert.beat_rows[m].size());
        char line[128];
        std::snprintf(line, sizeof line, "  %-8s %10zu %6zu %6.1f %12.1f\n",
                      mark_name(mark_kinds[m]), spread.stretches, spread.beats, spread.sd_ms,
                      spread_floor_ms(spread, marks_per_stretch));
        out << line;
    }
    out << "  analysed stretches whose marks are of one beat: " << one_beat << " of " << marked
        << '\n';
}

void print_summary(const std::vector<StretchResult>& results, std::ostream& out) {
    if (results.empty()) out << "no stretch was measured\n";
    std::map<std::string, std::vector<const StretchResult*>> databases;
    for (const StretchResult& r : results) databases[database_of(r.annotator)].push_back(&r);
    for (const auto& [database, stretches] : databases) {
        std::size_t analysed = 0;
        for (const StretchResult* r : stretches)
            analysed += r->analysis.status == AnalysisStatus::failed ? 0U : 1U;
        out << database << ": " << analysed << " of " << stretches.size() << " stretches analysed ("
            << number(100.0 * static_cast<double>(analysed) / static_cast<double>(stretches.size()))
            << " %)\n";
        print_errors(stretches, error_ms, out);
        print_premature_ventricular(stretches, out);
        print_annotator_spread(stretches, out);
        const auto compared =
            std::find_if(stretches.begin(), stretches.end(),
                         [](const StretchResult* r) { return !r->reference.empty(); });
        if (compared == stretches.end()) continue;
        out << "  cardiologist " << (*compared)->reference << " against " << (*compared)->annotator
            << ", on the same stretches:\n";
        print_errors(stretches, reference_error, out);
    }
}

int run_validate(const ValidateOptions& options, std::ostream& out, std::ostream& errors) {
    std::string no_catalogue;
    use_language(options.language, no_catalogue);
    std::error_code ignored;
    fs::create_directories(options.out, ignored);
    if (!fs::is_directory(options.out, ignored)) {
        errors << "mapari-validate: cannot make the folder " << options.out.string() << '\n';
        return exit_failure;
    }
    std::vector<StretchResult> results;
    int exit_code = exit_normal;
    for (const fs::path& record : options.records) {
        std::string reason;
        const std::size_t before = results.size();
        ReferenceMarks reference;
        const bool measured = measure_record(record, options, reference, results, reason);
        if (!reference.note.empty()) errors << "mapari-validate: " << reference.note << '\n';
        if (!measured) errors << "mapari-validate: " << reason << '\n';
        if (!measured || reference.failed) exit_code = exit_failure;
        if (!measured) continue;
        std::size_t marked = 0;
        for (std::size_t r = before; r < results.size(); ++r)
            marked += results[r].expert.marked_beats > 0 ? 1U : 0U;
        const std::size_t stretches = results.size() - before;
        out << record.string() << ": " << stretches
            << (stretches == 1 ? " stretch, " : " stretches, ") << marked
            << " with beats the cardiologists marked\n";
    }
    // A table that cannot be written (a full disk) still leaves the summary:
    // the measurement is not lost for it.
    std::string reason;
    const fs::path table = options.out / "validation.csv";
    if (!write_file_atomically(table.string(), validation_table(results), reason)) {
        errors << "mapari-validate: " << table.string() << ": " << reason << '\n';
        exit_code = exit_failure;
    }
    if (options.t_end_method == "tangent")
        out << "T end by the tangent at each lead's steepest fall, met with its iso-electric "
               "level\n";
    if (options.t_end_method == "independent")
        out << "T end by the cube-root line on the RMS's fall, the independent estimate\n";
    print_summary(results, out);
    return exit_code;
}

}  // namespace

int run_validate_command(const std::vector<std::string>& arguments, std::ostream& out,
                         std::ostream& errors) {
    ValidateOptions options;
    const CommandLineReading reading = parse_validate_arguments(arguments, options);
    if (const std::optional<int> exit_code =
            first_answer("mapari-validate", reading, validate_usage_text, out, errors))
        return *exit_code;
    return run_validate(options, out, errors);
}

}  // namespace mapari
