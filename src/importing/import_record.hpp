// NAME.import.json: how the pieces of an import were made, for the record of
// a study — the source, its format and rate, the resampling, the period of a
// repeated beat, the microvolts a count stands for, the channel map, the
// signals left out, each piece's start, the clipped samples and the program
// that made them.
#pragma once

#include <string>

#include "importing/import.hpp"

namespace mapari::importing {

std::string import_record_json(const ImportRequest& request, const ImportReport& report);

// Where the record goes: NAME.import.json in the data folder.
std::string record_path(const ImportRequest& request);

}  // namespace mapari::importing
