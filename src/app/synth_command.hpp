// The command line of mapari-synth:
//
//   mapari-synth --out FILE.dat [--truth FILE.json] [--seed N] [--noise-seed N]
//                [--seconds 4|32] [--noise UV] [--rate BPM] [--restitution-slope S]
//                [--rr-jitter MS] [--bad-leads KIND:LEAD,...] [--help] [--version]
//
// Both files are written under a temporary name and renamed into place once
// complete, so a failed run leaves neither a half recording nor a truth file
// that belongs to another recording.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace mapari::synth {

extern const char* const usage_text;

// Runs the tool on its arguments (the program name not included). --help
// writes the usage to out; a command line it cannot use gives the reason and
// the usage on err, a file it cannot write one line there.
int run_command(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace mapari::synth
