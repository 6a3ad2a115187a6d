// mapari-review as a whole: the files it writes, and bad input refused with a
// message that names the file and the problem, exit code 1 and no file
// written. The refusals run the program as a process, so a crash would show
// as one.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <sstream>

#include "desktop/review_command.hpp"
#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// What pdfinfo (poppler-utils) says of the PDF; empty when it is not installed.
QString pdf_report(const std::string& path) {
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty()) return {};
    QProcess info;
    info.start(pdfinfo, {QString::fromStdString(path)});
    EXPECT_TRUE(info.waitForFinished(-1));
    EXPECT_EQ(info.exitCode(), 0) << info.readAllStandardError().toStdString();
    return QString::fromUtf8(info.readAllStandardOutput());
}

// The text of the PDF by pdftotext (poppler-utils); empty when it is not installed.
QString pdf_text(const std::string& path) {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty()) return {};
    QProcess text;
    text.start(pdftotext, {QString::fromStdString(path), QStringLiteral("-")});
    EXPECT_TRUE(text.waitForFinished(-1));
    EXPECT_EQ(text.exitCode(), 0) << text.readAllStandardError().toStdString();
    return QString::fromUtf8(text.readAllStandardOutput());
}

// How often the words "no signal" stand in the text, on one line or two.
qsizetype no_signal_words(const QString& text) {
    return text.count(QRegularExpression(QStringLiteral("no\\s+signal")));
}

// The page objects of the PDF ("/Type /Page", not the "/Type /Pages" of their tree).
int page_objects(const std::string& pdf) {
    int pages = 0;
    const std::string mark = "/Type /Page";
    for (std::size_t at = pdf.find(mark); at != std::string::npos; at = pdf.find(mark, at + 1))
        pages += pdf.compare(at, mark.size() + 1, mark + "s") != 0 ? 1 : 0;
    return pages;
}

class ReviewProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        write_bytes(ari_, hand_made_ari_text());
        write_bytes(ds_, indexed_ds_text());
    }
    // Runs the program's main function; its output and errors are kept.
    int run(const std::vector<std::string>& arguments) {
        std::ostringstream out, errors;
        const int code = run_review(arguments, out, errors);
        out_ = out.str();
        errors_ = errors.str();
        return code;
    }
    // What the folder holds, by name.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TemporaryFolder folder_;
    std::string ari_ = folder_.file("s1.ari"), ds_ = folder_.file("s1.ds");
    std::string out_, errors_;
};

TEST_F(ReviewProgram, WritesPictureVectorPdfAndCsvBesideTheAriFile) {
    ASSERT_EQ(run({ari_, "--ds", ds_}), 0) << errors_;
    EXPECT_EQ(files(), (std::vector<std::string>{"s1.ari", "s1.csv", "s1.ds", "s1.pdf", "s1.png"}));
    EXPECT_EQ(out_, "wrote " + folder_.file("s1.png") + "\nwrote " + folder_.file("s1.pdf") +
                        "\nwrote " + folder_.file("s1.csv") +
                        "\ns1.ari: 2 of 64 leads without a downstroke (AT = 0), 2 without an "
                        "upstroke (RT = J + r - P, r = 100)\n");
    // The picture is the laid-out review with its sheet.
    ReviewRequest request{ari_, ds_, "", default_ari_settings.recovery_delay_samples};
    ReviewData data;
    std::string message;
    ASSERT_TRUE(load_review(request, data, message)) << message;
    const ReviewPicture picture = lay_out_review(data);
    ASSERT_TRUE(picture.sheet.has_value());
    const QImage png(QString::fromStdString(folder_.file("s1.png")));
    EXPECT_EQ(png.size(), QSize(static_cast<int>(picture.width), static_cast<int>(picture.height)));
    EXPECT_EQ(read_bytes(folder_.file("s1.csv")), review_csv(*data.leads));
}

TEST_F(ReviewProgram, PdfIsOneVectorPage) {
    ASSERT_EQ(run({ari_, "--ds", ds_}), 0) << errors_;
    const std::string pdf = read_bytes(folder_.file("s1.pdf"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.rfind("%%EOF"), std::string::npos);
    EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos);  // drawn, not a picture in a PDF
    EXPECT_EQ(page_objects(pdf), 1);
    const QString report = pdf_report(folder_.file("s1.pdf"));
    if (report.isEmpty()) GTEST_SKIP() << "pdfinfo is not installed (poppler-utils)";
    EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
        << report.toStdString();
    // 1640 pixels across at 96 an inch: 1230 points.
    EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("Page size:\\s+1230 x "))))
        << report.toStdString();
}

