#include "common/number_format.hpp"

#include "common/call_abort.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace zorv {
namespace {

constexpr int kMaxDigits = 400;
// Sign, up to 309 integer digits, the point and the fraction: always fits.
constexpr std::size_t kBufferSize = kMaxDigits + 330;

std::string non_finite_text(double value) {
    if (std::isnan(value)) return "NaN";
    return std::signbit(value) ? "-inf" : "inf";
}

std::string to_text(double value, std::chars_format format, int digits) {
    // to_chars gives the exactly rounded digits (ties to even).
    std::array<char, kBufferSize> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, digits);
    if (error != std::errc{}) throw CallAbort("number text does not fit its buffer");
    return std::string(buffer.data(), end);
}

// "4.0000e+01" -> "4.0000e1", "1.0000e-05" -> "1.0000e-5".
std::string bare_exponent(std::string text) {
    const std::size_t e = text.find('e');
    if (e == std::string::npos) return text;
    std::string_view exponent(text.data() + e + 1, text.size() - e - 1);
    const bool negative = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+'))
        exponent.remove_prefix(1);
    while (exponent.size() > 1 && exponent.front() == '0') exponent.remove_prefix(1);
    std::string out = text.substr(0, e + 1);
    if (negative) out += '-';
    out += exponent;
    return out;
}

int clamp_digits(int digits) { return digits < 0 ? 0 : (digits > kMaxDigits ? kMaxDigits : digits); }

}  // namespace

std::string format_scientific(double value, int digits) {
    if (!std::isfinite(value)) return non_finite_text(value);
    return bare_exponent(to_text(value, std::chars_format::scientific, clamp_digits(digits)));
}

std::string format_fixed(double value, int digits) {
    if (!std::isfinite(value)) return non_finite_text(value);
    return to_text(value, std::chars_format::fixed, clamp_digits(digits));
}

}  // namespace zorv
