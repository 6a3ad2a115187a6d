// The command-line reader every program uses, its number readers, its first
// answers, and mapari's own command line through it.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/command_options.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::unit_tests {
namespace {

TEST(WholeNumber, ReadsDigitsAfterAnOptionalMinusWithinTheRange) {
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    const struct {
        std::string text;
        std::int64_t first, last;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"0", 0, 10, 0},
        {"10", 0, 10, 10},
        {"11", 0, 10, std::nullopt},
        {"-1", 0, 10, std::nullopt},
        {"-1", -5, 5, -1},
        {"-0", 0, 10, 0},
        {"007", 0, 10, 7},
        {"4294967295", 0, 4294967295, 4294967295},
        {"4294967296", 0, 4294967295, std::nullopt},
        {"9223372036854775807", 0, most, most},
        {"9223372036854775808", 0, most, std::nullopt},  // beyond 64 bits
        {"", 0, 10, std::nullopt},
        {"-", 0, 10, std::nullopt},
        {"+5", 0, 10, std::nullopt},
        {" 5", 0, 10, std::nullopt},
        {"5 ", 0, 10, std::nullopt},
        {"5.0", 0, 10, std::nullopt},
        {"1e1", 0, 100, std::nullopt},
        {"0x5", 0, 10, std::nullopt},
        {"five", 0, 10, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(whole_number(c.text, c.first, c.last), c.value)
            << '"' << c.text << "\" in " << c.first << " to " << c.last;
}

TEST(RealNumber, ReadsFiniteNumbersInTheCFormOnly) {
    const struct {
        std::string text;
        std::optional<double> value;
    } cases[] = {
        {"75", 75.0},
        {"-0.5", -0.5},
        {".5", 0.5},
        {"1e3", 1000.0},
        {"2.5E-1", 0.25},
        {"0", 0.0},
        {"", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1,5", std::nullopt},
        {"inf", std::nullopt},
        {"-inf", std::nullopt},
        {"nan", std::nullopt},
        {"1e400", std::nullopt},
        {"0x1p3", std::nullopt},
        {"fast", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(real_number(c.text), c.value) << '"' << c.text << '"';
}

// A made-up program's options: a count from 1 to 9, a name, a flag, and the
// words that are no option.
struct ToyOptions {
    int count = 0;
    std::string name;
    bool fast = false;
    std::vector<std::string> words;
    bool operator==(const ToyOptions&) const = default;
};

CommandLineReading read_toy(const std::vector<std::string>& arguments, ToyOptions& options,
                            bool takes_words) {
    const CommandOptions table = {
        whole_number_option("--count", options.count, 1, 9),
        text_option("--name", options.name),
        flag_option("--fast", options.fast),
    };
    const CommandWord take_word = [&options](const std::string& word) {
        options.words.push_back(word);
        return std::string();
    };
    return read_command_line(arguments, table, takes_words ? take_word : CommandWord());
}

TEST(CommandLineReader, ReadsOptionsByTheTableAndRefusesInOneWording) {
    using enum CommandRequest;
    const struct {
        std::vector<std::string> arguments;
        bool takes_words;
        std::string error;
        CommandRequest request;
        ToyOptions options;
    } cases[] = {
        {{"--count", "3", "--fast", "a"}, true, "", work, {3, "", true, {"a"}}},
        // The word after an option that takes a value is that value.
        {{"--name", "-"}, true, "", work, {0, "-", false, {}}},
        {{"--name", "--help"}, true, "", work, {0, "--help", false, {}}},
        {{"-", "b"}, true, "", work, {0, "", false, {"-", "b"}}},
        {{"--count"}, true, "--count needs a value", work, {}},
        {{"--count", ""}, true, "--count needs a value", work, {}},
        {{"--count", "x"}, true, "--count takes a whole number from 1 to 9, not \"x\"", work, {}},
        {{"--count", "10"}, true, "--count takes a whole number from 1 to 9, not \"10\"", work, {}},
        {{"--fast=1"}, true, "unknown option '--fast=1'", work, {}},
        {{"-f"}, true, "unknown option '-f'", work, {}},
        {{"a"}, false, "unexpected argument 'a'", work, {}},
        // The first mistake is the one reported; nothing after it is read.
        {{"--bogus", "--count", "x", "--fast"}, true, "unknown option '--bogus'", work, {}},
        {{"--bogus", "--help"}, true, "unknown option '--bogus'", work, {}},
        // --help and --version end the reading, whatever follows.
        {{"--fast", "--help", "--bogus"}, true, "", help, {0, "", true, {}}},
        {{"-h"}, true, "", help, {}},
        {{"--version", "--count"}, true, "", version, {}},
    };
    for (const auto& c : cases) {
        ToyOptions options;
        const CommandLineReading reading = read_toy(c.arguments, options, c.takes_words);
        const std::string line = testing::PrintToString(c.arguments);
        EXPECT_EQ(reading.error, c.error) << line;
        EXPECT_EQ(reading.request, c.request) << line;
        EXPECT_EQ(reading.goes_on(), c.error.empty() && c.request == work) << line;
        EXPECT_EQ(options, c.options) << line;
    }
}

TEST(CommandLineReader, NumberOptionsNameTheirRangeAndLanguageItsCodes) {
    double rate = 0.0;
    Language language = Language::japanese;
    const CommandOptions table = {
        real_number_option("--rate", rate, 70.0, 120.5),
        language_option([&language](Language chosen) { language = chosen; }),
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--rate", "69.9"}, "--rate takes a number from 70 to 120.5, not \"69.9\""},
        {{"--rate", "nan"}, "--rate takes a number from 70 to 120.5, not \"nan\""},
        {{"--lang", "fr"}, "--lang takes ja or en, not \"fr\""},
        {{"--rate", "120.5", "--lang", "en"}, ""},
    };
    for (const auto& [arguments, error] : cases)
        EXPECT_EQ(read_command_line(arguments, table).error, error);
    EXPECT_EQ(rate, 120.5);
    EXPECT_EQ(language, Language::english);
}

TEST(FirstAnswer, RefusalGoesWithTheUsageToErrorsHelpAndVersionToOut) {
    const std::string usage = "usage: toy --count N\n";
    const struct {
        CommandLineReading reading;
        std::optional<int> exit_code;
        std::string out, errors;
    } cases[] = {
        {{CommandRequest::work, "--count needs a value"},
         2,
         "",
         "toy: --count needs a value\n" + usage},
        {{CommandRequest::help, ""}, 0, usage, ""},
        {{CommandRequest::version, ""}, 0, std::string("toy ") + MAPARI_VERSION + "\n", ""},
        {{CommandRequest::work, ""}, std::nullopt, "", ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out, errors;
        EXPECT_EQ(first_answer("toy", c.reading, usage, out, errors), c.exit_code) << c.out;
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(errors.str(), c.errors);
    }
}

TEST(ProgramOptions, BadCommandLinesOfMapariAreUsageErrors) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"session.script"}, "unexpected argument 'session.script'"},
        {{"--script"}, "--script needs a value"},
        {{"--script", "-", "--data-dir"}, "--data-dir needs a value"},
        {{"--data-dir", ""}, "--data-dir needs a value"},
        {{"--lang", "fr"}, "--lang takes ja or en, not \"fr\""},
        {{"--gui"}, "--gui goes with --demo or --script"},
    };
    for (const auto& [arguments, message] : cases) {
        std::ostringstream out, errors;
        int exit_code = -1;
        EXPECT_FALSE(read_program_options(arguments, out, errors, exit_code)) << message;
        EXPECT_EQ(exit_code, 2) << message;
        EXPECT_EQ(errors.str(), "mapari: " + message + "\n" + usage_text);
        EXPECT_EQ(out.str(), "") << message;
    }
}

TEST(ProgramOptions, UnusableDataFolderIsNamedWithoutTheUsage) {
    test_support::TemporaryFolder folder;
    const std::string missing = folder.file("nowhere");
    std::ostringstream out, errors;
    int exit_code = -1;
    EXPECT_FALSE(
        read_program_options({"--script", "-", "--data-dir", missing}, out, errors, exit_code));
    EXPECT_EQ(exit_code, 2);
    EXPECT_EQ(errors.str(),
              "mapari: the data folder " + missing + " cannot be used: there is no such folder\n");
}

TEST(ProgramOptions, HelpAndVersionAreAnsweredAndASessionGoesOn) {
    const struct {
        std::vector<std::string> arguments;
        bool session;
        std::string out;
    } cases[] = {
        {{"--help"}, false, usage_text},
        {{"-h", "--bogus"}, false, usage_text},
        {{"--version"}, false, std::string("mapari ") + MAPARI_VERSION + "\n"},
        {{"--script", "-", "--lang", "en"}, true, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out, errors;
        int exit_code = -1;
        const std::optional<Options> options =
            read_program_options(c.arguments, out, errors, exit_code);
        EXPECT_EQ(options.has_value(), c.session) << c.out;
        EXPECT_EQ(exit_code, 0) << c.out;
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(errors.str(), "");
    }
}

}  // namespace
}  // namespace mapari::unit_tests
