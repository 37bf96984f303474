// Inputs built to hurt: huge headers and lines, no line feeds, NUL bytes.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "readers/fix_table_readers.hpp"
#include "readers/transport_reader.hpp"
#include "readers/value_readers.hpp"

namespace zorv::readers {
namespace {

std::string repeated(const std::string& unit, std::size_t times) {
    std::string out;
    out.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

TEST(HostileInput, MillionColumnHeaderWithOneFullRowAndOneShortRow) {
    constexpr std::size_t kColumns = 1'000'000;
    const std::string text = "#Time" + repeated(" c", kColumns - 1) + "\n" + repeated("1 ", kColumns) + "\n" +
                             repeated("2 ", kColumns - 1) + "\n";
    const Result<ColumnTable> table = parse_zorv_text(text, "wide.dat");
    ASSERT_TRUE(table.ok());
    ASSERT_EQ(table.value().columns.size(), kColumns);
    for (const auto& column : table.value().columns) ASSERT_EQ(column.second, FloatArray{1.0});
}

TEST(HostileInput, MegabyteLinesAndTokens) {
    const std::string long_number = "1" + std::string(4'000'000, '0') + "e-4000000";
    const std::string text = "#Time a\n" + long_number + " 2\n" + std::string(3'000'000, 'x') + " 3\n";
    const Result<ColumnTable> table = parse_zorv_text(text, "long.dat");
    ASSERT_TRUE(table.ok());
    // The exponent saturates at -65536: the value is 10^(4000000 - 65536), infinity.
    EXPECT_EQ(table.value().columns[0].second, FloatArray{std::numeric_limits<double>::infinity()});
}

TEST(HostileInput, CarriageReturnsWithoutLineFeedsAreOneLine) {
    const std::string text = "#t\r# a b\r1 2\r3 4\r";
    // One line: no line 1 at all.
    EXPECT_EQ(parse_thermoprop_text(text, "cr.dat").error().message, "cr.dat: file too short");
    const Result<ColumnTable> table = parse_zorv_text("#Time a\r1 2\r", "cr.dat");
    ASSERT_TRUE(table.ok());
    // Carriage return is white space inside a line: the header names Time, a, 1, 2.
    EXPECT_EQ(table.value().columns.size(), 4u);
}

TEST(HostileInput, NulBytesAreOrdinaryCharacters) {
    const std::string text("#Time a\n1 2\0\n3\0 4\n5 6\n", 22);
    const Result<ColumnTable> table = parse_zorv_text(text, "nul.dat");
    ASSERT_TRUE(table.ok());
    // "2\0" and "3\0" are no numbers: NUL is no white space.
    EXPECT_EQ(table.value().columns[0].second, FloatArray{5.0});
    EXPECT_EQ(read_group_count_text(std::string("group \0a\n7\n", 11), "log", std::string("\0a", 2)).value(), 7u);
}

TEST(HostileInput, MillionLinesOfNothingButLineFeeds) {
    const std::string text = "#Time a\n" + std::string(1'000'000, '\n');
    const Result<ColumnTable> table = parse_zorv_text(text, "blank.dat");
    ASSERT_TRUE(table.ok());
    EXPECT_TRUE(table.value().columns[0].second.empty());
    EXPECT_FALSE(parse_volume_density_text(text, "blank.dat").ok());
}

}  // namespace
}  // namespace zorv::readers
