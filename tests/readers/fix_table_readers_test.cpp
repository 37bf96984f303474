#include "readers/fix_table_readers.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zorv::readers {
namespace {

using Columns = std::vector<std::pair<std::string, FloatArray>>;
using TextReader = Result<ColumnTable> (*)(std::string_view, std::string_view);

Columns parse(TextReader reader, const std::string& text) {
    const Result<ColumnTable> table = reader(text, "p.dat");
    EXPECT_TRUE(table.ok()) << (table.ok() ? "" : table.error().message);
    return table.ok() ? table.value().columns : Columns{};
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST(ParseThermoprop, WorkedExampleWithEitherLineEnding) {
    const std::string text = "# Time-averaged data\n# Step Temp Press\n1000 300 1.25\n2000 301 0.75\n";
    const Columns expected{{"Step", {1000, 2000}}, {"Temp", {300, 301}}, {"Press", {1.25, 0.75}}};
    EXPECT_EQ(parse(parse_thermoprop_text, text), expected);
    EXPECT_EQ(parse(parse_thermoprop_text, with_crlf(text)), expected);
}

TEST(ParseBondAngle, WorkedExampleWithEitherLineEnding) {
    const std::string text =
        "# Histogram\n# TimeStep Nbins Count Missing MinC MaxC\n# Bin Coord Count Count/Total\n"
        "1000 2 12 0 0 180\n1 1.5 0 0\n2 4.5 12 0.5\n\n";
    const Columns expected{{"Bin", {1, 2}}, {"Coord", {1.5, 4.5}}, {"Count", {0, 12}}, {"Count/Total", {0, 0.5}}};
    EXPECT_EQ(parse(parse_bond_angle_text, text), expected);
    EXPECT_EQ(parse(parse_bond_angle_text, with_crlf(text)), expected);
}

struct TableCase {
    TextReader reader;
    std::string text;
    Columns columns;
};

class FixedLayout : public ::testing::TestWithParam<TableCase> {};

TEST_P(FixedLayout, RowsAsRead) {
    EXPECT_EQ(parse(GetParam().reader, GetParam().text), GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FixedLayout,
    ::testing::Values(
        // Line 0 is never a row, even when numeric; a header without final feed names empty columns.
        TableCase{parse_thermoprop_text, "1 2\n# a b\n3 4\n", {{"a", {3}}, {"b", {4}}}},
        TableCase{parse_thermoprop_text, "#t\n# a b", {{"a", {}}, {"b", {}}}},
        // A blank or all-"#" header gives no column and no error.
        TableCase{parse_thermoprop_text, "#t\n\n1 2\n", {}}, TableCase{parse_thermoprop_text, "#t\n # #\n1 2\n", {}},
        // Data lines are not cleaned: a "#" keeps a token from being a number.
        TableCase{parse_thermoprop_text, "#t\n# a b\n# 100 2.0\n1 2#\n5 6 x y\n7\n\n",
                  {{"a", {5}}, {"b", {6}}}},
        TableCase{parse_thermoprop_text, "#t\n# Step Temp #atoms\n1 2 3\n", {{"Step", {1}}, {"Temp", {2}}, {"atoms", {3}}}},
        // The per-timestep line 3 never becomes a row; line 4 alone can be one.
        TableCase{parse_bond_angle_text, "#\n#\n# a b\n9 9\n1 2", {{"a", {1}}, {"b", {2}}}},
        TableCase{parse_bond_angle_text, "#\n#\n# a b\n9 9\n\n", {{"a", {}}, {"b", {}}}},
        TableCase{parse_bond_angle_text, "#\n#\n\n9 9\n1 2\n", {}}));

struct ShortCase {
    TextReader reader;
    std::string text;
};

class TooShort : public ::testing::TestWithParam<ShortCase> {};

TEST_P(TooShort, FailsWithThePath) {
    const Result<ColumnTable> table = GetParam().reader(GetParam().text, "run/p.dat");
    ASSERT_FALSE(table.ok());
    EXPECT_EQ(table.error().kind, ErrorKind::ValueError);
    EXPECT_EQ(table.error().message, "run/p.dat: file too short");
}

INSTANTIATE_TEST_SUITE_P(
    Files, TooShort,
    ::testing::Values(ShortCase{parse_thermoprop_text, ""}, ShortCase{parse_thermoprop_text, "# title"},
                      ShortCase{parse_thermoprop_text, "# title\n"}, ShortCase{parse_bond_angle_text, ""},
                      ShortCase{parse_bond_angle_text, "#\n#\n# a b\n9 9\n"},
                      ShortCase{parse_bond_angle_text, "#\n#\n# a b\n9 9"}));

}  // namespace
}  // namespace zorv::readers
