// Which tokens are numbers, and their values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "readers/digit_chunks.hpp"
#include "readers/text_scan.hpp"

namespace zorv::readers {

// A decimal number ([sign] digits with at most one point, at least one digit,
// [e|E [sign] digits]) or [sign] inf / infinity / nan in any case, as the
// nearest double; anything else is rejected. Exponent magnitudes saturate at
// 65536, so exponents of any length are read without overflow.
std::optional<double> parse_float_token(std::string_view token) noexcept;

// The same test on the token that starts at p (not white space) and runs to
// the next white space or end. Gives the token's end and sets value when the
// token is a number, else null. Lets a row be tokenised and converted in one
// pass.
const char* scan_float_token(const char* p, const char* end, double& value) noexcept;

namespace short_decimal_detail {

// Appends the digits at q (before end) to mantissa, counting them in digits,
// eight at a time while eight bytes from q lie before limit, then one at a
// time; stops after the first 16. Gives where the digits end.
inline const char* read_digits(const char* q, const char* end, const char* limit, std::uint64_t& mantissa,
                               int& digits) noexcept {
    if constexpr (digit_chunks::kEnabled) {
        while (limit - q >= 8 && digits <= 15) {
            const std::uint64_t chunk = digit_chunks::load_less_zeros(q);
            unsigned count = digit_chunks::leading_digits(chunk);
            if (end - q < static_cast<std::ptrdiff_t>(count)) count = static_cast<unsigned>(end - q);
            if (count == 0) return q;
            mantissa = mantissa * digit_chunks::kPowersOfTen[count] + digit_chunks::digits_value(chunk, count);
            digits += static_cast<int>(count);
            q += count;
            if (count < 8) return q;
        }
    }
    for (; q != end && static_cast<unsigned char>(*q - '0') < 10 && digits <= 15; ++q, ++digits) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
    }
    return q;
}

// Adds the exponent at q (an optional sign and one to three digits) to
// scale; null when there is none, or when the power of ten it gives is
// beyond 10^22, the last one a double holds exactly.
inline const char* read_exponent(const char* q, const char* end, int& scale) noexcept {
    const bool negative = q != end && *q == '-';
    if (q != end && (*q == '-' || *q == '+')) ++q;
    int exponent = 0;
    const char* const first = q;
    for (; q != end && static_cast<unsigned char>(*q - '0') < 10 && q - first < 3; ++q) {
        exponent = exponent * 10 + (*q - '0');
    }
    if (q == first || (q != end && static_cast<unsigned char>(*q - '0') < 10)) return nullptr;
    scale += negative ? -exponent : exponent;
    return scale >= -22 && scale <= 22 ? q : nullptr;
}

}  // namespace short_decimal_detail

// Clinger's fast path: a plain decimal of at most 15 digits (so its digits
// make an exact integer m < 2^53), with an exponent of up to three digits,
// whose power of ten p (the exponent less the digits after the point) lies
// within +-22 (so 10^|p| is exact) is m · 10^p or m / 10^-p, one correctly
// rounded operation: the value from_chars gives, without its general
// machinery. Null when the token is anything else, a sign among them.
// Inline, for the rows' loops: nearly every token of a table is such a
// decimal, and a call per token costs as much as reading it. The bytes up to
// limit (at or after end) may be read: rows read from a whole text let
// digits be taken eight bytes at a time.
inline const char* scan_short_decimal(const char* p, const char* end, const char* limit, double& value) noexcept {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::uint64_t mantissa = 0;
    int digits = 0;
    const char* q = short_decimal_detail::read_digits(p, end, limit, mantissa, digits);
    int fraction = 0;
    if (q != end && *q == '.' && digits <= 15) {
        const int before = digits;
        q = short_decimal_detail::read_digits(q + 1, end, limit, mantissa, digits);
        fraction = digits - before;
    }
    if (digits == 0 || digits > 15) return nullptr;
    int scale = -fraction;  // the power of ten the mantissa is multiplied by
    if (q != end && (*q == 'e' || *q == 'E')) {
        q = short_decimal_detail::read_exponent(q + 1, end, scale);
        if (q == nullptr) return nullptr;
    }
    if (q != end && white_space_length(q, end) == 0) return nullptr;
    // Both operands exact, so the product or quotient is correctly rounded;
    // an integer needs no operation at all.
    const double m = static_cast<double>(mantissa);
    value = scale == 0 ? m : scale > 0 ? m * kPowersOfTen[scale] : m / kPowersOfTen[-scale];
    return q;
}

// The same, reading no byte past end.
inline const char* scan_short_decimal(const char* p, const char* end, double& value) noexcept {
    return scan_short_decimal(p, end, end, value);
}

// [+] then ASCII digits, at most 2^64 - 1; leading zeros allowed.
std::optional<std::uint64_t> parse_count_token(std::string_view token) noexcept;

}  // namespace zorv::readers
