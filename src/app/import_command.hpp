// mapari-import: recordings in the formats labs record in turned into map
// recordings, and files that claim mapari's layout checked.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "importing/import.hpp"

namespace mapari {

extern const char* const import_usage_text;

// What an import did, as lines for a person: the source read, the resampling
// and count step, the pieces written, notes and clipped samples.
std::string import_summary(const importing::ImportRequest& request,
                           const importing::ImportReport& report);

// Runs the command on its arguments (the program name left out). Progress goes
// to `errors` when `progress_shown`, as one line rewritten in place.
int run_import_command(const std::vector<std::string>& arguments, std::ostream& out,
                       std::ostream& errors, bool progress_shown);

}  // namespace mapari
