// A source recording read in whatever format it is in, the format found from
// the file's own bytes (its name only tells a WFDB header from its signals).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "importing/source_stream.hpp"

namespace mapari::importing {

// How a source is read: the .dat of no known format is mapari's own layout,
// another program's signal file, or garbage; the importer refuses it.
enum class SourceFormat { wfdb_header, matlab, delimited_text, biosig, unknown_binary };

SourceFormat detect_source_format(const std::filesystem::path& file, std::string_view first_bytes);

// Opens the source to be read in blocks; `variable` names the matrix of a
// MATLAB file. EDF, BDF, GDF and WFDB records are read from the file block
// by block; MATLAB files, text and the other formats BioSig reads are read
// whole first. Null, with the reason, when the format is unknown or the
// reader refuses the file.
std::unique_ptr<SourceStream> open_source(const std::filesystem::path& file,
                                          const std::string& variable, std::string& reason);

}  // namespace mapari::importing
