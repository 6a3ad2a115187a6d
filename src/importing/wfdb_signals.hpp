// The samples of a WFDB record's signal files, decoded by the terms of its
// header and calibrated to microvolts.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "importing/source_recording.hpp"
#include "importing/wfdb_header.hpp"

namespace mapari::importing {

// One signal for each signal of the header, labelled and in microvolts, from
// the bytes of the files the header names (by those names). As many samples
// as the header says, or, when it says none, as the files hold. False, with
// the reason naming the file ("100.dat: holds 10 samples of signal \"MLII\";
// the header says 20"), when a file is missing or short, or the files differ
// in length and the header gives no count.
bool decode_wfdb_signals(const WfdbHeader& header,
                         const std::map<std::string, std::string>& file_bytes,
                         std::vector<SourceSignal>& signals, std::string& reason);

}  // namespace mapari::importing
