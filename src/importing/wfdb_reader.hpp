// WFDB records, read from their header (.hea) and signal files.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "importing/source_recording.hpp"
#include "importing/source_stream.hpp"

namespace mapari::importing {

// The record from the text of its header and the bytes of its signal files,
// by the file names the header gives. False, with the reason, when the header
// does not parse or a file is missing or too short for the samples it claims;
// a fault of the header is told by its line ("line 3: \"abc\" is not a
// gain"), one of a signal file by its name ("100.dat: holds ..."). The
// recording is left as it was.
bool decode_wfdb_record(std::string_view header_text,
                        const std::map<std::string, std::string>& signal_files,
                        SourceRecording& recording, std::string& reason);

// The record whose header is `header_file`, opened to be read in blocks; its
// signal files are looked for beside it and read a block at a time. Null,
// with the reason, when the header does not parse or a signal file cannot be
// read or is too short for the samples the header claims (the reasons below).
std::unique_ptr<SourceStream> open_wfdb_record(const std::filesystem::path& header_file,
                                               std::string& reason);

// Reads the record whose header is `header_file`; its signal files are looked
// for beside it. False, with the reason, when the record cannot be read whole:
// the reasons are those above, and a signal file that cannot be read is named
// as the header names it. The header's own name is left to the caller to put
// in front, as for every reader.
bool read_wfdb_record(const std::filesystem::path& header_file, SourceRecording& recording,
                      std::string& reason);

}  // namespace mapari::importing
