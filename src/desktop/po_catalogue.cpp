#include "desktop/po_catalogue.hpp"

#include <array>
#include <optional>

#include "formats/fields.hpp"

namespace mapari::qt {
namespace {

enum class Field { none, context, original, plural, translation, other_translation };

struct Keyword {
    std::string_view word;
    Field field;
};

// msgstr[0] is the singular translation; msgstr[1] and on are left out of the table.
constexpr std::array keywords{
    Keyword{"msgctxt", Field::context},    Keyword{"msgid_plural", Field::plural},
    Keyword{"msgid", Field::original},     Keyword{"msgstr[0]", Field::translation},
    Keyword{"msgstr", Field::translation}, Keyword{"msgstr[", Field::other_translation},
};

std::optional<char> escaped(char letter) {
    switch (letter) {
        case '"':
            return '"';
        case '\\':
            return '\\';
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        default:
            return std::nullopt;
    }
}

// Appends the text of the quoted string that is the whole of `quoted` to out;
// false, with what is wrong, when it is not one.
bool append_quoted(std::string_view quoted, std::string& out, std::string& problem) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
        problem = "a string in double quotes is expected";
        return false;
    }
    for (std::size_t at = 1; at + 1 < quoted.size(); ++at) {
        if (quoted[at] == '"') {
            problem = "a double quote inside a string needs a backslash before it";
            return false;
        }
        if (quoted[at] != '\\') {
            out += quoted[at];
            continue;
        }
        if (at + 2 >= quoted.size()) {
            problem = "the string has no closing double quote";
            return false;
        }
        const std::optional<char> letter = escaped(quoted[at + 1]);
        if (!letter) {
            problem = "unknown escape \\" + std::string(1, quoted[at + 1]);
            return false;
        }
        out += *letter;
        ++at;
    }
    return true;
}

class CatalogueReader {
  public:
    explicit CatalogueReader(std::vector<CatalogueEntry>& entries) : entries_(entries) {}

    // Takes one line; false, with what is wrong with it.
    bool read_line(std::string_view line, std::string& problem);
    // Ends the text; false when its last entry is unfinished.
    bool finish(std::string& problem);

  private:
    bool begin_field(Field field, std::string& problem);
    void keep_entry();
    std::string* field_text();

    std::vector<CatalogueEntry>& entries_;
    CatalogueEntry entry_;
    Field field_ = Field::none;
    bool begun_ = false;  // a msgctxt or msgid of entry_ has been read
    bool translated_ = false;
    bool fuzzy_flag_ = false;  // "#, fuzzy" read for the entry that begins next
    std::string ignored_;
};

bool CatalogueReader::read_line(std::string_view line, std::string& problem) {
    line = trimmed(line);
    if (line.empty()) return true;
    if (line.front() == '#') {
        if (line.starts_with("#,") && line.find("fuzzy") != std::string_view::npos)
            fuzzy_flag_ = true;
        return true;
    }
    if (line.front() == '"') {
        if (field_ == Field::none) {
            problem = "a string outside an entry";
            return false;
        }
        return append_quoted(line, *field_text(), problem);
    }
    for (const Keyword& keyword : keywords) {
        if (!line.starts_with(keyword.word)) continue;
        std::string_view rest = line.substr(keyword.word.size());
        if (keyword.field == Field::other_translation) rest = rest.substr(rest.find(']') + 1);
        if (rest.empty() || (rest.front() != ' ' && rest.front() != '\t')) continue;
        return begin_field(keyword.field, problem) &&
               append_quoted(trimmed(rest), *field_text(), problem);
    }
    problem = "neither a keyword, a string nor a comment";
    return false;
}

bool CatalogueReader::begin_field(Field field, std::string& problem) {
    const bool starts_entry = field == Field::context || field == Field::original;
    if (starts_entry && translated_) keep_entry();
    if (starts_entry && begun_ && !(field == Field::original && field_ == Field::context)) {
        problem = "a new entry begins before the one above has its msgstr";
        return false;
    }
    if (field == Field::translation && translated_) {
        problem = "a second msgstr in one entry";
        return false;
    }
    if (!starts_entry && !begun_) {
        problem = "a msgid_plural or msgstr without a msgid before it";
        return false;
    }
    if (starts_entry && !begun_) {
        entry_.fuzzy = fuzzy_flag_;
        fuzzy_flag_ = false;
        begun_ = true;
    }
    if (field == Field::translation || field == Field::other_translation) translated_ = true;
    field_ = field;
    return true;
}

std::string* CatalogueReader::field_text() {
    ignored_.clear();
    switch (field_) {
        case Field::original:
            return &entry_.original;
        case Field::translation:
            return &entry_.translation;
        default:
            return &ignored_;
    }
}

void CatalogueReader::keep_entry() {
    if (!entry_.original.empty()) entries_.push_back(std::move(entry_));
    entry_ = CatalogueEntry();
    field_ = Field::none;
    begun_ = false;
    translated_ = false;
}

bool CatalogueReader::finish(std::string& problem) {
    if (begun_ && !translated_) {
        problem = "the last entry has no msgstr";
        return false;
    }
    if (translated_) keep_entry();
    return true;
}

}  // namespace

const std::string& shown_text(const CatalogueEntry& entry) {
    return entry.translation.empty() || entry.fuzzy ? entry.original : entry.translation;
}

bool read_po_catalogue(std::string_view text, std::vector<CatalogueEntry>& entries,
                       std::string& error) {
    entries.clear();
    CatalogueReader reader(entries);
    std::string problem;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!reader.read_line(line, problem)) {
            error = "line " + std::to_string(line_number) + ": " + problem;
            return false;
        }
    }
    if (reader.finish(problem)) return true;
    error = problem;
    return false;
}

}  // namespace mapari::qt
