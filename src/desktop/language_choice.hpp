// The language the operator chose in the frame's Language menu, remembered in
// the desktop's settings for the next start of the program. The running
// session keeps the language it started in, so that its lines are not mixed.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "formats/messages.hpp"

namespace mapari::qt {

void remember_language(Language language);

// The remembered choice; nothing when there is none, or when the settings hold
// something else (then problem says what).
std::optional<Language> remembered_language(std::string& problem);

// What the frame says when a language is chosen, in that language.
QString next_start_notice(Language chosen);

}  // namespace mapari::qt
