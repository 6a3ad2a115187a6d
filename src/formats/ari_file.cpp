#include "formats/ari_file.hpp"

#include <cmath>
#include <optional>

#include "formats/fields.hpp"
#include "formats/free_form.hpp"
#include "formats/quoted.hpp"

namespace mapari {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The blank-separated words of a text, one at a time.
class Words {
  public:
    explicit Words(std::string_view text) : text_(text) {}
    std::optional<std::string_view> next() {
        while (at_ < text_.size() && is_blank(text_[at_])) ++at_;
        if (at_ == text_.size()) return std::nullopt;
        const std::size_t start = at_;
        while (at_ < text_.size() && !is_blank(text_[at_])) ++at_;
        return text_.substr(start, at_ - start);
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

std::string number_label(int n) {
    return "number " + std::to_string(n) + " (" + ari_number_name(n) + ")";
}

bool read_header_number(std::string_view word, int n, std::int32_t& target, std::string& reason) {
    std::optional<std::int32_t> value = read_whole_number(word);
    if (!value) {
        reason = number_label(n) + " reads " + quoted_word(word) + ", which is not a whole number";
        return false;
    }
    target = *value;
    return true;
}

bool read_time(std::string_view word, int n, float& target, std::string& reason) {
    std::optional<float> value = read_real_number(word);
    if (!value || !std::isfinite(*value)) {
        reason = number_label(n) + " reads " + quoted_word(word) + ", which is not a number of ms";
        return false;
    }
    target = *value;
    return true;
}

// Where number n of the record goes.
bool store_number(std::string_view word, int n, AriRecord& record, std::string& reason) {
    std::int32_t* const header[ari_header_count] = {&record.reference_point, &record.j_point,
                                                    &record.t_end, &record.smoothing_half_width};
    if (n <= ari_header_count) return read_header_number(word, n, *header[n - 1], reason);
    const int index = (n - ari_header_count - 1) % lead_count;
    float& target = n <= ari_header_count + lead_count
                        ? record.activation_ms[static_cast<std::size_t>(index)]
                        : record.recovery_ms[static_cast<std::size_t>(index)];
    return read_time(word, n, target, reason);
}

}  // namespace

std::string ari_file_text(const AriWork& work) {
    FreeFormWriter record;
    record.add(work.reference_point);
    record.add(work.j_point);
    record.add(work.t_end);
    record.add(work.settings.smoothing_half_width_samples);
    for (int l = 1; l <= lead_count; ++l) record.add(work.activation_ms(l));
    for (int l = 1; l <= lead_count; ++l) record.add(work.recovery_ms(l));
    record.end_record();
    return record.take();
}

std::string ari_number_name(int n) {
    switch (n) {
        case 1:
            return "the reference point P";
        case 2:
            return "the J point";
        case 3:
            return "the T end";
        case 4:
            return "the smoothing half-width h";
        default:
            break;
    }
    const int lead = (n - ari_header_count - 1) % lead_count + 1;
    const char* what = n <= ari_header_count + lead_count ? "activation" : "recovery";
    return std::string("the ") + what + " time of lead " + std::to_string(lead);
}

bool parse_ari_text(std::string_view text, AriRecord& record, std::string& reason) {
    Words words(text);
    for (int n = 1; n <= ari_number_count; ++n) {
        std::optional<std::string_view> word = words.next();
        if (!word) {
            reason = n == 1 ? "it holds no numbers; an .ari record holds 132"
                            : "it ends after " + std::to_string(n - 1) + " of its 132 numbers (" +
                                  ari_number_name(n) + " is missing)";
            return false;
        }
        if (!store_number(*word, n, record, reason)) return false;
    }
    // A longer text is another kind of file (a .ds file has 65,536 numbers), not an .ari record.
    if (std::optional<std::string_view> extra = words.next()) {
        reason = "it goes on after the 132 numbers of an .ari record (number 133 reads " +
                 quoted_word(*extra) + ")";
        return false;
    }
    return true;
}

}  // namespace mapari
