#include "formats/messages.hpp"

#include <libintl.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>

// glibc's count of catalogue changes: raised so that texts already looked up
// in the language used before are looked up again.
extern "C" int _nl_msg_cat_cntr;

namespace mapari {
namespace {

constexpr const char* text_domain = "mapari";

// The catalogues beside an installed program (PREFIX/bin/../share/locale),
// else those of the build tree.
std::filesystem::path catalogue_folder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path installed = self.parent_path() / MAPARI_INSTALLED_LOCALE_DIR;
    if (!error && std::filesystem::exists(installed / "en" / "LC_MESSAGES" / "mapari.mo", error))
        return installed.lexically_normal();
    return MAPARI_BUILD_LOCALE_DIR;
}

}  // namespace

std::optional<Language> language_named(std::string_view code) {
    if (code == "ja") return Language::japanese;
    if (code == "en") return Language::english;
    return std::nullopt;
}

const char* language_code(Language language) {
    return language == Language::english ? "en" : "ja";
}

bool use_language(Language language, std::string& reason) {
    const std::filesystem::path folder = catalogue_folder();
    const char* code = language_code(language);
    // In the C locale gettext translates nothing; any other lets LANGUAGE choose.
    std::setlocale(LC_MESSAGES, "C.UTF-8");
    ::setenv("LANGUAGE", code, 1);
    ::bindtextdomain(text_domain, folder.c_str());
    ::bind_textdomain_codeset(text_domain, "UTF-8");
    // The system's own messages (strerror) follow the language too, in UTF-8.
    ::bind_textdomain_codeset("libc", "UTF-8");
    ++_nl_msg_cat_cntr;
    std::error_code error;
    if (std::filesystem::exists(folder / code / "LC_MESSAGES" / "mapari.mo", error)) return true;
    reason = "no message catalogue for \"" + std::string(code) + "\" in " + folder.string();
    return false;
}

// In the C locale gettext ignores LANGUAGE and gives every text as written,
// and the system's messages are its own English; uselocale sets it for this
// thread alone.
MessagesAsWritten::MessagesAsWritten()
    : c_locale_(::newlocale(LC_ALL_MASK, "C", locale_t{})),
      previous_(c_locale_ == locale_t{} ? locale_t{} : ::uselocale(c_locale_)) {}

MessagesAsWritten::~MessagesAsWritten() {
    if (c_locale_ == locale_t{}) return;
    ::uselocale(previous_);
    ::freelocale(c_locale_);
}

std::string message(const char* text) {
    return ::dgettext(text_domain, text);
}

std::string message(const char* text, std::initializer_list<std::string_view> values) {
    const std::string pattern = message(text);
    std::string filled;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        const std::size_t index = at + 2 < pattern.size() && pattern[at] == '{' &&
                                          pattern[at + 2] == '}' && pattern[at + 1] >= '1' &&
                                          pattern[at + 1] <= '9'
                                      ? static_cast<std::size_t>(pattern[at + 1] - '1')
                                      : values.size();
        if (index < values.size()) {
            filled.append(values.begin()[index]);
            at += 2;
        } else {
            filled += pattern[at];
        }
    }
    return filled;
}

}  // namespace mapari
