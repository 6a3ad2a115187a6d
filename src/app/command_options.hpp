// The command lines of mapari's programs, read alike. Each program names its
// options in one table (the name, whether the next argument is its value, what
// it sets) and read_command_line walks the arguments by it, so that every
// program refuses a command line in the same words:
//
//   unknown option '--colour'
//   unexpected argument 'extra'          (a word where the program takes none)
//   --out needs a value                  (an empty value is none)
//   --jobs takes a whole number from 1 to 256, not "0"
//
// A word that begins with '-', other than "-" alone, is an option; the word
// after an option that takes a value is that value whatever it looks like.
// --help (or -h) and --version end the reading: the program answers them
// whatever follows. first_answer gives the program's answer to all of these.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "formats/messages.hpp"

namespace mapari {

// One option of a command line.
struct CommandOption {
    std::string name;  // "--out", "-o"
    bool takes_value = false;
    // Takes the option, with its value when it has one (empty otherwise);
    // false when the value is not one the option takes.
    std::function<bool(const std::string& value)> take;
    // What the value must be, as a refusal says it: "a whole number from 1 to 256".
    std::string value_wanted = {};
};

using CommandOptions = std::vector<CommandOption>;

// Takes a word that is no option; returns why it cannot, empty when it can.
using CommandWord = std::function<std::string(const std::string& word)>;

enum class CommandRequest { work, help, version };

// What a command line asks of the program, or why it cannot be used.
struct CommandLineReading {
    CommandRequest request = CommandRequest::work;
    std::string error;  // empty when the command line can be used

    // True when the program goes on to its own work.
    bool goes_on() const { return request == CommandRequest::work && error.empty(); }
};

// Reads the arguments (the program name left out) by the table of options;
// the words that are no option go to take_word, or are refused without it.
CommandLineReading read_command_line(const std::vector<std::string>& arguments,
                                     const CommandOptions& options,
                                     const CommandWord& take_word = {});

// The exit code when the command line ends the run: the error with the usage
// after it on `errors`, the usage (--help) or "PROGRAM VERSION" (--version)
// on `out`. Nothing when the program goes on.
std::optional<int> first_answer(std::string_view program, const CommandLineReading& reading,
                                std::string_view usage, std::ostream& out, std::ostream& errors);

// A whole number from first to last: decimal digits after an optional '-',
// nothing else (no blank, no '+', no point). Nothing when the text is not one
// or the number lies outside.
std::optional<std::int64_t> whole_number(std::string_view text, std::int64_t first,
                                         std::int64_t last);
// A finite number in the C form of a real ("75", "-0.5", "1e3"); nothing when
// the text is not one.
std::optional<double> real_number(std::string_view text);

// An option without a value that sets the flag.
CommandOption flag_option(std::string name, bool& flag);

// An option whose value is taken as written: a path, a name.
template <typename Text>
CommandOption text_option(std::string name, Text& target) {
    return {std::move(name), true, [&target](const std::string& value) {
                target = value;
                return true;
            }};
}

// How a refusal names a whole number from first to last.
std::string whole_number_wanted(std::int64_t first, std::int64_t last);

// An option whose value is a whole number from first to last.
template <typename Whole>
CommandOption whole_number_option(std::string name, Whole& target,
                                  std::type_identity_t<Whole> first,
                                  std::type_identity_t<Whole> last) {
    return {std::move(name), true,
            [&target, first, last](const std::string& value) {
                const std::optional<std::int64_t> number = whole_number(value, first, last);
                if (number) target = static_cast<Whole>(*number);
                return number.has_value();
            },
            whole_number_wanted(first, last)};
}

// The number as a person writes it: 1000, 0.5, 70.
std::string number_text(double value);

// An option whose value is a number from lowest to highest.
CommandOption real_number_option(std::string name, double& target, double lowest, double highest);

// --lang ja|en, the language handed to `use`.
CommandOption language_option(std::function<void(Language)> use);

// A file-size limit (ulimit -f) then fails the write that meets it, which the
// program reports, instead of killing the program with a file half written.
// Every program calls it first.
void fail_writes_at_the_file_size_limit();

}  // namespace mapari
