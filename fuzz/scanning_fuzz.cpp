// Raw bytes through the scanning rules, checked against plain restatements
// of them: the UTF-8 check against a decoder, lines against the text they
// came from, which tokens are numbers against the grammar written out, and
// their values against the C library's strtod.
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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

// The number grammar restated character by character: [sign] digits with at
// most one point and at least one digit, [e|E [sign] digits]; or [sign] and
// one of the words inf, infinity, nan in any case.
bool reference_number(std::string_view s) {
    std::size_t i = 0;
    const auto sign = [&] { if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i; };
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i - from;
    };
    sign();
    std::string word(s.substr(i));
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "inf" || word == "infinity" || word == "nan") return true;
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        sign();
        if (digits() == 0) return false;
    }
    return i == s.size();
}

void check_float(std::string_view token) {
    const std::optional<double> value = parse_float_token(token);
    require(value.has_value() == reference_number(token), "numbers are exactly the grammar's tokens");
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
    const std::optional<std::uint64_t> count = parse_count_token(token);
    if (!count) return;
    require(token.find_first_not_of("+0123456789") == std::string_view::npos, "count is digits");
    require(std::to_string(*count).size() <= token.size(), "count fits its digits");
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
