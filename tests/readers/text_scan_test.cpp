#include "readers/text_scan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/utf8_check.hpp"

namespace zorv::readers {
namespace {

using Views = std::vector<std::string_view>;

struct LinesCase {
    std::string text;
    Views lines;
};

class SplitLines : public ::testing::TestWithParam<LinesCase> {};

TEST_P(SplitLines, CutsAfterLineFeedsOnly) {
    EXPECT_EQ(split_lines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitLines,
    ::testing::Values(LinesCase{"", {}}, LinesCase{"\n", {""}}, LinesCase{"a\n\nb", {"a", "", "b"}},
                      LinesCase{"a\r\nb\r\n", {"a", "b"}}, LinesCase{"a\nb", {"a", "b"}},
                      LinesCase{"a\rb\n", {"a\rb"}}, LinesCase{"a\r\r\n", {"a\r"}},
                      LinesCase{"x\r", {"x\r"}}, LinesCase{"\r\n\r\n", {"", ""}},
                      LinesCase{std::string("a\0b\n", 4), {std::string_view("a\0b", 3)}}));

TEST(LineCursor, RestStartsAtTheNextLine) {
    LineCursor cursor("h\r\nrow 1\nrow 2");
    std::string_view line;
    ASSERT_TRUE(cursor.next(line));
    EXPECT_EQ(cursor.rest(), "row 1\nrow 2");
}

TEST(IsWhiteSpace, ExactlyTheUnicodeSet) {
    const std::vector<char32_t> white = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680,
                                         0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    for (const char32_t c : white) EXPECT_TRUE(is_white_space(c)) << std::hex << unsigned(c);
    const std::vector<char32_t> other = {0x00, 0x08, 0x0E, 0x1F, 0x21, 0x84, 0x86, 0x9F, 0x1FFF, 0x200B,
                                         0x2027, 0x202A, 0x205E, 0x2060, 0x2FFF, 0x3001, 0xFEFF, 0x180E};
    for (const char32_t c : other) EXPECT_FALSE(is_white_space(c)) << std::hex << unsigned(c);
}

// Every code point up to U+FFFF: the byte-level test agrees with the set.
TEST(WhiteSpaceLength, MatchesIsWhiteSpaceOnEveryEncodedCharacter) {
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string s;
        if (c < 0x80) {
            s.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            s = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            s = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
        }
        const std::size_t expected = is_white_space(c) ? s.size() : 0;
        ASSERT_EQ(white_space_length(s.data(), s.data() + s.size()), expected) << std::hex << unsigned(c);
    }
}

struct TokensCase {
    std::string line;
    Views tokens;
};

class SplitTokens : public ::testing::TestWithParam<TokensCase> {};

TEST_P(SplitTokens, RunsOfNonWhiteSpace) {
    EXPECT_EQ(split_tokens(GetParam().line), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitTokens,
    ::testing::Values(TokensCase{"", {}}, TokensCase{" \t ", {}}, TokensCase{"  a  bb\tc ", {"a", "bb", "c"}},
                      TokensCase{"1\xC2\xA0" "2\xE3\x80\x80" "3\xE2\x80\xAF" "4", {"1", "2", "3", "4"}},
                      TokensCase{"a\xC2\x85" "b\xE1\x9A\x80" "c", {"a", "b", "c"}},
                      TokensCase{"\xEF\xBB\xBF#Time x", {"\xEF\xBB\xBF#Time", "x"}},
                      TokensCase{"\xC3\xA9t\xC3\xA9 \xE2\x80\x8B", {"\xC3\xA9t\xC3\xA9", "\xE2\x80\x8B"}},
                      TokensCase{"a\rb\x0B" "c\x0C" "d", {"a", "b", "c", "d"}}));

struct CleanCase {
    std::string line;
    std::string cleaned;
};

class CleanLine : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanLine, DropsHashesTabsAndLeadingWhiteSpace) {
    EXPECT_EQ(clean_line(GetParam().line), GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CleanLine,
    ::testing::Values(CleanCase{"#Time MSD#1", "Time MSD1"}, CleanCase{"# \tStep\tTemp \t", "Step Temp  "},
                      CleanCase{"###", ""}, CleanCase{"\xE3\x80\x80# a", "a"}, CleanCase{"a # b", "a  b"},
                      CleanCase{"", ""}));

struct Utf8Case {
    std::string bytes;
    bool well_formed;
};

class Utf8Check : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Check, AcceptsOnlyWellFormedSequences) {
    EXPECT_EQ(is_well_formed_utf8(GetParam().bytes), GetParam().well_formed);
    // The same bytes after a long ASCII run take the block-skipping path.
    EXPECT_EQ(is_well_formed_utf8(std::string(37, 'a') + GetParam().bytes), GetParam().well_formed);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Check,
    ::testing::Values(Utf8Case{"", true}, Utf8Case{std::string("\0", 1), true}, Utf8Case{"\x7F", true},
                      Utf8Case{"\xC2\x80", true}, Utf8Case{"\xDF\xBF", true}, Utf8Case{"\xE0\xA0\x80", true},
                      Utf8Case{"\xED\x9F\xBF", true}, Utf8Case{"\xEE\x80\x80", true},
                      Utf8Case{"\xF0\x90\x80\x80", true}, Utf8Case{"\xF4\x8F\xBF\xBF", true},
                      Utf8Case{"\xFF", false}, Utf8Case{"\x80", false}, Utf8Case{"\xC0\x80", false},
                      Utf8Case{"\xC1\xBF", false}, Utf8Case{"\xE0\x9F\xBF", false},
                      Utf8Case{"\xED\xA0\x80", false}, Utf8Case{"\xED\xBF\xBF", false},
                      Utf8Case{"\xF0\x8F\xBF\xBF", false}, Utf8Case{"\xF4\x90\x80\x80", false},
                      Utf8Case{"\xF5\x80\x80\x80", false}, Utf8Case{"\xC2", false},
                      Utf8Case{"\xE2\x82", false}, Utf8Case{"\xF0\x90\x80", false},
                      Utf8Case{"\xC2\x41", false}, Utf8Case{"\xE2\x28\xA1", false}));

}  // namespace
}  // namespace zorv::readers
