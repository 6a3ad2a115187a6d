// The formats the BioSig library reads: EDF, EDF+, BDF, GDF, SCP-ECG, HL7 aECG,
// BrainVision and more.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "importing/source_recording.hpp"
#include "importing/source_stream.hpp"

namespace mapari::importing {

// The file opened to be read in blocks, every signal in microvolts at the
// file's rate. Null, with the reason, when BioSig cannot open it, a signal is
// not a voltage, the signals differ in rate or the file is shorter than its
// header says.
std::unique_ptr<SourceStream> open_biosig_file(const std::filesystem::path& file,
                                               std::string& reason);

// Reads every signal of the file whole. False, with the reason, when it
// cannot be opened (above) or read to its end.
bool read_biosig_file(const std::filesystem::path& file, SourceRecording& recording,
                      std::string& reason);

}  // namespace mapari::importing
