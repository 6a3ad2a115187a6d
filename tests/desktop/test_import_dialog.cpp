// File → Import Recording…: the dialog imports with the command's code, shows
// the command's summary, and writes nothing when the import is refused.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <string>

#include "desktop/import_dialog.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::desktop_tests {
namespace {

using test_support::TemporaryFolder;

// Five seconds of two signals at 500 Hz, in microvolts.
std::string csv_source() {
    std::string text = "V1 [uV],V2 [uV]\n";
    for (int k = 0; k < 2500; ++k)
        text += std::to_string(k % 500) + "," + std::to_string(-(k % 250)) + "\n";
    return text;
}

bool import_with(qt::ImportDialog& dialog, const QString& source, const QString& name,
                 const QString& rate = QStringLiteral("500")) {
    dialog.source_field()->setText(source);
    dialog.name_field()->setText(name);
    dialog.rate_field()->setText(rate);
    QTest::mouseClick(dialog.import_button(), Qt::LeftButton);
    return QTest::qWaitFor([&dialog] { return !dialog.running(); }, 20000);
}

TEST(ImportDialog, ImportsIntoTheDataFolderAndNamesTheNewRecordings) {
    TemporaryFolder folder;
    const std::filesystem::path data = folder.folder("data");
    test_support::write_bytes(folder.path() / "leads.csv", csv_source());
    qt::ImportDialog dialog(QString::fromStdString(data.string()));
    EXPECT_EQ(dialog.data_directory_field()->text().toStdString(), data.string());

    ASSERT_TRUE(import_with(dialog, QString::fromStdString(folder.file("leads.csv")), "csv"));
    const std::string outcome = dialog.outcome().toStdString();
    EXPECT_NE(outcome.find("resampled to 1000 Hz; 1 microvolts a count\n"), std::string::npos)
        << outcome;
    EXPECT_NE(
        outcome.find("wrote 1 piece to " + data.string() + ": csv001.dat, and csv.import.json\n"),
        std::string::npos)
        << outcome;
    EXPECT_EQ(std::filesystem::file_size(data / "csv001.dat"), 5000u * 144u);

    ASSERT_TRUE(import_with(dialog, QString::fromStdString(folder.file("leads.csv")), "a/b"));
    EXPECT_EQ(dialog.outcome().toStdString(),
              "Nothing was written: the name \"a/b\" cannot be used: it holds a path separator");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data), {}), 2);
}

// The dialog reads the rate by the command's rule: a finite number of hertz
// above 0, blanks around it ignored.
TEST(ImportDialog, RefusesARateThatIsNoNumberOfHertzAboveZero) {
    const struct {
        QString rate;
        bool imported;
    } cases[] = {
        {QStringLiteral("0"), false},    {QStringLiteral("-500"), false},
        {QStringLiteral("fast"), false}, {QStringLiteral("inf"), false},
        {QStringLiteral("500"), true},   {QStringLiteral(" 5e2 "), true},
    };
    for (const auto& c : cases) {
        TemporaryFolder folder;
        const std::filesystem::path data = folder.folder("data");
        test_support::write_bytes(folder.path() / "leads.csv", csv_source());
        qt::ImportDialog dialog(QString::fromStdString(data.string()));
        ASSERT_TRUE(
            import_with(dialog, QString::fromStdString(folder.file("leads.csv")), "csv", c.rate));
        const std::string outcome = dialog.outcome().toStdString();
        if (c.imported) {
            EXPECT_NE(outcome.find(" 2 signals at 500 Hz, 5.0 s\n"), std::string::npos) << outcome;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data), {}), 2);
        } else {
            EXPECT_EQ(outcome, "The rate must be a number of hertz above 0.");
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data), {}), 0);
        }
    }
}

// The dialog reads the period of a repeated beat by the command's rule: a
// whole number of milliseconds from 1 to 32000; an empty field imports the
// source as it is.
TEST(ImportDialog, RepeatsASingleBeatEveryPeriodItsFieldGives) {
    const struct {
        QString period;
        std::string outcome;  // its start
        long files;
    } cases[] = {
        {QStringLiteral("0"), "The period must be a whole number of milliseconds from 1 to 32000.",
         0},
        {QStringLiteral("8.5"),
         "The period must be a whole number of milliseconds from 1 to 32000.", 0},
        {QStringLiteral(""), "Nothing was written: ", 0},
        {QStringLiteral(" 8 "), "read ", 2},
    };
    for (const auto& c : cases) {
        TemporaryFolder folder;
        const std::filesystem::path data = folder.folder("data");
        test_support::write_bytes(folder.path() / "beat.csv", "A [uV]\n0\n10\n20\n30\n40\n");
        qt::ImportDialog dialog(QString::fromStdString(data.string()));
        dialog.repeat_field()->setText(c.period);
        ASSERT_TRUE(import_with(dialog, QString::fromStdString(folder.file("beat.csv")), "beat",
                                QStringLiteral("1000")));
        const std::string outcome = dialog.outcome().toStdString();
        EXPECT_TRUE(outcome.starts_with(c.outcome)) << outcome;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data), {}), c.files);
    }
}

}  // namespace
}  // namespace mapari::desktop_tests