// Lead 40's saved beat holds 7 at every sample: its row has no values, the
// summary counts it, and the PDF says "no signal" in its three map cells, on
// its sheet panel and in the heading's count.
TEST_F(ReviewProgram, ALeadWhoseBeatHoldsOneValueIsDrawnSayingNoSignal) {
    write_bytes(ds_, ds_text_with_still_leads({40}));
    ASSERT_EQ(run({ari_, "--ds", ds_}), 0) << errors_;
    EXPECT_NE(read_bytes(folder_.file("s1.csv")).find("\n39,40,300,260,\n40,,,,no_signal\n41,"),
              std::string::npos);
    EXPECT_TRUE(
        out_.ends_with(" without an upstroke (RT = J + r - P, r = 100), 1 without a "
                       "signal\n"))
        << out_;
    const QString text = pdf_text(folder_.file("s1.pdf"));
    if (text.isEmpty()) GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    EXPECT_TRUE(text.contains(QStringLiteral("1 lead carries no signal"))) << text.toStdString();
    EXPECT_EQ(no_signal_words(text), 5) << text.toStdString();
}

TEST_F(ReviewProgram, OutputNameIsTakenWholeWithExtensionsAdded) {
    ASSERT_EQ(run({ari_, "-o", folder_.file("review.v2")}), 0) << errors_;
    EXPECT_EQ(files(), (std::vector<std::string>{"review.v2.csv", "review.v2.pdf", "review.v2.png",
                                                 "s1.ari", "s1.ds"}));
}

// An OUT whose extension names a format is the one file written, in it.
TEST_F(ReviewProgram, OutputWithAFormatsExtensionIsThatFileAlone) {
    const std::pair<std::string, std::string> formats[] = {{"figure.png", "\x89PNG"},
                                                           {"figure.pdf", "%PDF-"},
                                                           {"figure.svg", "<svg "},
                                                           {"figure.csv", "lead,"}};
    for (const auto& [name, opening] : formats) {
        ASSERT_EQ(run({ari_, "--ds", ds_, "-o", folder_.file(name)}), 0) << errors_;
        EXPECT_EQ(files(), (std::vector<std::string>{name, "s1.ari", "s1.ds"}));
        EXPECT_TRUE(out_.starts_with("wrote " + folder_.file(name) + "\ns1.ari: ")) << out_;
        EXPECT_EQ(read_bytes(folder_.file(name)).substr(0, opening.size()), opening) << name;
        std::filesystem::remove(folder_.file(name));
    }
}

TEST_F(ReviewProgram, ResultsOutputIsAPdf) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table, std::string(results_header) + results_rows("realptb010"));
    ASSERT_EQ(run({"--results", table, "-o", folder_.file("study.pdf")}), 0) << errors_;
    EXPECT_EQ(out_, "wrote " + folder_.file("study.pdf") + " (1 recording)\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"results.csv", "s1.ari", "s1.ds", "study.pdf"}));
}

// The hand-made .ari has P = 150, J = 250, E = 600; the .se record is Q onset
// (P), stimulus, J and E in 5 columns each. A .ds that does not belong to the
// .ari is refused with the reason, and nothing is written.
TEST_F(ReviewProgram, ABeatOfAnotherSessionIsRefused) {
    const std::string other = folder_.file("s2.ds"), se = folder_.file("s1.se");
    write_bytes(other, indexed_ds_text());
    const std::pair<std::string, std::string> refusals[] = {
        {"", other + ": not the saved beat of s1.ari: a session saves s1.ds beside it, not s2.ds"},
        {"  150  140  260  600\n",
         ds_ + ": not the saved beat of s1.ari: its marks s1.se put J at 260, the .ari at 250"},
        {"  151  140  250  600\n", ds_ + ": not the saved beat of s1.ari: its marks s1.se put the "
                                         "reference point at 151, the .ari at 150"},
        {"  150  140  250  610\n", ds_ + ": not the saved beat of s1.ari: its marks s1.se put the "
                                         "T end at 610, the .ari at 600"},
    };
    for (const auto& [marks, message] : refusals) {
        if (!marks.empty()) write_bytes(se, marks);
        const std::vector<std::string> names =
            marks.empty() ? std::vector<std::string>{"s1.ari", "s1.ds", "s2.ds"}
                          : std::vector<std::string>{"s1.ari", "s1.ds", "s1.se", "s2.ds"};
        EXPECT_EQ(run({ari_, "--ds", marks.empty() ? other : ds_}), 1) << message;
        EXPECT_EQ(errors_, "mapari-review: " + message + "\n");
        EXPECT_EQ(out_, "");
        EXPECT_EQ(files(), names);
    }
    write_bytes(se, "  150  140  250  600\n");
    EXPECT_EQ(run({ari_, "--ds", ds_}), 0) << errors_;
}

