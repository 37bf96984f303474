#include "readers/number_tokens.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace zorv::readers {
namespace {

constexpr std::int64_t kExponentCap = 65536;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The parts of a token that passed the decimal grammar.
struct DecimalForm {
    bool negative = false;
    std::string_view integer_digits;
    std::string_view fraction_digits;
    std::int64_t exponent = 0;  // saturated at +-kExponentCap
    bool exponent_capped = false;
};

std::string_view take_digits(std::string_view& rest) noexcept {
    std::size_t n = 0;
    while (n < rest.size() && is_digit(rest[n])) ++n;
    const std::string_view digits = rest.substr(0, n);
    rest.remove_prefix(n);
    return digits;
}

// Checks the exponent part ("e" already consumed); false when malformed.
bool read_exponent(std::string_view rest, DecimalForm& form) noexcept {
    bool negative = false;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    const std::string_view digits = take_digits(rest);
    if (digits.empty() || !rest.empty()) return false;
    std::int64_t magnitude = 0;
    for (const char d : digits) {
        if (magnitude >= kExponentCap) break;
        magnitude = magnitude * 10 + (d - '0');
    }
    form.exponent_capped = magnitude >= kExponentCap;
    if (form.exponent_capped) magnitude = kExponentCap;
    form.exponent = negative ? -magnitude : magnitude;
    return true;
}

// The sign already removed; false unless the whole body is a decimal mantissa
// with an optional exponent.
bool read_decimal(std::string_view body, DecimalForm& form) noexcept {
    form.integer_digits = take_digits(body);
    if (!body.empty() && body[0] == '.') {
        body.remove_prefix(1);
        form.fraction_digits = take_digits(body);
    }
    if (form.integer_digits.empty() && form.fraction_digits.empty()) return false;
    if (body.empty()) return true;
    if (body[0] != 'e' && body[0] != 'E') return false;
    return read_exponent(body.substr(1), form);
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

std::optional<double> special_value(std::string_view word, bool negative) noexcept {
    double value = 0.0;
    if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
        value = std::numeric_limits<double>::infinity();
    } else if (equals_ignoring_case(word, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        return std::nullopt;
    }
    return std::copysign(value, negative ? -1.0 : 1.0);
}

// Overflow or underflow: the decimal exponent of the first non-zero digit
// tells which, since a range error needs it above 300 or below -300.
double out_of_range_value(const DecimalForm& form) noexcept {
    const std::size_t lead = form.integer_digits.find_first_not_of('0');
    std::int64_t scale = 0;
    if (lead != std::string_view::npos) {
        scale = static_cast<std::int64_t>(form.integer_digits.size() - lead);
    } else {
        const std::size_t first = form.fraction_digits.find_first_not_of('0');
        scale = -static_cast<std::int64_t>(first);  // a range error implies a non-zero digit
    }
    const double magnitude = scale + form.exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return form.negative ? -magnitude : magnitude;
}

// The correctly rounded conversion of a token that passed the grammar. The
// library takes no "+" and reads long exponents its own way, so a capped
// exponent is rewritten at its saturated value.
std::optional<double> convert(std::string_view unsigned_body, const DecimalForm& form) {
    std::string rewritten;
    std::string_view digits = unsigned_body;
    if (form.exponent_capped) {
        rewritten.append(form.integer_digits).push_back('.');
        rewritten.append(form.fraction_digits).append(form.exponent < 0 ? "e-" : "e");
        rewritten.append(std::to_string(kExponentCap));
        digits = rewritten;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) return out_of_range_value(form);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return form.negative ? -value : value;
}

}  // namespace

std::optional<double> parse_float_token(std::string_view token) noexcept {
    DecimalForm form;
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
        form.negative = token[0] == '-';
        token.remove_prefix(1);
    }
    if (token.empty()) return std::nullopt;
    if (!is_digit(token[0]) && token[0] != '.') return special_value(token, form.negative);
    if (!read_decimal(token, form)) return std::nullopt;
    try {
        return convert(token, form);
    } catch (...) {  // only the rewrite of a capped exponent allocates
        return std::nullopt;
    }
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

