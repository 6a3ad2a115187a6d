// mapari-review: the review of one session's results as pictures and a table,
// or of a batch analysis's results as one PDF.
//
//   mapari-review NAME.ari [--ds NAME.ds] [--layout LAYOUT.csv]
//                 [--recovery-delay R] [-o OUT]
//   mapari-review --results TABLE.csv [--layout LAYOUT.csv] [-o OUT | --html]
//
// The first writes OUT.png and OUT.pdf (the three maps and, with --ds, the
// review sheet) and OUT.csv (lead, AT_ms, RT_ms, ARI_ms, flags); OUT defaults
// to the .ari path without its extension. An OUT that ends in .png, .pdf, .svg
// or .csv is the one file written, in that format. The second writes OUT.pdf,
// the maps of every recording of the table on a page of its own; OUT defaults
// to the table's path without its extension. With --html it writes the
// study's report in the table's folder instead (study_report.hpp). Exit
// codes: 0 done, 1 a file that cannot be read, used or written (the message
// names it), 2 a wrong command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/command_options.hpp"
#include "review/review_input.hpp"

namespace mapari::review {

extern const char* const review_usage;

struct ReviewOptions {
    ReviewRequest request;
    std::string results_path;  // a results table to review instead of the request's .ari file
    bool recovery_delay_given = false;
    bool html = false;        // the study's report instead of the PDF
    std::string output_base;  // OUT as given, or its default
    // The files to write: OUT alone when its extension names a format,
    // otherwise OUT with each format's extension added.
    std::vector<std::string> output_paths;
};

// Reads the command line (without the program name) into the options, OUT
// given its default.
CommandLineReading parse_review_arguments(const std::vector<std::string>& arguments,
                                          ReviewOptions& options);

// The whole program on its arguments. Needs a QGuiApplication for the painting.
int run_review(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& errors);

// The program as started: Qt on the offscreen platform unless another is
// asked for, Qt's own notes kept back, then run_review on the arguments.
int review_program(int argc, char** argv);

}  // namespace mapari::review
