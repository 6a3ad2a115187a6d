// mapari-batch: recordings analysed without an operator, each in a folder of
// its own under --out, with the tables of all of them.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace mapari {

extern const char* const batch_usage_text;

// Runs the command on its arguments (the program name left out); progress
// goes to `errors` as one line rewritten in place when `progress_shown`.
// after_each_recording, when given, is called as each analysis ends (a test's
// hook to stop the batch at a known point).
int run_batch_command(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& errors, bool progress_shown,
                      const std::function<void()>& after_each_recording = {});

// Asks the batch at work to stop as Ctrl-C does: the analyses under way end
// and are kept, no other begins; the batch exits with exit_batch_stopped.
void ask_batch_to_stop();

}  // namespace mapari
