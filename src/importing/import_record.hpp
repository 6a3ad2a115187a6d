// NAME.import.json: how the pieces of an import were made, for the record of
// a study — the source, its format and rate, the resampling, the microvolts a
// count stands for, the channel map, each piece's start, the clipped samples
// and the program that made them.
#pragma once

#include <string>

#include "importing/import.hpp"

namespace mapari::importing {

std::string import_record_json(const ImportRequest& request, const ImportReport& report);

}  // namespace mapari::importing
