#include "readers/transport_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "temp_file.hpp"

namespace zorv::readers {
namespace {

using Columns = std::vector<std::pair<std::string, FloatArray>>;

Columns parse(const std::string& text) {
    const Result<ColumnTable> table = parse_zorv_text(text, "f.dat");
    EXPECT_TRUE(table.ok()) << (table.ok() ? "" : table.error().message);
    return table.ok() ? table.value().columns : Columns{};
}

TEST(ParseZorvText, WorkedExample) {
    const std::string text =
        "# MSD of all species\n#Time MSD_x MSD_y\n1 0.1 0.2\n2 0.3 abc\n3 0.5 0.6 0.7\n4 0.8\n\n";
    EXPECT_EQ(parse(text), (Columns{{"Time", {1.0, 3.0}}, {"MSD_x", {0.1, 0.5}}, {"MSD_y", {0.2, 0.6}}}));
}

TEST(ParseZorvText, CarriageReturnLineFeedAndMissingFinalFeedChangeNothing) {
    const std::string text = "#c\n#Time a b\n1 2\n3 4\n";
    const Columns expected = parse(text);
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parse(crlf), expected);
    EXPECT_EQ(parse(text.substr(0, text.size() - 1)), expected);
}

struct HeaderCase {
    std::string text;
    Columns columns;
};

class HeaderChoice : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderChoice, LastTimeLineElseLineZero) {
    EXPECT_EQ(parse(GetParam().text), GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HeaderChoice,
    ::testing::Values(
        // Two blocks: only the rows after the last header count.
        HeaderCase{"#Time a\n1 1\n2 2\n#Time b\n3 3\n", {{"Time", {3.0}}, {"b", {3.0}}}},
        // Several "#" on a line; "#Time" counts only after nothing but white space.
        HeaderCase{"x #Time no\n#c #Time\n#Time a #b\r\n1 2 3\n# x #Time y\n4 5 6", {{"Time", {1, 4}},
                                                                                    {"a", {2, 5}}, {"b", {3, 6}}}},
        HeaderCase{" \t#TimeStep x\n5 6\n", {{"TimeStep", {5.0}}, {"x", {6.0}}}},
        HeaderCase{"\xE3\x80\x80#Time y\n5\n", {{"Time", {}}, {"y", {}}}},
        // "# Time" and "#time" are no headers; line 0 is used instead.
        HeaderCase{"r g(r)\n# Time q\n#time z\n0.5 1.5\n", {{"r", {0.5}}, {"g(r)", {1.5}}}},
        HeaderCase{"#Time a b\n", {{"Time", {}}, {"a", {}}, {"b", {}}}},
        // "#" is deleted in data lines: commented rows and glued numbers still count.
        HeaderCase{"#Time a b\n# 5 1.0 2.0\n1 2 3 # note\n1#2 3 4\n", {{"Time", {5, 1, 12}}, {"a", {1, 2, 3}},
                                                                         {"b", {2, 3, 4}}}},
        HeaderCase{"#Time a b\n1 2 3#\n7 8 9 #x\n#\n", {{"Time", {1, 7}}, {"a", {2, 8}}, {"b", {3, 9}}}},
        HeaderCase{"#Time a b c\n1 2 3 # note\n", {{"Time", {}}, {"a", {}}, {"b", {}}, {"c", {}}}},
        // A header naming a column twice keeps both entries; the dict builder merges them.
        HeaderCase{"#Time a Time\n1 2 3\n", {{"Time", {1}}, {"a", {2}}, {"Time", {3}}}},
        HeaderCase{"#Time MSD#1\n1 2\n", {{"Time", {1}}, {"MSD1", {2}}}}));

class NoHeader : public ::testing::TestWithParam<std::string> {};

TEST_P(NoHeader, FailsWithThePath) {
    const Result<ColumnTable> table = parse_zorv_text(GetParam(), "dir/f.dat");
    ASSERT_FALSE(table.ok());
    EXPECT_EQ(table.error().kind, ErrorKind::ValueError);
    EXPECT_EQ(table.error().message, "No header found in dir/f.dat");
}

// The empty file has no line at all; it fails like a file with an empty header.
INSTANTIATE_TEST_SUITE_P(Files, NoHeader,
                         ::testing::Values("", "\n", "\r\n", "  \t\n1 2\n", "## #\n1 2\n",
                                           "\xC2\xA0\n1\n"));

TEST(ParseZorvFile, ReadsThroughTheFile) {
    const testing::TempFile file("#Time a\n1 2\n");
    const Result<ColumnTable> table = parse_zorv_file(file.path());
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table.value().columns, (Columns{{"Time", {1.0}}, {"a", {2.0}}}));
}

}  // namespace
}  // namespace zorv::readers