TEST_F(ReviewProgram, RecoveryDelayOptionMovesTheFlag) {
    // r = 101: J + r − P = 201 is lead 9's RT; lead 2's RT = 200 is a finding then.
    ASSERT_EQ(run({ari_, "--recovery-delay", "101"}), 0) << errors_;
    const std::string csv = read_bytes(folder_.file("s1.csv"));
    EXPECT_NE(csv.find("\n2,40,200,160,\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n9,40,201,161,no_upstroke\n"), std::string::npos) << csv;
}

TEST_F(ReviewProgram, LayoutFileIsUsed) {
    std::string layout;
    for (int l = 1; l <= 64; ++l)
        layout +=
            std::to_string(l) + "," + std::to_string(l % 16) + "," + std::to_string(l / 16) + "\n";
    write_bytes(folder_.file("array.csv"), layout);
    ASSERT_EQ(run({ari_, "--layout", folder_.file("array.csv")}), 0) << errors_;
    const QImage png(QString::fromStdString(folder_.file("s1.png")));
    EXPECT_FALSE(png.isNull());
}

TEST_F(ReviewProgram, WrongCommandLinesAreUsageErrors) {
    const std::string delay_wanted =
        "--recovery-delay takes a whole number of samples from 1 on, not ";
    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{}, "name the .ari file to review"},
        {{ari_, "--ds"}, "--ds needs a value"},
        {{ari_, "--layout", ""}, "--layout needs a value"},
        {{ari_, "--colour", "x"}, "unknown option '--colour'"},
        {{ari_, "-x"}, "unknown option '-x'"},
        {{ari_, ari_}, "one .ari file at a time (" + ari_ + " and " + ari_ + ")"},
        {{ari_, "--recovery-delay", "abc"}, delay_wanted + "\"abc\""},
        {{ari_, "--recovery-delay", "0"}, delay_wanted + "\"0\""},
        {{ari_, "--recovery-delay", "-90"}, delay_wanted + "\"-90\""},
        {{ari_, "--recovery-delay", "2147483648"}, delay_wanted + "\"2147483648\""},
        {{ari_, "--recovery-delay", "90.5"}, delay_wanted + "\"90.5\""},
    };
    for (const auto& [arguments, message] : wrong) {
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_EQ(errors_, "mapari-review: " + message + "\n" + review_usage);
        EXPECT_EQ(out_, "") << message;
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"s1.ari", "s1.ds"}));
}

TEST_F(ReviewProgram, AnOutputNeverReplacesAnInput) {
    // -o array next to the layout file array.csv would write array.csv over it.
    const std::string layout = folder_.file("array.csv");
    std::string rows;
    for (int l = 1; l <= 64; ++l)
        rows +=
            std::to_string(l) + "," + std::to_string(l % 8) + "," + std::to_string(l / 8) + "\n";
    write_bytes(layout, rows);
    EXPECT_EQ(run({ari_, "--layout", layout, "-o", folder_.file("array")}), 2);
    EXPECT_EQ(errors_.substr(0, errors_.find('\n')),
              "mapari-review: " + folder_.file("array") + ".csv would replace the layout file");
    EXPECT_EQ(read_bytes(layout), rows);
    // An .ari file named NAME.csv would be replaced by the default OUT.csv.
    const std::string odd = folder_.file("s1-copy.csv");
    write_bytes(odd, hand_made_ari_text());
    EXPECT_EQ(run({odd}), 2);
    EXPECT_EQ(errors_.substr(0, errors_.find('\n')),
              "mapari-review: " + folder_.file("s1-copy") + ".csv would replace the .ari file");
    EXPECT_EQ(read_bytes(odd), hand_made_ari_text());
}

