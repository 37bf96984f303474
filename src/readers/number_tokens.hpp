// Which tokens are numbers, and their values.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

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

// [+] then ASCII digits, at most 2^64 - 1; leading zeros allowed.
std::optional<std::uint64_t> parse_count_token(std::string_view token) noexcept;

}  // namespace zorv::readers
