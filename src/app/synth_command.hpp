// The command line of mapari-synth:
//
//   mapari-synth --out FILE.dat [--truth FILE.json] [--seed N] [--seconds 4|32]
//                [--noise UV] [--rate BPM] [--help] [--version]
//
// Both files are written under a temporary name and renamed into place once
// complete, so a failed run leaves neither a half recording nor a truth file
// that belongs to another recording.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "formats/exit_codes.hpp"

namespace mapari::synth {

// Runs the tool on its arguments (the program name not included). The usage
// text goes to out; each error is one line on err.
int run_command(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace mapari::synth
