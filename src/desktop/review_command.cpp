#include "desktop/review_command.hpp"

#include <QGuiApplication>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>

#include "desktop/review_painter.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "review/review_layout.hpp"
#include "review/study_report.hpp"
#include "review/svg_picture.hpp"

namespace mapari::review {

const char* const review_usage =
    "usage: mapari-review NAME.ari [--ds NAME.ds] [--layout LAYOUT.csv] [--recovery-delay R] "
    "[-o OUT]\n"
    "       mapari-review --results TABLE.csv [--layout LAYOUT.csv] [-o OUT | --html]\n"
    "       mapari-review --help | --version\n"
    "  writes OUT.png, OUT.pdf and OUT.csv (OUT defaults to NAME); an OUT ending in\n"
    "  .png, .pdf, .svg or .csv is the one file written, in that format\n"
    "  --results TABLE.csv   instead of one .ari file, a batch analysis's table of results:\n"
    "                        writes OUT.pdf, the maps of each recording on a page of its\n"
    "                        own (OUT defaults to TABLE)\n"
    "  --html                with --results: the study in a browser instead, a table of\n"
    "                        every recording and a page each, in report/ beside TABLE\n"
    "  --ds NAME.ds          add the review sheet of the saved beat's 64 traces\n"
    "  --layout LAYOUT.csv   electrode positions, one line 'lead, x, y' per lead\n"
    "                        (default: an 8 x 8 grid, lead 1 top left, rows of 8)\n"
    "  --recovery-delay R    the minimum recovery delay r of the session, in samples\n"
    "                        (default 100); RT = J + r - P is flagged as a default\n";

namespace {

// The formats a review is written in, by the extension of their file.
constexpr std::array<std::string_view, 4> picture_extensions = {".png", ".pdf", ".svg", ".csv"};
// What a review writes when OUT names no format.
constexpr std::array<std::string_view, 3> default_extensions = {".png", ".pdf", ".csv"};

bool has_extension(const std::string& path, std::string_view extension) {
    return std::filesystem::path(path).extension() == extension;
}

bool read_recovery_delay(const std::string& text, ReviewOptions& options) {
    const std::optional<std::int64_t> delay =
        whole_number(text, 1, std::numeric_limits<std::int32_t>::max());
    if (!delay) return false;
    options.request.recovery_delay_samples = static_cast<std::int32_t>(*delay);
    options.recovery_delay_given = true;
    return true;
}

// Qt's own notes (a missing XDG_RUNTIME_DIR, font lookups) say nothing about the
// review, so the program prints its own lines alone; a fatal one still ends it.
void keep_qt_notes_to_itself(QtMsgType type, const QMessageLogContext&, const QString& note) {
    if (type != QtFatalMsg) return;
    std::cerr << "mapari-review: " << note.toStdString() << '\n';
    std::abort();
}

// Writes the bytes and says so in a line "wrote PATH", with the note after it.
bool write_output(const std::string& path, const QByteArray& bytes, std::ostream& out,
                  std::ostream& errors, const std::string& note = {}) {
    std::string reason = "the picture could not be made";
    if (!bytes.isEmpty() &&
        write_file_atomically(
            path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            reason)) {
        out << "wrote " << path << note << '\n';
        return true;
    }
    errors << "mapari-review: cannot write " << path << ": " << reason << '\n';
    return false;
}

void write_summary(const ReviewData& data, std::ostream& out) {
    int no_downstroke = 0, no_upstroke = 0, no_signal = 0;
    for (const LeadValues& lead : *data.leads) {
        no_downstroke += lead.no_downstroke ? 1 : 0;
        no_upstroke += lead.no_upstroke ? 1 : 0;
        no_signal += lead.no_signal ? 1 : 0;
    }
    out << data.title << ": " << no_downstroke << " of 64 leads without a downstroke (AT = 0), "
        << no_upstroke
        << " without an upstroke (RT = J + r - P, r = " << data.recovery_delay_samples << ")";
    if (no_signal > 0) out << ", " << no_signal << " without a signal";
    out << '\n';
}

// The input an output would replace ("the layout file"), or empty when none:
// -o next to a layout file of the same stem would write OUT.csv over it.
std::string replaced_input(const ReviewOptions& options) {
    const ReviewRequest& request = options.request;
    const std::pair<const std::string*, const char*> inputs[] = {
        {&request.ari_path, "the .ari file"},
        {&request.ds_path, "the .ds file"},
        {&request.layout_path, "the layout file"},
        {&options.results_path, "the results table"}};
    std::error_code ignored;
    for (const std::string& path : options.output_paths) {
        const auto output = std::filesystem::weakly_canonical(path, ignored);
        for (const auto& [input, name] : inputs)
            if (!input->empty() && std::filesystem::weakly_canonical(*input, ignored) == output)
                return path + " would replace " + name;
    }
    return {};
}

// The files a review of one .ari file writes: OUT alone when its extension
// names a format, else OUT with each default extension added.
std::vector<std::string> picture_outputs(const std::string& base) {
    for (std::string_view extension : picture_extensions)
        if (has_extension(base, extension)) return {base};
    std::vector<std::string> paths;
    for (std::string_view extension : default_extensions)
        paths.push_back(base + std::string(extension));
    return paths;
}

// Why OUT cannot be the results' PDF, or empty; the PDF's path goes to options.
std::string take_results_output(ReviewOptions& options) {
    const std::string& base = options.output_base;
    if (has_extension(base, ".pdf")) {
        options.output_paths = {base};
        return {};
    }
    for (std::string_view extension : picture_extensions)
        if (has_extension(base, extension)) return "--results writes a PDF, not " + base;
    options.output_paths = {base + ".pdf"};
    return {};
}

// Why OUT cannot be written, or empty; the paths to write go to options.
std::string take_outputs(ReviewOptions& options) {
    if (options.results_path.empty()) {
        options.output_paths = picture_outputs(options.output_base);
        return {};
    }
    if (options.html) return {};
    return take_results_output(options);
}

// The picture, or the table of the leads' values, in the format the path's extension names.
QByteArray picture_bytes(const std::string& path, const ReviewPicture& picture,
                         const ReviewData& data) {
    if (has_extension(path, ".png")) return qt::review_png(picture);
    if (has_extension(path, ".pdf")) return qt::review_pdf(picture);
    if (has_extension(path, ".svg")) return QByteArray::fromStdString(svg_picture(picture));
    return QByteArray::fromStdString(review_csv(*data.leads));
}

// Why the options cannot go with --results, or empty: the table takes the
// place of the .ari file, and holds neither a beat nor r.
std::string results_conflict(const ReviewOptions& options) {
    const ReviewRequest& request = options.request;
    if (!request.ari_path.empty())
        return "--results cannot be combined with an .ari file (" + request.ari_path + ")";
    if (!request.ds_path.empty()) return "--results cannot be combined with --ds";
    if (options.recovery_delay_given)
        return "--results cannot be combined with --recovery-delay: the table's flags mark the "
               "defaults";
    if (options.html && !options.output_base.empty())
        return "--html writes the report beside the table, in its folder report/; it takes no -o";
    return {};
}

// Why the options name nothing to review, or empty.
std::string missing_input(const ReviewOptions& options) {
    if (!options.results_path.empty()) return results_conflict(options);
    if (options.html) return "--html goes with --results: it writes a study's report";
    if (options.request.ari_path.empty()) return "name the .ari file to review";
    return {};
}

// Every recording of the results table on a page of its own, in one PDF.
int review_results(const ReviewOptions& options, std::ostream& out, std::ostream& errors) {
    std::vector<ReviewData> recordings;
    std::string message;
    if (!load_results_review({options.results_path, options.request.layout_path}, recordings,
                             message)) {
        errors << "mapari-review: " << message << '\n';
        return exit_failure;
    }
    std::vector<ReviewPicture> pages;
    pages.reserve(recordings.size());
    for (const ReviewData& recording : recordings) pages.push_back(lay_out_review(recording));
    const std::string title =
        "Review of " + std::filesystem::path(options.results_path).filename().string();
    const std::string count =
        pages.size() == 1 ? "1 recording" : std::to_string(pages.size()) + " recordings";
    const bool written = write_output(options.output_paths.front(), qt::review_pdf(pages, title),
                                      out, errors, " (" + count + ")");
    return written ? exit_normal : exit_failure;
}

// The study's report in report/ beside the table.
int review_results_in_html(const ReviewOptions& options, std::ostream& out, std::ostream& errors) {
    int pages = 0;
    std::string message;
    if (!write_study_report({options.results_path, options.request.layout_path}, pages, message)) {
        errors << "mapari-review: " << message << '\n';
        return exit_failure;
    }
    out << "wrote "
        << (std::filesystem::path(report_folder(options.results_path)) / "index.html").string()
        << " and the pages of "
        << (pages == 1 ? "1 recording" : std::to_string(pages) + " recordings") << '\n';
    return exit_normal;
}

}  // namespace

CommandLineReading parse_review_arguments(const std::vector<std::string>& arguments,
                                          ReviewOptions& options) {
    ReviewRequest& request = options.request;
    const CommandOptions table = {
        text_option("--ds", request.ds_path),
        text_option("--layout", request.layout_path),
        text_option("-o", options.output_base),
        text_option("--results", options.results_path),
        flag_option("--html", options.html),
        {"--recovery-delay", true,
         [&options](const std::string& text) { return read_recovery_delay(text, options); },
         "a whole number of samples from 1 on"},
    };
    const CommandWord take_ari = [&request](const std::string& word) -> std::string {
        if (!request.ari_path.empty())
            return "one .ari file at a time (" + request.ari_path + " and " + word + ")";
        request.ari_path = word;
        return {};
    };
    CommandLineReading reading = read_command_line(arguments, table, take_ari);
    if (reading.goes_on()) reading.error = missing_input(options);
    if (!reading.goes_on()) return reading;
    const std::string& input =
        options.results_path.empty() ? options.request.ari_path : options.results_path;
    if (options.output_base.empty())
        options.output_base = std::filesystem::path(input).replace_extension().string();
    reading.error = take_outputs(options);
    if (reading.error.empty()) reading.error = replaced_input(options);
    return reading;
}

int run_review(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& errors) {
    ReviewOptions options;
    const CommandLineReading reading = parse_review_arguments(arguments, options);
    if (const std::optional<int> exit_code =
            first_answer("mapari-review", reading, review_usage, out, errors))
        return *exit_code;
    if (options.html) return review_results_in_html(options, out, errors);
    if (!options.results_path.empty()) return review_results(options, out, errors);
    ReviewData data;
    std::string error;
    if (!load_review(options.request, data, error)) {
        errors << "mapari-review: " << error << '\n';
        return exit_failure;
    }
    const ReviewPicture picture = lay_out_review(data);
    // Each file is made whole in memory and written through a temporary name.
    bool written = true;
    for (const std::string& path : options.output_paths)
        written = written && write_output(path, picture_bytes(path, picture, data), out, errors);
    if (!written) return exit_failure;
    write_summary(data, out);
    return exit_normal;
}

int review_program(int argc, char** argv) {
    fail_writes_at_the_file_size_limit();
    // Pictures are painted off screen unless another platform is asked for: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(keep_qt_notes_to_itself);
    // Qt sees only the program's name, so that no argument is taken as one of Qt's own.
    int qt_argc = 1;
    QGuiApplication application(qt_argc, argv);
    return run_review({argv + 1, argv + argc}, std::cout, std::cerr);
}

}  // namespace mapari::review
