// Raw bytes through the scanning rules, checked against plain restatements
// of them: the UTF-8 check against a decoder, lines against the text they
// came from, accepted numbers against the C library's strtod.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz_support.hpp"
#include "readers/number_tokens.hpp"
#include "readers/text_scan.hpp"
#include "readers/utf8_check.hpp"

namespace {

using namespace zorv::readers;
using zorv::fuzz::require;

// Decodes code point by code point; false at the first ill-formed sequence.
bool reference_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        std::uint32_t c = n == 1 ? b : b & (0x7Fu >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto cont = static_cast<unsigned char>(s[i + k]);
            if ((cont >> 6) != 2) return false;
            c = (c << 6) | (cont & 0x3Fu);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

void check_lines(std::string_view text) {
    std::size_t covered = 0;
    for (const std::string_view line : split_lines(text)) {
        require(line.data() == text.data() + covered, "lines follow each other");
        require(line.find('\n') == std::string_view::npos, "a line holds no line feed");
        covered += line.size();
        if (covered < text.size() && text[covered] == '\r' && covered + 1 < text.size() && text[covered + 1] == '\n') {
            ++covered;
        }
        if (covered < text.size()) ++covered;  // the line feed
    }
    require(covered == text.size(), "lines cover the text");
}

bool ascii_digit(char c) { return c >= '0' && c <= '9'; }

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The two accepted token forms, restated as a plain left-to-right scan.
bool reference_float_form(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::string word;
    for (std::size_t j = i; j < t.size(); ++j) word += ascii_lower(t[j]);
    if (word == "inf" || word == "infinity" || word == "nan") return true;
    std::size_t digits = 0;
    std::size_t points = 0;
    for (; i < t.size() && (ascii_digit(t[i]) || t[i] == '.'); ++i) (t[i] == '.' ? points : digits) += 1;
    if (digits == 0 || points > 1) return false;
    if (i == t.size()) return true;
    if (t[i] != 'e' && t[i] != 'E') return false;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    for (; i < t.size() && ascii_digit(t[i]); ++i) ++exponent_digits;
    return exponent_digits > 0 && i == t.size();
}

// The count form and value, restated: "+"? digits, at most 2^64 - 1.
std::optional<std::uint64_t> reference_count(std::string_view t) {
    std::size_t i = t.size() > 0 && t[0] == '+' ? 1 : 0;
    if (i == t.size()) return std::nullopt;
    unsigned __int128 value = 0;
    for (; i < t.size(); ++i) {
        if (!ascii_digit(t[i])) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(t[i] - '0');
        if (value > UINT64_MAX) return std::nullopt;
    }
    return static_cast<std::uint64_t>(value);
}

void check_float(std::string_view token) {
    const std::optional<double> value = parse_float_token(token);
    // Both ways: every token of the two forms is accepted, and every other token,
    // also those strtod would take whole (hexadecimal, nan(...), ...), is rejected.
    require(value.has_value() == reference_float_form(token), "accepts exactly the two token forms");
    if (!value || token.size() > 300) return;
    const std::string copy(token);
    char* end = nullptr;
    const double expected = std::strtod(copy.c_str(), &end);
    require(end == copy.c_str() + copy.size(), "strtod takes every accepted token whole");
    if (std::isnan(expected)) {
        require(std::isnan(*value) && std::signbit(*value) == (copy[0] == '-'), "NaN with the token's sign");
    } else {
        require(std::bit_cast<std::uint64_t>(*value) == std::bit_cast<std::uint64_t>(expected), "nearest double");
    }
}

void check_count(std::string_view token) {
    require(parse_count_token(token) == reference_count(token), "count form and value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view bytes = zorv::fuzz::as_text(data, size);
    require(is_well_formed_utf8(bytes) == reference_utf8(bytes), "UTF-8 check agrees with the decoder");
    check_lines(bytes);
    for (const std::string_view line : split_lines(bytes)) {
        const std::string cleaned = clean_line(line);
        require(cleaned.find('#') == std::string::npos && cleaned.find('\t') == std::string::npos, "cleaned");
        for (const std::string_view token : split_tokens(line)) {
            require(!token.empty() && white_space_length(token.data(), token.data() + token.size()) == 0,
                    "a token starts with no white space");
            check_float(token);
            check_count(token);
        }
    }
    check_float(bytes);
    return 0;
}
