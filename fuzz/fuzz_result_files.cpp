// Result files as the ARI computation reads them back: any text as a .ds file
// and as a .se record, then the limit check. The first six bytes are the
// settings h, a and r (16 bits each). The seventh chooses the lead searched,
// and its lowest bit makes the .ds text the rest of the input repeated until
// it holds a whole beat's numbers, so the reader gets past the first record.
// When both files read and no limit is broken, the activation and recovery
// search runs on that lead: the limits must keep it inside the beat.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "ari/ari_computation.hpp"
#include "formats/result_files.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

using namespace mapari;
using fuzz::check;

constexpr std::size_t header_bytes = 7;
constexpr std::size_t longest_repeated_text = 2 << 20;

struct NoReport final : ReportSink {
    void write(std::string_view) override {}
};

std::int32_t signed_16(const std::uint8_t* bytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]));
}

// The text repeated, a line end between copies, until it holds at least one
// value for each of the beat's 1024 × 64 places (or the size cap is reached).
std::string repeated(std::string_view text) {
    std::size_t values = 0;
    bool in_value = false;
    for (char c : text) {
        const bool blank =
            c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
        if (!blank && !in_value) ++values;
        in_value = !blank;
    }
    const std::size_t needed = static_cast<std::size_t>(averaged_rows) * lead_count;
    const std::size_t copies = values == 0 ? 1 : (needed + values - 1) / values;
    std::string result;
    for (std::size_t k = 0; k < copies && result.size() < longest_repeated_text; ++k) {
        result += text;
        result += '\n';
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < header_bytes) return 0;
    static const auto work = std::make_unique<AriWork>();
    work->settings.smoothing_half_width_samples = signed_16(data);
    work->settings.activation_offset_samples = signed_16(data + 2);
    work->settings.recovery_delay_samples = signed_16(data + 4);
    const bool repeat = (data[6] & 1u) != 0;
    const std::string text(reinterpret_cast<const char*>(data + header_bytes), size - header_bytes);

    std::string reason;
    const bool se_read = read_se_text(text, *work, reason);
    check(se_read || !reason.empty());
    reason.clear();
    const bool ds_read = read_ds_text(repeat ? repeated(text) : text, work->beat_matrix, reason);
    check(ds_read || !reason.empty());
    if (!se_read || !ds_read || !broken_limit(*work).empty()) return 0;

    const int lead = 1 + data[6] / 2 % lead_count;
    for (int k = 1; k <= averaged_rows; ++k) {
        work->lead_samples(k) = work->beat_matrix(k, lead);
        work->abscissae(k) = static_cast<float>(k);
        work->ordinates(k) = static_cast<float>(work->lead_samples(k));
    }
    NoReport report;
    find_activation(*work, lead);
    find_recovery(*work, report, lead);
    return 0;
}
