// The formats the BioSig library reads: EDF, EDF+, BDF, GDF, SCP-ECG, HL7 aECG,
// BrainVision and more.
#pragma once

#include <filesystem>
#include <string>

#include "importing/source_recording.hpp"

namespace mapari::importing {

// Reads every signal of the file in microvolts at the file's rate. False, with
// the reason, when BioSig cannot read it or a signal is not a voltage.
bool read_biosig_file(const std::filesystem::path& file, SourceRecording& recording,
                      std::string& reason);

}  // namespace mapari::importing
