// The header of a WFDB record (its .hea text): the record line and one line a
// signal, read into the terms the signal files are decoded by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mapari::importing {

// One signal as its header line describes it.
struct WfdbSignal {
    std::string label;  // the description, or "signal N" (N from 1) when it has none
    double adc_units_per_unit = 200.0;  // the gain, in ADC units a physical unit
    std::int32_t baseline = 0;          // the ADC value of 0 physical units
    double microvolts_per_unit = 1000.0;
    std::int32_t initial_value = 0;  // the value the first difference adds to (format 8)
    bool gain_given = false;         // false: the header gave none (or 0), 200 is assumed
    bool unit_given = false;         // false: the header gave none, millivolts are assumed
};

// The signals one file holds, their samples interleaved in header order.
struct WfdbFile {
    std::string name;
    int format = 0;
    std::size_t byte_offset = 0;       // where the samples begin: the bytes before are a preamble
    std::vector<std::size_t> signals;  // indices into WfdbHeader::signals
};

struct WfdbHeader {
    double rate_hz = 250.0;
    std::optional<std::size_t> samples;  // per signal; none when the files hold the count
    std::vector<WfdbSignal> signals;
    std::vector<WfdbFile> files;  // in the order the header first names them
};

// The formats whose samples this reader decodes.
inline constexpr int wfdb_formats[] = {8, 16, 61, 80, 160, 212, 310, 311};

// Reads the header text. False, with the reason naming the line ("line 3:
// \"abc\" is not a gain"), when the text is no header of a record this reader
// can decode.
bool parse_wfdb_header(std::string_view text, WfdbHeader& header, std::string& reason);

}  // namespace mapari::importing
