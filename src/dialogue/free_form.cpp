#include "dialogue/free_form.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mapari {
namespace {

constexpr int significant_digits = 7;
constexpr int plain_width = free_real_width - 4;

std::string printed(const char* format, int precision, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, precision, value);
    return buffer;
}

std::string exponent_form(double value) {
    // %.6e rounds to 7 significant digits: d.dddddde±XX, so the 0.ddddddd
    // mantissa takes the same digits with the exponent one higher.
    std::string scientific = printed("%.*e", significant_digits - 1, std::fabs(value));
    std::size_t e = scientific.find('e');
    int exponent = std::atoi(scientific.c_str() + e + 1) + 1;
    std::string digits = scientific.substr(0, 1) + scientific.substr(2, e - 2);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s0.%sE%c%02d", value < 0 ? "-" : "", digits.c_str(),
                  exponent < 0 ? '-' : '+', std::abs(exponent));
    std::string text = buffer;
    return std::string(text.size() < free_real_width ? free_real_width - text.size() : 0, ' ') +
           text;
}

}  // namespace

std::string free_form(std::int32_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%*d", free_integer_width, static_cast<int>(value));
    return buffer;
}

std::string free_form(float value) {
    double exact = value;
    char buffer[64];
    if (!std::isfinite(exact)) {
        std::snprintf(buffer, sizeof buffer, "%*s", free_real_width,
                      std::isnan(exact) ? "NaN" : (exact < 0 ? "-Infinity" : "Infinity"));
        return buffer;
    }
    if (exact == 0.0) {
        std::snprintf(buffer, sizeof buffer, "%*.*f    ", plain_width, significant_digits - 1, 0.0);
        return buffer;
    }
    std::string scientific = printed("%.*e", significant_digits - 1, std::fabs(exact));
    int k = std::atoi(scientific.c_str() + scientific.find('e') + 1) + 1;
    if (k < 0 || k > significant_digits) return exponent_form(exact);
    // '#' keeps the decimal point of a value with no decimals ("1234567.").
    std::snprintf(buffer, sizeof buffer, "%#*.*f    ", plain_width, significant_digits - k, exact);
    return buffer;
}

}  // namespace mapari
