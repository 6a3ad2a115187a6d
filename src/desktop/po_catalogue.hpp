// The entries of a GNU gettext catalogue (.po text), read so that the user
// guide can list every text of the dialogue beside its translation from the
// very catalogue the program's messages come from.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mapari::qt {

struct CatalogueEntry {
    std::string original;     // the msgid: the text as the program writes it
    std::string translation;  // the msgstr (msgstr[0] of a plural entry); empty: none
    bool fuzzy = false;       // flagged "fuzzy": the compiled catalogue leaves it out
};

// The text the program shows for the entry: its translation when the compiled
// catalogue holds one, else the original as written.
const std::string& shown_text(const CatalogueEntry& entry);

// Reads every entry but the header (the entry whose msgid is empty) in the
// order of the text. Quoted strings may continue on the lines after their
// keyword, and take the escapes \" \\ \n \t \r. Comments and obsolete entries
// are passed over. False, with the line and what is wrong there, when the
// text is not a catalogue.
bool read_po_catalogue(std::string_view text, std::vector<CatalogueEntry>& entries,
                       std::string& error);

}  // namespace mapari::qt
