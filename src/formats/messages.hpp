// The language of the program's messages. The dialogue's own texts are
// written in the code as the program defines them (Japanese, with some
// English prompts); the program's further messages (refusals, file errors)
// are written in English. A GNU gettext catalogue for each language gives
// the texts of the other: po/en.po the English of the dialogue's Japanese
// texts, po/ja.po the Japanese of the further messages. A text with no entry
// in the catalogue of the language in use stands as written.
//
// The language is chosen once for the whole program, as a locale is: before
// the first message, or between sessions of the desktop program.
#pragma once

#include <locale.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace mapari {

enum class Language { japanese, english };

std::optional<Language> language_named(std::string_view code);  // "ja" or "en"
const char* language_code(Language language);

// Chooses the language of every message from now on; false, with the reason,
// when its catalogue cannot be found (the texts then stand as written).
bool use_language(Language language, std::string& reason);

// While it lives, the messages of its thread stand as written (the program's
// further messages and the system's in English) whatever language the
// program uses: for texts that scripts read, such as the batch's tables.
class MessagesAsWritten {
  public:
    MessagesAsWritten();
    ~MessagesAsWritten();
    MessagesAsWritten(const MessagesAsWritten&) = delete;
    MessagesAsWritten& operator=(const MessagesAsWritten&) = delete;

  private:
    locale_t c_locale_;
    locale_t previous_;
};

// Marks a text kept in a table or constant for the catalogue; message() turns
// it into the language in use where it is written.
constexpr const char* translatable(const char* text) {
    return text;
}

// The text in the language in use.
std::string message(const char* text);
// The same with its values in place of {1}, {2}, ...: a translation may put
// them in another order.
std::string message(const char* text, std::initializer_list<std::string_view> values);

}  // namespace mapari
