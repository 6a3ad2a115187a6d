// Answer lines as typed: the four answer forms on any bytes. The first byte
// chooses the field width and the implied decimals; the rest is the line.
// Besides not crashing, each reader must agree with a plain reference reading.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "dialogue/answer_forms.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

using namespace mapari;
using fuzz::check;

bool is_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// The reference reading of a whole number: an optional '+' dropped, then the
// standard library's reading of the whole text.
std::optional<std::int32_t> reference_whole_number(std::string_view value) {
    if (value.starts_with('+') && !value.substr(1).starts_with('-')) value.remove_prefix(1);
    std::int32_t number = 0;
    auto [end, status] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (status != std::errc() || end != value.data() + value.size()) return std::nullopt;
    return number;
}

template <std::size_t Width>
void check_text_field(std::string_view line) {
    TextField<Width> field = read_text_field<Width>(line);
    std::size_t kept = utf8_safe_cut(line, Width);
    check(kept <= Width && kept <= line.size());
    check(kept == line.size() || kept == 0 || !is_continuation(line[kept]));
    check(field.view().substr(0, kept) == line.substr(0, kept));
    check(field.view().substr(kept).find_first_not_of(' ') == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int width = data[0] % 32;
    const int implied_decimals = (data[0] / 32) % 5;
    const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);

    std::optional<std::string_view> value = first_free_value(line);
    if (value) {
        // The value is a part of the line itself.
        check(value->data() >= line.data() &&
              value->data() + value->size() <= line.data() + line.size());
        std::optional<std::int32_t> whole = read_whole_number(*value);
        check(whole == reference_whole_number(*value));
        std::optional<float> real = read_real_number(*value);
        check(!real || std::isfinite(*real));
        if (whole && real && std::abs(*whole) < (1 << 24))
            check(*real == static_cast<float>(*whole));
    }
    std::optional<TextField<10>> letter = read_letter_answer(line);
    check(letter.has_value() == value.has_value());
    if (letter) {
        (void)is_letter(*letter, 'y');
        (void)is_letter(*letter, 'n');
    }

    std::optional<std::int32_t> integer = read_integer_field(line, width);
    std::optional<float> real = read_real_field(line, width, implied_decimals);
    check(!real || std::isfinite(*real));
    if (line.substr(0, static_cast<std::size_t>(width)).find_first_not_of(' ') ==
        std::string_view::npos) {
        // An all-blank field is 0.
        check(integer == 0);
        check(real == 0.0f);
    }

    check_text_field<6>(line);
    check_text_field<10>(line);
    check_text_field<32>(line);
    return 0;
}
