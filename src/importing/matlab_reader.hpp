// MATLAB files (level 5 and 7.3) holding a numeric matrix of signals.
#pragma once

#include <filesystem>
#include <string>

#include "importing/source_recording.hpp"

namespace mapari::importing {

// Reads the numeric matrix named `variable`, or the only one when `variable`
// is empty; the longer side is time and the values are taken as millivolts.
// The rate stays 0 (a matrix states none). False, with the reason said of the
// file ("holds no numeric matrix"), when no matrix can be read.
bool read_matlab_file(const std::filesystem::path& file, const std::string& variable,
                      SourceRecording& recording, std::string& reason);

}  // namespace mapari::importing