TEST_F(ReviewProgram, ResultsTableGivesOnePdfPageARecording) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table, std::string(results_header) +
                           results_rows("realptb010", {{2, "0,200,200,no-downstroke;no-upstroke"},
                                                       {3, "12.5,300,287.5,weak"}}) +
                           failed_results_rows("realptb011"));
    ASSERT_EQ(run({"--results", table}), 0) << errors_;
    EXPECT_EQ(out_, "wrote " + folder_.file("results.pdf") + " (2 recordings)\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"results.csv", "results.pdf", "s1.ari", "s1.ds"}));
    const std::string pdf = read_bytes(folder_.file("results.pdf"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_EQ(page_objects(pdf), 2);
    const QString report = pdf_report(folder_.file("results.pdf"));
    if (report.isEmpty()) GTEST_SKIP() << "pdfinfo is not installed (poppler-utils)";
    EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))))
        << report.toStdString();
}

// With the study's recordings.csv beside it, the failed recording, which has
// no rows of results, gets its page too, with its status and reason; the
// flagged leads are named.
TEST_F(ReviewProgram, ResultsOfAStudyGivesEveryRecordingAPage) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table,
                std::string(results_header) +
                    results_rows("rec1", {{3, "12.5,300,287.5,weak"}, {17, "40,300,260,weak"}}));
    write_bytes(folder_.file("recordings.csv"),
                "recording,status,reason\nrec1,ok,\nrec2,failed,no beat found\n");
    ASSERT_EQ(run({"--results", table}), 0) << errors_;
    EXPECT_EQ(out_, "wrote " + folder_.file("results.pdf") + " (2 recordings)\n");
    EXPECT_EQ(page_objects(read_bytes(folder_.file("results.pdf"))), 2);
    const QString text = pdf_text(folder_.file("results.pdf"));
    if (text.isEmpty()) GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    for (const char* expected :
         {"Review of rec1", "weak: leads 3, 17", "Review of rec2", "Status failed: no beat found."})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                << text.toStdString();
}

TEST_F(ReviewProgram, ResultsInHtmlWriteTheReportBesideTheTable) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table, std::string(results_header) + results_rows("rec1"));
    write_bytes(folder_.file("recordings.csv"),
                "recording,status,reason\nrec1,ok,\nrec2,failed,no beat found\n");
    ASSERT_EQ(run({"--results", table, "--html"}), 0) << errors_;
    EXPECT_EQ(out_,
              "wrote " + folder_.file("report/index.html") + " and the pages of 2 recordings\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"recordings.csv", "report", "results.csv",
                                                 "s1.ari", "s1.ds"}));
    // A malformed table: the message, and the report as it was.
    const std::string index = read_bytes(folder_.file("report/index.html"));
    write_bytes(folder_.file("recordings.csv"), "recording,status\n");
    EXPECT_EQ(run({"--results", table, "--html"}), 1);
    EXPECT_EQ(errors_, "mapari-review: " + folder_.file("recordings.csv") +
                           ": line 1: the header names no column reason (it must name "
                           "recording, status and reason)\n");
    EXPECT_EQ(read_bytes(folder_.file("report/index.html")), index);
}

// Leads 3 and 4 of the table carry no signal: each of the three maps says so
// in their cells, and the heading counts them.
TEST_F(ReviewProgram, ResultsTableLeadsWithoutASignalAreDrawnSayingNoSignal) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table, std::string(results_header) +
                           results_rows("mit001", {{3, ",,,no-signal"}, {4, ",,,no-signal"}}));
    ASSERT_EQ(run({"--results", table}), 0) << errors_;
    const QString text = pdf_text(folder_.file("results.pdf"));
    if (text.isEmpty()) GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    EXPECT_TRUE(text.contains(QStringLiteral("2 leads carry no signal"))) << text.toStdString();
    EXPECT_EQ(no_signal_words(text), 7) << text.toStdString();
}

