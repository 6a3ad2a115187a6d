// Records of the regression report and of the solver's messages, built in a
// fixed buffer (no allocation) and handed one line each to the caller's
// report sink; the dialogue writes them on the standard output channel.
//
// A record is its carriage-control character ("1" new page, "0" one empty line
// before, " " nothing) followed at once by the text; the channel shows it as
// written. The text is a run of literal pieces and numeric fields:
//   integer(w)    an integer right-aligned in w columns;
//   fixed(w, d)   a real right-aligned in w columns with d decimals, written as
//                 printf "%w.df" writes it, so a value below 1 in magnitude
//                 carries its leading 0 ("0.50000000", "-0.25000000");
//   general(w)    a real with 7 significant digits: when 0.1 <= |value| < 1e7
//                 (after rounding to 7 digits) in fixed form, w - 4 columns with
//                 7 - k decimals for a value of k integer digits, then 4 blanks;
//                 otherwise, zero included, in exponent form: a mantissa
//                 0.ddddddd and a 4-character exponent "E+05" (or "+123" when
//                 the exponent needs three digits), right-aligned in w columns.
// A value that does not fit its field fills it with w asterisks. A value that
// is not finite is written "NaN", "Infinity" or "-Infinity", right-aligned.
//
// Check a field by eye against printf: fixed(v, 20, 8) is printf("%20.8f", v)
// whenever that fits in 20 columns.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mapari {

inline constexpr char control_new_page = '1';
inline constexpr char control_skip_line = '0';
inline constexpr char control_none = ' ';

class ReportLine {
  public:
    // Room for a printer line of 132 columns after the control character.
    static constexpr std::size_t capacity = 133;

    ReportLine() = default;
    explicit ReportLine(char control) { text(std::string_view(&control, 1)); }

    ReportLine& text(std::string_view piece);
    ReportLine& blanks(int count);
    ReportLine& integer(std::int64_t value, int width);
    ReportLine& fixed(double value, int width, int decimals);
    ReportLine& general(double value, int width);

    std::string_view view() const { return {chars_.data(), length_}; }

  private:
    // Appends a field's text right-aligned in width columns, or width
    // asterisks when it is longer than that.
    void field(std::string_view printed, int width);
    void asterisks(int width);
    bool not_finite(double value, int width);

    std::array<char, capacity> chars_{};
    std::size_t length_ = 0;
};

// Where the records of a call go, one line each: the caller decides (the text
// window of the dialogue, a list in a test, nowhere).
class ReportSink {
  public:
    virtual ~ReportSink() = default;
    virtual void write(std::string_view record) = 0;
};

// A sink for records without a reader: the results of the call say what counts.
class SilentReport final : public ReportSink {
  public:
    void write(std::string_view) override {}
};

inline void write_record(ReportSink& report, const ReportLine& line) {
    report.write(line.view());
}

}  // namespace mapari
