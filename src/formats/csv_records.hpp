// Records of CSV text as the tables write them: fields separated by commas,
// one holding a comma, a quote or a line end in double quotes with a quote in
// it doubled; a record ends at a line end outside quotes ("\r\n" too).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mapari {

// The fields of one record, unquoted; `lines` counts the line ends the record
// takes (a quoted field may hold some).
struct Record {
    std::vector<std::string> fields;
    int lines = 1;
};

// Reads the record at the start of `text` and removes it from `text`; false
// with a reason when a quoted field is not closed before the text ends.
bool next_record(std::string_view& text, Record& record, std::string& reason);

}  // namespace mapari
