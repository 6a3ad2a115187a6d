// The user guide's own texts, in English and in Japanese. The walk through an
// analysis is HTML; the pictures it shows are compiled into the program under
// qrc:/guide/docs/.
#pragma once

#include "formats/messages.hpp"

namespace mapari::qt {

struct GuideTexts {
    const char* window_title;
    const char* walk_through;  // HTML: the headings and paragraphs of one analysis
    const char* table_heading;
    const char* table_introduction;  // HTML paragraph
    const char* japanese_column;
    const char* english_column;
    // Said in place of the table when the built-in catalogue cannot be read; %1 is why.
    const char* unreadable_catalogue;
};

const GuideTexts& guide_texts(Language language);

}  // namespace mapari::qt
