#include "readers/number_tokens.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "readers/text_scan.hpp"

namespace zorv::readers {
namespace {

constexpr std::int64_t kExponentCap = 65536;

bool is_digit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

const char* skip_digits(const char* p, const char* end) noexcept {
    while (p != end && is_digit(*p)) ++p;
    return p;
}

// Where the parts of a decimal token lie, and its exponent saturated at
// +-kExponentCap.
struct DecimalForm {
    const char* integer_begin;
    const char* integer_end;
    const char* fraction_begin;
    const char* fraction_end;
    std::int64_t exponent = 0;
    bool exponent_capped = false;
};

// Reads the exponent digits after "e" and an optional sign; null when there
// is no digit.
const char* read_exponent(const char* p, const char* end, DecimalForm& form) noexcept {
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* digits = p;
    std::int64_t magnitude = 0;
    for (; p != end && is_digit(*p); ++p) {
        if (magnitude < kExponentCap) magnitude = magnitude * 10 + (*p - '0');
    }
    if (p == digits) return nullptr;
    form.exponent_capped = magnitude >= kExponentCap;
    if (form.exponent_capped) magnitude = kExponentCap;
    form.exponent = negative ? -magnitude : magnitude;
    return p;
}

// The unsigned mantissa and optional exponent at p; null when malformed.
const char* read_decimal(const char* p, const char* end, DecimalForm& form) noexcept {
    form.integer_begin = p;
    p = form.integer_end = skip_digits(p, end);
    form.fraction_begin = form.fraction_end = p;
    if (p != end && *p == '.') {
        form.fraction_begin = ++p;
        p = form.fraction_end = skip_digits(p, end);
    }
    if (form.integer_end == form.integer_begin && form.fraction_end == form.fraction_begin) return nullptr;
    if (p != end && (*p == 'e' || *p == 'E')) return read_exponent(p + 1, end, form);
    return p;
}

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) noexcept {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_word[i]) return false;
    }
    return true;
}

bool special_value(std::string_view word, bool negative, double& value) noexcept {
    if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
        value = std::numeric_limits<double>::infinity();
    } else if (equals_ignoring_case(word, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        return false;
    }
    value = std::copysign(value, negative ? -1.0 : 1.0);
    return true;
}

// Overflow or underflow: the decimal exponent of the first non-zero digit
// tells which, since a range error needs it above 300 or below -300.
double out_of_range_value(const DecimalForm& form, bool negative) noexcept {
    const std::string_view integer(form.integer_begin, static_cast<std::size_t>(form.integer_end - form.integer_begin));
    const std::string_view fraction(form.fraction_begin,
                                    static_cast<std::size_t>(form.fraction_end - form.fraction_begin));
    const std::size_t lead = integer.find_first_not_of('0');
    // A range error implies a non-zero digit somewhere.
    const std::int64_t scale = lead != std::string_view::npos
                                   ? static_cast<std::int64_t>(integer.size() - lead)
                                   : -static_cast<std::int64_t>(fraction.find_first_not_of('0'));
    const double magnitude = scale + form.exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

// A capped exponent is handed to the library at its saturated value, so that
// exponents of any length mean the same whatever the library does with them.
std::string with_capped_exponent(const DecimalForm& form) {
    std::string text(form.integer_begin, form.integer_end);
    text.push_back('.');
    text.append(form.fraction_begin, form.fraction_end).append(form.exponent < 0 ? "e-" : "e");
    return text.append(std::to_string(kExponentCap));
}

// The correctly rounded conversion of [first, last), which passed the grammar
// and carries no sign.
bool convert(const char* first, const char* last, const DecimalForm& form, bool negative, double& value) {
    std::string rewritten;
    if (form.exponent_capped) {
        rewritten = with_capped_exponent(form);
        first = rewritten.data();
        last = first + rewritten.size();
    }
    const auto [stop, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range) {
        value = out_of_range_value(form, negative);
        return true;
    }
    if (error != std::errc() || stop != last) return false;
    if (negative) value = -value;
    return true;
}

// A token that starts with a letter after its sign: one of the words or nothing.
const char* scan_word(const char* p, const char* end, bool negative, double& value) noexcept {
    const char* word_end = p;
    while (word_end != end && white_space_length(word_end, end) == 0) ++word_end;
    const std::string_view word(p, static_cast<std::size_t>(word_end - p));
    return special_value(word, negative, value) ? word_end : nullptr;
}

// The unsigned decimal at p checked against the grammar first, then
// converted; every case the quick path in scan_float_token declines.
const char* scan_checked_decimal(const char* p, const char* end, bool negative, double& value) noexcept {
    DecimalForm form{};
    const char* stop = read_decimal(p, end, form);
    if (stop == nullptr || (stop != end && white_space_length(stop, end) == 0)) return nullptr;
    try {
        return convert(p, stop, form, negative, value) ? stop : nullptr;
    } catch (...) {  // only the rewrite of a capped exponent allocates
        return nullptr;
    }
}

// Whether the decimal [first, stop), which has no sign of its own, ends in an
// exponent of five digits or more, which may reach the cap. Only an exponent
// puts a sign or a letter inside such a decimal.
bool may_reach_exponent_cap(const char* first, const char* stop) noexcept {
    const char* digits = stop;
    while (digits != first && is_digit(digits[-1])) --digits;
    if (stop - digits < 5 || digits == first) return false;
    const char before = digits[-1];
    return before == 'e' || before == 'E' || before == '+' || before == '-';
}

}  // namespace

// Without a sign and starting with a digit or a point, the text from_chars
// takes is exactly a decimal of this grammar, so a conversion that ends at
// white space needs no check of its own. Range errors and long exponents take
// the checked path, which settles them.
const char* scan_float_token(const char* p, const char* end, double& value) noexcept {
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return nullptr;
    if (!is_digit(*p) && *p != '.') return scan_word(p, end, negative, value);
    double magnitude = 0.0;
    if (const char* stop = scan_short_decimal(p, end, magnitude)) {
        value = negative ? -magnitude : magnitude;
        return stop;
    }
    const auto [stop, error] = std::from_chars(p, end, magnitude);
    if (error == std::errc() && (stop == end || white_space_length(stop, end) != 0) &&
        !may_reach_exponent_cap(p, stop)) {
        value = negative ? -magnitude : magnitude;
        return stop;
    }
    return scan_checked_decimal(p, end, negative, value);
}

std::optional<double> parse_float_token(std::string_view token) noexcept {
    if (token.empty()) return std::nullopt;
    const char* end = token.data() + token.size();
    double value = 0.0;
    if (scan_float_token(token.data(), end, value) != end) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> parse_count_token(std::string_view token) noexcept {
    if (!token.empty() && token[0] == '+') token.remove_prefix(1);
    if (token.empty()) return std::nullopt;
    std::uint64_t value = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (const char c : token) {
        if (!is_digit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace zorv::readers
