// mapari-import: recordings in the formats labs record in turned into map
// recordings, and files that claim mapari's layout checked.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "importing/import.hpp"

namespace mapari {

extern const char* const import_usage_text;

// The rate of a source that states none, as the command's --rate-hz and the
// import dialog read it: a finite number of hertz above 0.
std::optional<double> read_rate_hz(std::string_view text);
// What a rate must be, as their refusals say it.
inline constexpr std::string_view rate_wanted = "a number of hertz above 0";

// The period a single recorded beat is repeated at, as the command's
// --repeat-every and the import dialog read it: a whole number of
// milliseconds from 1 to 32000 (the length of the recording made).
std::optional<int> read_repeat_every_ms(std::string_view text);
// What a period must be, as their refusals say it.
std::string repeat_every_wanted();

// What an import did, as lines for a person: the source read, the resampling
// and count step, the beat repeated, the pieces written, notes and clipped
// samples.
std::string import_summary(const importing::ImportRequest& request,
                           const importing::ImportReport& report);

// Runs the command on its arguments (the program name left out). Progress goes
// to `errors` when `progress_shown`, as one line rewritten in place.
int run_import_command(const std::vector<std::string>& arguments, std::ostream& out,
                       std::ostream& errors, bool progress_shown);

}  // namespace mapari
