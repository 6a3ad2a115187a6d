#include "window/script.hpp"

#include <charconv>
#include <vector>

namespace mapari {
namespace {

std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

bool parse_pixel(std::string_view word, int& value) {
    auto [end, status] = std::from_chars(word.data(), word.data() + word.size(), value);
    return status == std::errc() && end == word.data() + word.size() && value >= -32768 &&
           value <= 32767;
}

std::optional<ScriptEvent> parse_click(const std::vector<std::string_view>& words,
                                       ScriptEvent event, std::size_t required,
                                       std::string& error) {
    if (words.size() < 1 + required || words.size() > 3) {
        error = required == 1 ? "expected '@click COL [ROW]'" : "expected '@right [COL [ROW]]'";
        return std::nullopt;
    }
    if ((words.size() > 1 && !parse_pixel(words[1], event.column)) ||
        (words.size() > 2 && !parse_pixel(words[2], event.row))) {
        error = "a click position must be whole pixel numbers from -32768 to 32767";
        return std::nullopt;
    }
    return event;
}

}  // namespace

std::optional<ScriptEvent> parse_script_line(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ScriptEvent event;
    if (line.empty() || line[0] != '@') {
        event.answer = line;
        return event;
    }
    if (line.starts_with("@@")) {
        event.answer = line.substr(1);
        return event;
    }
    if (line.starts_with("@#")) {
        event.kind = ScriptEvent::Kind::comment;
        return event;
    }
    std::vector<std::string_view> words = split_words(line);
    if (words[0] == "@click") {
        event.kind = ScriptEvent::Kind::left_click;
        return parse_click(words, event, 1, error);
    }
    if (words[0] == "@right") {
        event.kind = ScriptEvent::Kind::right_click;
        event.column = default_right_click_column;
        return parse_click(words, event, 0, error);
    }
    error = "unknown event '" + std::string(words[0]) + "' (a line starting with @ is an event; " +
            "write @@ for an answer starting with @)";
    return std::nullopt;
}

std::string script_line_for(const ScriptEvent& event) {
    switch (event.kind) {
        case ScriptEvent::Kind::left_click:
            return "@click " + std::to_string(event.column) + " " + std::to_string(event.row);
        case ScriptEvent::Kind::right_click:
            return "@right " + std::to_string(event.column) + " " + std::to_string(event.row);
        case ScriptEvent::Kind::comment:
            return "@#";
        case ScriptEvent::Kind::answer:
            break;
    }
    return event.answer.starts_with('@') ? "@" + event.answer : event.answer;
}

}  // namespace mapari
