// Words of input files and lists of numbers as messages and tables show them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mapari {

// The word in double quotes, cut after 24 bytes ("…" then), with every byte
// that is not printable ASCII written as \xNN: a binary file read by mistake
// gives a message that still reads on a terminal.
std::string quoted_word(std::string_view word);

// The text in double quotes, as it stands: a label or field of a file named in
// a message.
std::string in_quotes(std::string_view text);

// The numbers written out with `separator` between each two: "13, 23, 37".
std::string joined_numbers(const std::vector<int>& numbers, std::string_view separator);

}  // namespace mapari