TEST_F(ReviewProgram, ResultsTableWithLayoutWritesTheNamedOutput) {
    const std::string table = folder_.file("results.csv"), layout = folder_.file("array.csv");
    write_bytes(table, std::string(results_header) + results_rows("realptb010"));
    std::string rows;
    for (int l = 1; l <= 64; ++l)
        rows +=
            std::to_string(l) + "," + std::to_string(l % 16) + "," + std::to_string(l / 16) + "\n";
    write_bytes(layout, rows);
    ASSERT_EQ(run({"--results", table, "--layout", layout, "-o", folder_.file("batch")}), 0)
        << errors_;
    EXPECT_EQ(out_, "wrote " + folder_.file("batch.pdf") + " (1 recording)\n");
    EXPECT_EQ(page_objects(read_bytes(folder_.file("batch.pdf"))), 1);
}

TEST_F(ReviewProgram, BadResultsTableIsRefusedWithItsLine) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table, std::string(results_header) + "realptb010,1,x,256,213,\n");
    EXPECT_EQ(run({"--results", table}), 1);
    EXPECT_EQ(errors_, "mapari-review: " + table + ": line 2: \"x\" is not a number (AT_ms)\n");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(files(), (std::vector<std::string>{"results.csv", "s1.ari", "s1.ds"}));
}

TEST_F(ReviewProgram, AMalformedRecordingsTableBesideIsRefusedWithItsLine) {
    const std::string table = folder_.file("results.csv");
    write_bytes(table, std::string(results_header) + results_rows("rec1"));
    write_bytes(folder_.file("recordings.csv"), "recording,status,reason\nrec1,ok,\nrec1,ok,\n");
    EXPECT_EQ(run({"--results", table}), 1);
    EXPECT_EQ(errors_, "mapari-review: " + folder_.file("recordings.csv") +
                           ": line 3: \"rec1\" is named a second time\n");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(files(),
              (std::vector<std::string>{"recordings.csv", "results.csv", "s1.ari", "s1.ds"}));
}

TEST_F(ReviewProgram, ResultsTableGoesWithNeitherAnAriFileNorABeat) {
    const std::string table = folder_.file("results.csv");
    const std::string with_ari = "--results cannot be combined with an .ari file (" + ari_ + ")";
    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{"--results", table, ari_}, with_ari},
        {{ari_, "--results", table}, with_ari},
        {{"--results", table, "--ds", ds_}, "--results cannot be combined with --ds"},
        {{"--results", table, "--recovery-delay", "90"},
         "--results cannot be combined with --recovery-delay: the table's flags mark the "
         "defaults"},
        {{"--results"}, "--results needs a value"},
        {{"--results", folder_.file("table.pdf")},
         folder_.file("table") + ".pdf would replace the results table"},
        {{"--results", table, "-o", folder_.file("study.svg")},
         "--results writes a PDF, not " + folder_.file("study.svg")},
        {{"--results", table, "--html", "-o", folder_.file("study")},
         "--html writes the report beside the table, in its folder report/; it takes no -o"},
        {{ari_, "--html"}, "--html goes with --results: it writes a study's report"},
    };
    for (const auto& [arguments, message] : wrong) {
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_EQ(errors_.substr(0, errors_.find('\n')), "mapari-review: " + message);
        EXPECT_NE(errors_.find("usage: mapari-review"), std::string::npos) << errors_;
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"s1.ari", "s1.ds"}));
}

TEST_F(ReviewProgram, HelpIsNoError) {
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(out_, review_usage);
}

TEST_F(ReviewProgram, OutputThatCannotBeWrittenIsNamed) {
    const std::string base = folder_.file("no-such-folder/review");
    EXPECT_EQ(run({ari_, "-o", base}), 1);
    EXPECT_EQ(errors_, "mapari-review: cannot write " + base + ".png: No such file or directory\n");
}

// ---- as a process

struct Outcome {
    QProcess::ExitStatus status;
    int code;
    std::string errors;
};

Outcome run_program(const QStringList& arguments, bool without_platform = false) {
    QProcess program;
    if (without_platform) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        program.setProcessEnvironment(environment);
    }
    program.start(QStringLiteral(MAPARI_REVIEW_PROGRAM), arguments);
    EXPECT_TRUE(program.waitForFinished(-1));
    return {program.exitStatus(), program.exitCode(), program.readAllStandardError().toStdString()};
}

