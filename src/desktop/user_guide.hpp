// Help → User Guide: a walk through one analysis in the language of the
// session, with pictures, ending in the table of every prompt and menu of the
// dialogue in Japanese and English. The table is read from the English
// catalogue compiled into the program, the same text the messages come from,
// so that it says what the program says.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <optional>
#include <string>

#include "formats/messages.hpp"

namespace mapari::qt {

// The text of po/en.po as compiled into the program; nothing when it is missing.
std::optional<std::string> built_in_english_catalogue();

// The guide as HTML, its table built from the catalogue text given (in its
// place, why there is none when the text is missing or is not a catalogue).
QString user_guide_html(Language language, const std::optional<std::string>& english_catalogue);

QString user_guide_title(Language language);

class UserGuideWindow : public QTextBrowser {
  public:
    explicit UserGuideWindow(Language language, QWidget* parent = nullptr);
};

}  // namespace mapari::qt
