// mapari-import as a function: command lines it cannot use are refused with
// the reason and the usage, exit code 2 and nothing written; the rate of a
// source that states none and the period of a repeated beat are read by the
// rules the import dialog uses too; a repeated beat's summary.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/import_command.hpp"
#include "support/command_run.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

using test_support::CommandRun;
using test_support::run_command;
using test_support::TemporaryFolder;

CommandRun run_import(const std::vector<std::string>& arguments) {
    return run_command([&arguments](std::ostream& out, std::ostream& errors) {
        return run_import_command(arguments, out, errors, false);
    });
}

// Five seconds of two signals at 500 Hz, in microvolts, as CSV text.
std::string csv_source() {
    std::string text = "V1 [uV],V2 [uV]\n";
    for (int k = 0; k < 2500; ++k)
        text += std::to_string(k % 500) + "," + std::to_string(-(k % 250)) + "\n";
    return text;
}

std::size_t files_in(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(ImportRate, IsAFiniteNumberOfHertzAboveZero) {
    const std::pair<std::string, std::optional<double>> cases[] = {
        {"500", 500.0},         {"0.5", 0.5},           {"5e2", 500.0},
        {"0", std::nullopt},    {"-0", std::nullopt},   {"-250", std::nullopt},
        {"", std::nullopt},     {"fast", std::nullopt}, {"500Hz", std::nullopt},
        {" 500", std::nullopt}, {"inf", std::nullopt},  {"nan", std::nullopt},
    };
    for (const auto& [text, rate] : cases)
        EXPECT_EQ(read_rate_hz(text), rate) << '"' << text << '"';
}

TEST(ImportRepeatEvery, IsAWholeNumberOfMillisecondsFromOneTo32000) {
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"1", 1},
        {"800", 800},
        {"32000", 32000},
        {"0", std::nullopt},
        {"32001", std::nullopt},
        {"-800", std::nullopt},
        {"800.0", std::nullopt},
        {"8e2", std::nullopt},
        {" 800", std::nullopt},
        {"", std::nullopt},
        {"800ms", std::nullopt},
    };
    for (const auto& [text, period] : cases)
        EXPECT_EQ(read_repeat_every_ms(text), period) << '"' << text << '"';
}

TEST(ImportCommand, WrongCommandLinesAreUsageErrorsAndWriteNothing) {
    TemporaryFolder folder;
    const std::string data = folder.folder("data").string();
    const std::string source = folder.file("leads.csv");
    test_support::write_bytes(source, csv_source());
    const std::string rate_wanted = "--rate-hz takes a number of hertz above 0, not ";
    const std::string repeat_wanted =
        "--repeat-every takes a whole number of milliseconds from 1 to 32000, not ";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "name the source recording"},
        {{source, "--data-dir", data}, "--data-dir and --name are needed"},
        {{source, "--data-dir", data, "--name"}, "--name needs a value"},
        {{source, "--data-dir", data, "--name", ""}, "--name needs a value"},
        {{source, "--data-dir", data, "--name", "csv", "--rate-hz", "0"}, rate_wanted + "\"0\""},
        {{source, "--data-dir", data, "--name", "csv", "--rate-hz", "-500"},
         rate_wanted + "\"-500\""},
        {{source, "--data-dir", data, "--name", "csv", "--rate-hz", "fast"},
         rate_wanted + "\"fast\""},
        {{source, "--data-dir", data, "--name", "csv", "--rate-hz", "inf"},
         rate_wanted + "\"inf\""},
        {{source, "--data-dir", data, "--name", "csv", "--repeat-every", "0"},
         repeat_wanted + "\"0\""},
        {{source, "--data-dir", data, "--name", "csv", "--repeat-every", "32001"},
         repeat_wanted + "\"32001\""},
        {{source, "--data-dir", data, "--name", "csv", "--repeat-every", "0.8s"},
         repeat_wanted + "\"0.8s\""},
        {{source, "--data-dir", data, "--name", "csv", "--repeat-every"},
         "--repeat-every needs a value"},
        {{source, "--data-dir", data, "--name", "csv", "--colour", "red"},
         "unknown option '--colour'"},
        {{source, source, "--data-dir", data, "--name", "csv"},
         "one source at a time: '" + source + "' is a second one"},
        {{"--check", source, "--data-dir", data}, "--check goes alone"},
    };
    for (const auto& [arguments, message] : cases) {
        const CommandRun run = run_import(arguments);
        EXPECT_EQ(run.exit_code, 2) << message;
        EXPECT_EQ(run.errors, "mapari-import: " + message + "\n" + import_usage_text);
        EXPECT_EQ(run.out, "") << message;
        EXPECT_EQ(files_in(data), 0u) << message;
    }
}

