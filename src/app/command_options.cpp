#include "app/command_options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "formats/exit_codes.hpp"

namespace mapari {

namespace {

bool is_option(const std::string& word) {
    return word.size() > 1 && word.front() == '-';
}

// The option's refusal of its value, or empty when it takes it.
std::string take_value(const CommandOption& option, const std::string& value) {
    if (option.take(value)) return {};
    return option.name + " takes " + option.value_wanted + ", not \"" + value + "\"";
}

}  // namespace

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

CommandLineReading read_command_line(const std::vector<std::string>& arguments,
                                     const CommandOptions& options, const CommandWord& take_word) {
    CommandLineReading reading;
    for (std::size_t k = 0; k < arguments.size() && reading.error.empty(); ++k) {
        const std::string& word = arguments[k];
        if (word == "--help" || word == "-h" || word == "--version") {
            reading.request = word == "--version" ? CommandRequest::version : CommandRequest::help;
            return reading;
        }
        if (!is_option(word)) {
            reading.error = take_word ? take_word(word) : "unexpected argument '" + word + "'";
            continue;
        }
        const auto option = std::ranges::find(options, word, &CommandOption::name);
        if (option == options.end())
            reading.error = "unknown option '" + word + "'";
        else if (!option->takes_value)
            option->take({});
        else if (k + 1 == arguments.size() || arguments[k + 1].empty())
            reading.error = word + " needs a value";
        else
            reading.error = take_value(*option, arguments[++k]);
    }
    return reading;
}

std::optional<int> first_answer(std::string_view program, const CommandLineReading& reading,
                                std::string_view usage, std::ostream& out, std::ostream& errors) {
    if (!reading.error.empty()) {
        errors << program << ": " << reading.error << '\n' << usage;
        return exit_usage;
    }
    if (reading.request == CommandRequest::help) {
        out << usage;
        return exit_normal;
    }
    if (reading.request == CommandRequest::version) {
        out << program << ' ' << MAPARI_VERSION << '\n';
        return exit_normal;
    }
    return std::nullopt;
}

std::optional<std::int64_t> whole_number(std::string_view text, std::int64_t first,
                                         std::int64_t last) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    if (status != std::errc() || stop != end || value < first || value > last) return std::nullopt;
    return value;
}

std::optional<double> real_number(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    if (status != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

CommandOption flag_option(std::string name, bool& flag) {
    return {std::move(name), false, [&flag](const std::string&) {
                flag = true;
                return true;
            }};
}

std::string whole_number_wanted(std::int64_t first, std::int64_t last) {
    return "a whole number from " + std::to_string(first) + " to " + std::to_string(last);
}

CommandOption real_number_option(std::string name, double& target, double lowest, double highest) {
    return {std::move(name), true,
            [&target, lowest, highest](const std::string& value) {
                const std::optional<double> number = real_number(value);
                const bool usable = number && *number >= lowest && *number <= highest;
                if (usable) target = *number;
                return usable;
            },
            "a number from " + number_text(lowest) + " to " + number_text(highest)};
}

CommandOption language_option(std::function<void(Language)> use) {
    return {"--lang", true,
            [use = std::move(use)](const std::string& code) {
                const std::optional<Language> language = language_named(code);
                if (language) use(*language);
                return language.has_value();
            },
            "ja or en"};
}

void fail_writes_at_the_file_size_limit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace mapari
