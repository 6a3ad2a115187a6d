// The study's report in a real browser: Debian's Chromium, headless, on the
// report of a small study of three recordings (one ok with its saved beat,
// one to check, one failed). Each run has a new empty profile; what the page
// logs to the console and every request the browser makes (its network log)
// are read after it. The index's state in the address (sort, order, status,
// flag) is applied by the page's own script, so the rows a sort or a filter
// leaves are read from the DOM the browser dumps.
//
// Skipped, with a message, only where chromium is not installed.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <filesystem>

#include "review/study_report.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

namespace fs = std::filesystem;

const QStringList quiet_headless_flags = {
    QStringLiteral("--headless"),
    QStringLiteral("--no-sandbox"),
    QStringLiteral("--disable-gpu"),
    QStringLiteral("--disable-quic"),
    QStringLiteral("--no-first-run"),
    QStringLiteral("--disable-background-networking"),
    QStringLiteral("--disable-component-update"),
    QStringLiteral("--disable-sync"),
    QStringLiteral("--enable-logging=stderr"),
    QStringLiteral("--v=0"),
};

struct BrowserRun {
    QString dom;
    QStringList console;        // the lines the pages logged to the console
    QStringList page_requests;  // the addresses pages asked for, beyond the page itself
};

// The addresses of the requests a page made: those of the browser itself
// (updates, accounts) have "not an origin" as their initiator, those of a page
// its origin ("null" for a file).
QStringList page_requests(const QString& net_log_path) {
    QFile file(net_log_path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << net_log_path.toStdString();
    const QJsonObject log = QJsonDocument::fromJson(file.readAll()).object();
    const int start_job = log[QStringLiteral("constants")][QStringLiteral("logEventTypes")]
                             [QStringLiteral("URL_REQUEST_START_JOB")]
                                 .toInt(-1);
    EXPECT_GE(start_job, 0) << "the network log names no URL_REQUEST_START_JOB";
    QStringList requests;
    for (const QJsonValue event : log[QStringLiteral("events")].toArray()) {
        if (event[QStringLiteral("type")].toInt() != start_job) continue;
        const QJsonValue initiator = event[QStringLiteral("params")][QStringLiteral("initiator")];
        // The job's end has no parameters.
        if (!initiator.isUndefined() && initiator.toString() != QStringLiteral("not an origin"))
            requests << event[QStringLiteral("params")][QStringLiteral("url")].toString();
    }
    return requests;
}

class ReportInBrowser : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        chromium_ = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    }

    // A file of the study, whose folder names it on the index.
    std::string study(const std::string& name) const { return folder_.file("pilot-study/" + name); }

    void SetUp() override {
        if (chromium_.isEmpty())
            GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
        fs::create_directories(study("rec1"));
        write_bytes(study("results.csv"), std::string(results_header) +
                                              results_rows("rec1", {{3, "12.5,300,287.5,weak"},
                                                                    {17, "40,300,260,weak"}}) +
                                              results_rows("rec2", {{5, "40,300,260,noisy"}}));
        write_bytes(
            study("recordings.csv"),
            "recording,status,reason,beats_accepted,stimulus,q_onset,j_point,t_end,rr_ms,qt_ms\n"
            "rec1,ok,,9,150,172,250,610,812,402\n"
            "rec2,check,T end doubtful,7,140,160,240,600,790,380\n"
            "rec3,failed,no beat found,,,,,,,\n");
        write_bytes(study("rec1/rec1.ari"), hand_made_ari_text());
        write_bytes(study("rec1/rec1.ds"), indexed_ds_text());
        int pages = 0;
        std::string message;
        ASSERT_TRUE(write_study_report({study("results.csv"), ""}, pages, message)) << message;
        report_ = QString::fromStdString(report_folder(study("results.csv")));
    }

    // Chromium on the page with the flags given, a new empty profile each time.
    BrowserRun browse(const QString& page, const QString& fragment, const QStringList& flags) {
        const QString run = QString::number(++runs_);
        const QString net_log =
            QString::fromStdString(folder_.file("net-" + run.toStdString() + ".json"));
        QStringList arguments = quiet_headless_flags;
        arguments << QStringLiteral("--user-data-dir=") +
                         QString::fromStdString(folder_.file("profile-" + run.toStdString()))
                  << QStringLiteral("--log-net-log=") + net_log << flags;
        QUrl url = QUrl::fromLocalFile(report_ + QStringLiteral("/") + page);
        if (!fragment.isEmpty()) url.setFragment(fragment);
        arguments << url.toString();
        QProcess browser;
        browser.start(chromium_, arguments);
        EXPECT_TRUE(browser.waitForFinished(120000)) << "chromium did not end";
        EXPECT_EQ(browser.exitCode(), 0);
        BrowserRun result;
        result.dom = QString::fromUtf8(browser.readAllStandardOutput());
        for (const QString& line : QString::fromUtf8(browser.readAllStandardError()).split('\n'))
            if (line.contains(QStringLiteral(":CONSOLE"))) result.console << line;
        result.page_requests = page_requests(net_log);
        return result;
    }

    BrowserRun dump(const QString& page, const QString& fragment = {}) {
        BrowserRun run = browse(page, fragment, {QStringLiteral("--dump-dom")});
        expect_clean(run);
        return run;
    }

    // No console line, and no request but for files of the report's folder.
    void expect_clean(const BrowserRun& run) const {
        EXPECT_TRUE(run.console.isEmpty()) << run.console.join('\n').toStdString();
        const QString inside = QUrl::fromLocalFile(report_ + QStringLiteral("/")).toString();
        for (const QString& request : run.page_requests)
            EXPECT_TRUE(request.startsWith(inside)) << request.toStdString();
    }

    // The recordings of the index's rows in the order of the DOM, a "-" after
    // each that is hidden.
    static QStringList rows(const QString& dom) {
        QStringList names;
        const QRegularExpression row(
            QStringLiteral("<tr tabindex=\"0\"[^>]*?( hidden=\"\")?>.*?data-key=\"recording\" "
                           "data-value=\"([^\"]*)\""));
        for (const QRegularExpressionMatch& match : row.globalMatch(dom))
            names << match.captured(2) + (match.captured(1).isEmpty() ? "" : "-");
        return names;
    }

    static inline QString chromium_;
    TemporaryFolder folder_;
    QString report_;
    int runs_ = 0;
};

