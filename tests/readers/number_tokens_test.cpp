#include "readers/number_tokens.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <system_error>

namespace zorv::readers {
namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

struct FloatCase {
    std::string token;
    double value;
};

class AcceptedFloat : public ::testing::TestWithParam<FloatCase> {};

TEST_P(AcceptedFloat, GivesTheNearestDouble) {
    const auto parsed = parse_float_token(GetParam().token);
    ASSERT_TRUE(parsed.has_value()) << GetParam().token;
    EXPECT_EQ(bits(*parsed), bits(GetParam().value)) << GetParam().token;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Tokens, AcceptedFloat,
    ::testing::Values(
        FloatCase{"1e5", 1e5}, FloatCase{"+2.5", 2.5}, FloatCase{"-.5", -0.5}, FloatCase{"1E-3", 1e-3},
        FloatCase{"7.", 7.0}, FloatCase{"-0", -0.0}, FloatCase{"+0.0e+0", 0.0}, FloatCase{"007", 7.0},
        FloatCase{"1.234567e-05", 1.234567e-05}, FloatCase{"inf", kInf}, FloatCase{"-Infinity", -kInf},
        FloatCase{"+INF", kInf}, FloatCase{"1e400", kInf}, FloatCase{"-1e400", -kInf},
        FloatCase{"1e-400", 0.0}, FloatCase{"-1e-400", -0.0}, FloatCase{"4.9e-324", 0x1p-1074},
        FloatCase{"2.4e-324", 0.0}, FloatCase{"2.5e-324", 0x1p-1074},
        FloatCase{"1.7976931348623157e308", std::numeric_limits<double>::max()},
        FloatCase{"1.7976931348623159e308", kInf},
        // Halfway between two doubles: ties go to the even one.
        FloatCase{"9007199254740993", 9007199254740992.0}, FloatCase{"9007199254740995", 9007199254740996.0},
        FloatCase{"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},
        FloatCase{"1e0000000000000000000000000000000005", 1e5},
        FloatCase{"1e99999999999999999999999999", kInf}, FloatCase{"-1e-99999999999999999999999", -0.0},
        FloatCase{"0.0e99999999999", 0.0}, FloatCase{"12345", 12345.0}, FloatCase{"1.5e+00002", 150.0},
        FloatCase{"-2.5E-0001", -0.25}, FloatCase{"0." + std::string(65540, '0') + "1e65540", 1e-5},
        // The exponent saturates at 65536: 1 followed by 70000 zeros times 10^-65536 overflows.
        FloatCase{"1" + std::string(70000, '0') + "e-70000", kInf},
        FloatCase{"0." + std::string(70000, '0') + "1e70000", 0.0},
        FloatCase{"0." + std::string(400, '0') + "1e400", 0.1}));

TEST(ParseFloatToken, NanKeepsItsSign) {
    const auto plain = parse_float_token("NaN");
    const auto negative = parse_float_token("-nan");
    ASSERT_TRUE(plain && negative);
    EXPECT_TRUE(std::isnan(*plain) && !std::signbit(*plain));
    EXPECT_TRUE(std::isnan(*negative) && std::signbit(*negative));
}

class RejectedFloat : public ::testing::TestWithParam<std::string> {};

TEST_P(RejectedFloat, IsNoNumber) {
    EXPECT_FALSE(parse_float_token(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, RejectedFloat,
    ::testing::Values("", "+", "-", ".", "+.", ".e5", "1e", "1e+", "1e-", "1.2.3", "1_000", "1,5", "0x10",
                      "0X1p3", "1d0", "1D0", "nan(1)", "nanx", "infin", "infinit", "infinityy", "in", "i",
                      "--1", "+-1", "1e5.0", "1 ", " 1", "1e5e5", "1f", "e5", "1..", "\xEF\xBC\x91",
                      std::string("1\0", 2), "1#", "#1", "Inf#", "1e1_0"));

// A row is scanned without splitting it first: a number run straight into a
// letter must refuse the token, not end it early at the letter.
TEST(ScanFloatToken, NumberRunIntoALetterIsNoToken) {
    for (const std::string token : {"2.5d", "1D", "3e", "7.f", "1e400x", "1e99999d", "-0x1"}) {
        double value = 0.0;
        EXPECT_EQ(scan_float_token(token.data(), token.data() + token.size(), value), nullptr) << token;
    }
}

struct CountCase {
    std::string token;
    std::optional<std::uint64_t> count;
};

class CountToken : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountToken, PlusAndDigitsWithinSixtyFourBits) {
    EXPECT_EQ(parse_count_token(GetParam().token), GetParam().count) << GetParam().token;
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, CountToken,
    ::testing::Values(CountCase{"+12", 12}, CountCase{"007", 7}, CountCase{"0", 0},
                      CountCase{"18446744073709551615", 18446744073709551615u},
                      CountCase{"018446744073709551615", 18446744073709551615u},
                      CountCase{"18446744073709551616", std::nullopt},
                      CountCase{"99999999999999999999", std::nullopt}, CountCase{"-3", std::nullopt},
                      CountCase{"12atoms", std::nullopt}, CountCase{"+", std::nullopt},
                      CountCase{"", std::nullopt}, CountCase{"++1", std::nullopt},
                      CountCase{"1.0", std::nullopt}, CountCase{"1e3", std::nullopt}));

}  // namespace
}  // namespace zorv::readers

namespace zorv::readers {
namespace {

// Up to 17 digits with a point anywhere, or none.
std::string random_decimal(std::mt19937_64& random) {
    const int digits = 1 + static_cast<int>(random() % 17);
    std::string token;
    for (int d = 0; d < digits; ++d) token.push_back(static_cast<char>('0' + random() % 10));
    const auto point = random() % (digits + 2);
    if (point <= static_cast<unsigned>(digits)) token.insert(point, ".");
    return token;
}

// Plain decimals of up to 17 digits, point anywhere: the short path and
// from_chars agree to the bit, and so do the tokens just past its limits.
TEST(ScanFloatToken, ShortDecimalsAreFromCharsToTheBit) {
    std::mt19937_64 random(7);
    for (int trial = 0; trial < 200000; ++trial) {
        std::string token = random_decimal(random);
        double expected = 0.0;
        const auto [stop, error] = std::from_chars(token.data(), token.data() + token.size(), expected);
        ASSERT_EQ(error, std::errc()) << token;
        ASSERT_EQ(stop, token.data() + token.size()) << token;
        const std::string line = (random() % 2 ? "-" : "") + token + " 1";
        double got = 0.0;
        const char* end = scan_float_token(line.data(), line.data() + line.size(), got);
        ASSERT_EQ(end, line.data() + line.size() - 2) << line;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(line[0] == '-' ? -expected : expected))
            << line;
    }
}


// With an exponent the quick path takes powers of ten within +-22 and hands
// the rest on; either way the value is from_chars', to the bit.
TEST(ScanFloatToken, DecimalsWithExponentsAreFromCharsToTheBit) {
    std::mt19937_64 random(9);
    const char* marks[] = {"e", "E", "e+", "e-", "E-", "e0", "e-0"};
    for (int trial = 0; trial < 200000; ++trial) {
        std::string token = random_decimal(random);
        token += marks[random() % 7];
        token += std::to_string(random() % (random() % 4 == 0 ? 400 : 30));
        double expected = 0.0;
        const auto [stop, error] = std::from_chars(token.data(), token.data() + token.size(), expected);
        if (error != std::errc() || stop != token.data() + token.size()) continue;  // out of range: the checked path
        const std::string line = token + "\t7";
        double got = 0.0;
        double chunked = 0.0;
        ASSERT_EQ(scan_float_token(line.data(), line.data() + line.size(), got), line.data() + token.size()) << line;
        ASSERT_EQ(bits(got), bits(expected)) << line;
        const char* quick = scan_short_decimal(line.data(), line.data() + token.size(), line.data() + line.size(), chunked);
        if (quick != nullptr) ASSERT_EQ(bits(chunked), bits(expected)) << line;
    }
}

// Digits read eight bytes at a time, with readable bytes after the token's
// end (digits among them, which must not count), end where one at a time ends
// and give the same value to the bit, whatever the token.
TEST(ScanShortDecimal, ChunkedDigitsMatchOneAtATime) {
    std::mt19937_64 random(11);
    const std::string alphabet = "0123456789012345678901234567890123456789..e- \tx";
    for (int trial = 0; trial < 300000; ++trial) {
        std::string text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
        const std::size_t end = random() % (text.size() + 1);
        text += "12345678901234567";  // readable, past the end
        const char* first = text.data();
        double chunked = -1.0;
        double single = -1.0;
        const char* a = scan_short_decimal(first, first + end, first + text.size(), chunked);
        const char* b = scan_short_decimal(first, first + end, single);
        ASSERT_EQ(a, b) << text << " end " << end;
        if (a != nullptr) ASSERT_EQ(bits(chunked), bits(single)) << text << " end " << end;
    }
}

}  // namespace
}  // namespace zorv::readers
