// A recording as a source format holds it, read into one shape that every
// reader fills and the import works on: each signal in microvolts, all at one
// rate and of one length.
#pragma once

#include <string>
#include <vector>

namespace mapari::importing {

struct SourceSignal {
    std::string label;               // the source's own name of the signal ("MLII"); may be empty
    std::vector<double> microvolts;  // one value a sample, calibrated by the source's own terms
};

struct SourceRecording {
    std::string format;                 // what the file was read as: "WFDB (format 212)", "EDF+"
    double rate_hz = 0.0;               // samples a second; 0 when the file states none
    std::string unit_note;              // how values became microvolts, when the file did not say
    std::vector<SourceSignal> signals;  // all of one length
    std::size_t samples() const { return signals.empty() ? 0 : signals.front().microvolts.size(); }
};

}  // namespace mapari::importing