class ReviewProcess : public ReviewProgram {
  protected:
    // Runs the program on the files and expects a refusal naming the file and the problem.
    void expect_refusal(const QStringList& arguments, const std::string& message) {
        const Outcome outcome = run_program(arguments);
        EXPECT_EQ(outcome.status, QProcess::NormalExit) << "the program crashed";
        EXPECT_EQ(outcome.code, 1);
        EXPECT_NE(outcome.errors.find("mapari-review: " + message + "\n"), std::string::npos)
            << outcome.errors;
        for (const char* written : {"s1.png", "s1.pdf", "s1.csv"})
            EXPECT_FALSE(std::filesystem::exists(folder_.path() / written)) << written;
    }
    QString q(const std::string& text) const { return QString::fromStdString(text); }
};

TEST_F(ReviewProcess, RunsWithoutADisplay) {
    const Outcome outcome = run_program({q(ari_), "--ds", q(ds_)}, true);
    EXPECT_EQ(outcome.status, QProcess::NormalExit);
    EXPECT_EQ(outcome.code, 0) << outcome.errors;
    EXPECT_TRUE(std::filesystem::exists(folder_.path() / "s1.png"));
}

TEST_F(ReviewProcess, ShortAriFileIsRefused) {
    write_bytes(ari_, "150 250 600 20 40.0\n");
    expect_refusal({q(ari_)}, ari_ +
                                  ": it ends after 5 of its 132 numbers (the activation time of "
                                  "lead 2 is missing)");
}

TEST_F(ReviewProcess, EmptyAriFileIsRefused) {
    write_bytes(ari_, "");
    expect_refusal({q(ari_)}, ari_ + ": it holds no numbers; an .ari record holds 132");
}

TEST_F(ReviewProcess, MalformedAriFileIsRefused) {
    std::string text = hand_made_ari_text();
    text.replace(text.find("600"), 3, "6#0");
    write_bytes(ari_, text);
    expect_refusal({q(ari_)},
                   ari_ + ": number 3 (the T end) reads \"6#0\", which is not a whole number");
}

TEST_F(ReviewProcess, BinaryFileIsRefused) {
    write_bytes(ari_, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    expect_refusal({q(ari_)}, ari_ +
                                  ": number 1 (the reference point P) reads \"\\x89PNG\", which "
                                  "is not a whole number");
}

TEST_F(ReviewProcess, MissingAriFileIsRefused) {
    const std::string missing = folder_.file("s2.ari");
    expect_refusal({q(missing)}, missing + ": No such file or directory");
}

TEST_F(ReviewProcess, ShortDsFileIsRefused) {
    write_bytes(ds_, cut_ds_text(1023 * 64));
    expect_refusal({q(ari_), "--ds", q(ds_)}, ds_ + ": record 1024 holds 0 of its 64 numbers");
}

TEST_F(ReviewProcess, MalformedDsFileIsRefused) {
    std::string text = indexed_ds_text();
    text.replace(text.find("1001.000"), 8, "1,001.00");
    write_bytes(ds_, text);
    expect_refusal({q(ari_), "--ds", q(ds_)}, ds_ + ": record 1 holds 1 of its 64 numbers");
}

TEST_F(ReviewProcess, LayoutFaultsAreRefusedWithTheLineNumber) {
    const std::string layout = folder_.file("array.csv");
    std::string rows = "lead,x,y\n";
    for (int l = 1; l <= 64; ++l)
        rows +=
            std::to_string(l) + "," + std::to_string(l % 8) + "," + std::to_string(l / 8) + "\n";
    // Lead 64 left out.
    write_bytes(layout, rows.substr(0, rows.find("64,")));
    expect_refusal({q(ari_), "--layout", q(layout)},
                   layout + ": no line gives lead 64 (the file has 64 lines)");
    // Lead 12 twice: line 13 and again on line 66.
    write_bytes(layout, rows + "12,9,9\n");
    expect_refusal({q(ari_), "--layout", q(layout)},
                   layout + ": line 66: lead 12 is given again (first on line 13)");
    // A word where y belongs, on lead 30's line 31.
    std::string bad = rows;
    bad.replace(bad.find("\n30,6,3\n"), 8, "\n30,6,y3\n");
    write_bytes(layout, bad);
    expect_refusal({q(ari_), "--layout", q(layout)},
                   layout + ": line 31: \"y3\" is not a number (y)");
}

}  // namespace
}  // namespace mapari::review_tests