TEST(ImportCommand, GoodRateImportsTheSource) {
    for (const std::string rate : {"500", "5e2", "500.0"}) {
        TemporaryFolder folder;
        const std::filesystem::path data = folder.folder("data");
        test_support::write_bytes(folder.path() / "leads.csv", csv_source());
        const CommandRun run = run_import({folder.file("leads.csv"), "--data-dir", data.string(),
                                           "--name", "csv", "--rate-hz", rate});
        EXPECT_EQ(run.exit_code, 0) << run.errors;
        EXPECT_NE(run.out.find(" 2 signals at 500 Hz, 5.0 s\n"), std::string::npos) << run.out;
        EXPECT_EQ(std::filesystem::file_size(data / "csv001.dat"), 5000u * 144u) << rate;
    }
}

// A beat of five samples: 0, 10, 20, 30, 40 microvolts at 1000 Hz.
const char* const five_sample_beat = "A [uV]\n0\n10\n20\n30\n40\n";

TEST(ImportCommand, RepeatedBeatIsSummedUpWithItsLengthPeriodAndTheRecordingMade) {
    TemporaryFolder folder;
    const std::filesystem::path data = folder.folder("data");
    test_support::write_bytes(folder.path() / "beat.csv", five_sample_beat);
    test_support::write_bytes(folder.path() / "map.csv", "13,A\n23,A\n37,A\n");
    const CommandRun run =
        run_import({folder.file("beat.csv"), "--data-dir", data.string(), "--name", "beat",
                    "--rate-hz", "1000", "--leads", folder.file("map.csv"), "--repeat-every", "8"});
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.out, "read " + folder.file("beat.csv") +
                           ": text (blanks), 1 signals at 1000 Hz, 0.0 s\n"
                           "1 microvolts a count\n"
                           "repeated the 5-ms beat every 8 ms for 32.0 s\n"
                           "wrote 1 piece to " +
                           data.string() +
                           ": beat001.dat, and beat.import.json\n"
                           "note: no signal for map leads 1-12, 14-22, 24-36, 38-64: they stay "
                           "zero\n");
    EXPECT_EQ(std::filesystem::file_size(data / "beat001.dat"), 32000u * 144u);
}

TEST(ImportCommand, ABeatShorterThanFourSecondsWithoutAPeriodIsRefusedWithTheOption) {
    TemporaryFolder folder;
    const std::filesystem::path data = folder.folder("data");
    test_support::write_bytes(folder.path() / "beat.csv", five_sample_beat);
    const CommandRun run = run_import({folder.file("beat.csv"), "--data-dir", data.string(),
                                       "--name", "beat", "--rate-hz", "1000"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.errors, "mapari-import: " + folder.file("beat.csv") +
                              ": is 5 ms long; a recording needs at least 4 s, or a single beat "
                              "repeated with --repeat-every MS\n");
    EXPECT_EQ(files_in(data), 0u);
}

}  // namespace
}  // namespace mapari::importing_tests

namespace mapari::importing_tests {
namespace {

// The summary's last line when the dialogue's display leads 13, 23 and 37 get
// no signal from the lead map: which, and three leads that do (the lowest
// numbered, taken again when fewer are fed). The source has signals V1 and V2.
TEST(ImportCommand, SummaryWarnsWhenTheDefaultDisplayLeadsGetNoSignal) {
    const std::string advice = " no signal; give display leads that do, e.g. mapari-batch --leads ";
    const std::pair<const char*, std::string> cases[] = {
        {"", "note: the default display leads 13, 23, 37 get" + advice + "1,2,1\n"},
        {"13,V1\n23,V2\n37,V1\n", ""},
        {"13,V1\n5,V2\n", "note: the default display leads 23, 37 get" + advice + "5,13,5\n"},
        {"13,V1\n23,V2\n", "note: the default display lead 37 gets" + advice + "13,23,13\n"},
        {"1,V1\n2,V2\n3,V1\n4,V2\n",
         "note: the default display leads 13, 23, 37 get" + advice + "1,2,3\n"},
        {"aux1,V1\n", ""},
    };
    for (const auto& [map, note] : cases) {
        SCOPED_TRACE(map);
        TemporaryFolder folder;
        const std::filesystem::path data = folder.folder("data");
        test_support::write_bytes(folder.path() / "leads.csv", csv_source());
        std::vector<std::string> arguments = {folder.file("leads.csv"),
                                              "--data-dir",
                                              data.string(),
                                              "--name",
                                              "csv",
                                              "--rate-hz",
                                              "500"};
        if (*map != '\0') {
            test_support::write_bytes(folder.path() / "map.csv", map);
            arguments.insert(arguments.end(), {"--leads", folder.file("map.csv")});
        }
        const CommandRun run = run_import(arguments);
        ASSERT_EQ(run.exit_code, 0) << run.errors;
        const std::string last_line = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
        EXPECT_EQ(last_line.starts_with("note: the default display") ? last_line : "", note)
            << run.out;
    }
}

}  // namespace
}  // namespace mapari::importing_tests
