// Any text read as a delimited table. A table read must be whole: a label
// for each signal, every signal as long as the others and no longer than the
// text has lines, every value finite, no rate. A text refused must say why
// and leave the recording as it was.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.hpp"
#include "importing/delimited_text.hpp"

namespace {

using mapari::fuzz::check;
using mapari::importing::SourceRecording;

void check_whole(const SourceRecording& recording, std::string_view text) {
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    check(!recording.signals.empty());
    check(!recording.format.empty());
    check(recording.rate_hz == 0.0);
    const std::size_t samples = recording.samples();
    check(samples >= 1 && samples <= lines);
    for (const auto& signal : recording.signals) {
        check(signal.microvolts.size() == samples);
        for (double microvolts : signal.microvolts) check(std::isfinite(microvolts));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SourceRecording recording;
    recording.format = "untouched";
    std::string reason;
    if (mapari::importing::read_delimited_text(text, recording, reason)) {
        check(reason.empty());
        check_whole(recording, text);
    } else {
        check(!reason.empty());
        check(recording.format == "untouched" && recording.signals.empty());
    }
    return 0;
}
