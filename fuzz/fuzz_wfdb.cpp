// WFDB records of any header text and signal bytes. The input up to its first
// NUL byte is the header; the bytes after it are the content of every signal
// file the header names. A record that decodes has signals of one length, at
// least one sample long, with finite values; one that does not gives a reason
// and leaves the recording as it was.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.hpp"
#include "importing/wfdb_reader.hpp"

namespace {

using mapari::fuzz::check;
using mapari::importing::SourceRecording;

// The first field of each line after the record line that is neither empty
// nor a comment, as the reader splits lines and fields: the file names of
// the signal lines, and of any lines beyond them, which do no harm.
std::map<std::string, std::string> files_named(std::string_view header, std::string_view bytes) {
    std::map<std::string, std::string> files;
    bool record_line_seen = false;
    while (!header.empty()) {
        const std::size_t end = std::min(header.find('\n'), header.size());
        std::string_view line = header.substr(0, end);
        header.remove_prefix(std::min(end + 1, header.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        line.remove_prefix(first);
        if (record_line_seen)
            files.emplace(line.substr(0, line.find_first_of(" \t")), std::string(bytes));
        record_line_seen = true;
    }
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = std::min(input.find('\0'), input.size());
    const std::string_view header = input.substr(0, nul);
    const std::string_view bytes = input.substr(std::min(nul + 1, input.size()));

    SourceRecording recording;
    recording.format = "untouched";
    std::string reason;
    if (!mapari::importing::decode_wfdb_record(header, files_named(header, bytes), recording,
                                               reason)) {
        check(!reason.empty());
        check(recording.format == "untouched" && recording.signals.empty());
        return 0;
    }
    check(recording.format.rfind("WFDB (format", 0) == 0);
    check(std::isfinite(recording.rate_hz) && recording.rate_hz > 0.0);
    check(!recording.signals.empty() && recording.samples() > 0);
    for (const mapari::importing::SourceSignal& signal : recording.signals) {
        check(!signal.label.empty());
        check(signal.microvolts.size() == recording.samples());
        for (double value : signal.microvolts) check(std::isfinite(value));
    }
    return 0;
}
