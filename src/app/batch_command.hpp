// mapari-batch: recordings analysed without an operator, each in a folder of
// its own under --out, with the tables of all of them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace mapari {

extern const char* const batch_usage_text;

// Runs the command on its arguments (the program name left out); progress
// goes to `errors` as one line rewritten in place when `progress_shown`.
int run_batch_command(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& errors, bool progress_shown);

}  // namespace mapari
