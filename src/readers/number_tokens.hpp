// Which tokens are numbers, and their values.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

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

// Clinger's fast path: a plain decimal of at most 15 digits (so its digits
// make an exact integer m < 2^53) with at most 22 after the point (so 10^f is
// exact) is m / 10^f, one correctly rounded division: the value from_chars
// gives, without its general machinery. Null when the token is anything else,
// a sign among them. Inline, for the rows' loops: nearly every token of a
// table is such a decimal, and a call per token costs as much as reading it.
inline const char* scan_short_decimal(const char* p, const char* end, double& value) noexcept {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const auto is_digit = [](char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; };
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    const char* q = p;
    for (; q != end && is_digit(*q) && digits <= 15; ++q, ++digits) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
    }
    if (q != end && *q == '.') {
        for (++q; q != end && is_digit(*q) && digits <= 15; ++q, ++digits, ++fraction) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
        }
    }
    if (digits == 0 || digits > 15 || (q != end && white_space_length(q, end) == 0)) return nullptr;
    value = static_cast<double>(mantissa) / kPowersOfTen[fraction];
    return q;
}

// [+] then ASCII digits, at most 2^64 - 1; leading zeros allowed.
std::optional<std::uint64_t> parse_count_token(std::string_view token) noexcept;

}  // namespace zorv::readers
