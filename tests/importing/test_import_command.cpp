// mapari-import as a function: command lines it cannot use are refused with
// the reason and the usage, exit code 2 and nothing written; the rate of a
// source that states none is read by the rule the import dialog uses too.
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

TEST(ImportCommand, WrongCommandLinesAreUsageErrorsAndWriteNothing) {
    TemporaryFolder folder;
    const std::string data = folder.folder("data").string();
    const std::string source = folder.file("leads.csv");
    test_support::write_bytes(source, csv_source());
    const std::string rate_wanted = "--rate-hz takes a number of hertz above 0, not ";
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

}  // namespace
}  // namespace mapari::importing_tests
