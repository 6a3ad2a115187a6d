// Delimited text (CSV, TSV): one column a signal, one line a sample.
#pragma once

#include <string>
#include <string_view>

#include "importing/source_recording.hpp"

namespace mapari::importing {

// Reads the whole text; the rate stays 0 (text states none). False, with the
// reason naming the line, when the text is not a table of numbers.
bool read_delimited_text(std::string_view text, SourceRecording& recording, std::string& reason);

}  // namespace mapari::importing