TEST_F(ReportInBrowser, IndexLoadsWithARowForEveryRecording) {
    const BrowserRun run = dump(QStringLiteral("index.html"));
    EXPECT_EQ(rows(run.dom), (QStringList{"rec1", "rec2", "rec3"}));
    EXPECT_TRUE(run.dom.contains(QStringLiteral("3 of 3 recordings shown")))
        << run.dom.toStdString();
}

// The state in the address is what a click on a heading or a choice of a
// filter writes there; the page's script applies it.
TEST_F(ReportInBrowser, SortingAndTheFiltersChangeTheRows) {
    const std::pair<QString, QStringList> views[] = {
        {QStringLiteral("sort=recording&order=descending"), {"rec3", "rec2", "rec1"}},
        // An empty QT goes last whichever the order.
        {QStringLiteral("sort=qt_ms&order=ascending"), {"rec2", "rec1", "rec3"}},
        {QStringLiteral("status=check"), {"rec1-", "rec2", "rec3-"}},
        {QStringLiteral("flag=weak"), {"rec1", "rec2-", "rec3-"}},
    };
    for (const auto& [fragment, expected] : views) {
        const BrowserRun run = dump(QStringLiteral("index.html"), fragment);
        EXPECT_EQ(rows(run.dom), expected) << fragment.toStdString();
    }
}

TEST_F(ReportInBrowser, EachRecordingsPageShowsItsMaps) {
    const BrowserRun with_sheet = dump(QStringLiteral("001-rec1.html"));
    EXPECT_EQ(with_sheet.dom.count(QStringLiteral("<svg ")), 2);
    EXPECT_EQ(with_sheet.dom.count(QStringLiteral("<polyline ")), 64);
    const BrowserRun check = dump(QStringLiteral("002-rec2.html"));
    EXPECT_EQ(check.dom.count(QStringLiteral("<svg ")), 1);
    for (const BrowserRun* run : {&with_sheet, &check})
        for (const char* title : {">Activation time AT (ms)<", ">Recovery time RT (ms)<",
                                  ">Activation-recovery interval ARI = RT − AT (ms)<"})
            EXPECT_TRUE(run->dom.contains(QString::fromUtf8(title))) << title;
    const BrowserRun failed = dump(QStringLiteral("003-rec3.html"));
    EXPECT_TRUE(
        failed.dom.contains(QStringLiteral("<tr><th>Reason</th><td>no beat found</td></tr>")))
        << failed.dom.toStdString();
}

// The README's picture of the report, from this run of the browser; it must
// show something besides white.
TEST_F(ReportInBrowser, ScreenshotOfTheIndex) {
    const QString picture = QStringLiteral(MAPARI_REPORT_SCREENSHOT);
    QFile::remove(picture);
    const BrowserRun run =
        browse(QStringLiteral("index.html"), QStringLiteral("sort=qt_ms&order=descending"),
               {QStringLiteral("--screenshot=") + picture, QStringLiteral("--window-size=1100,330"),
                QStringLiteral("--hide-scrollbars")});
    expect_clean(run);
    const QImage image(picture);
    ASSERT_FALSE(image.isNull()) << picture.toStdString();
    EXPECT_EQ(image.size(), QSize(1100, 330));
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    EXPECT_GT(dark, 1000);
}

}  // namespace
}  // namespace mapari::review_tests
