// The record of one recording's analysis in a study folder,
// DIR/NAME/analysis.json: everything its rows of the tables hold (the
// settings asked, with the leads named bad and good by hand and the layout,
// and the display leads used, status and reason, beats, marks, each lead's AT,
// RT and flags, a bad lead's AT and RT as filled in, and the spatial rules
// applied), with where it came from (the source's path
// as given and its checksum), the program's version and when it was analysed.
// The tables are rebuilt from these records alone, so a record is written
// once, with the recording's files, and read back to the same analysis.
#pragma once

#include <string>
#include <string_view>

#include "app/batch_analysis.hpp"

namespace mapari {

inline constexpr const char* study_record_name = "analysis.json";

// The checksum a record keeps of its source: FNV-1a of 64 bits over the
// bytes, as "fnv1a64:" and 16 hexadecimal digits. It tells a source changed
// since its analysis, not one forged to look the same.
std::string source_checksum(std::string_view bytes);

// The record of an analysis as JSON text (the note, being of one run, left out).
std::string study_record_text(const RecordingAnalysis& analysis);

// The analysis a record holds; false with the reason when the text is no
// record of this program (not JSON, a field missing or of the wrong kind, an
// unknown status or flag).
bool read_study_record(std::string_view text, RecordingAnalysis& analysis, std::string& reason);

}  // namespace mapari
