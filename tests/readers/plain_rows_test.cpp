#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "readers/checked_table.hpp"
#include "readers/column_accumulator.hpp"
#include "readers/fix_table_readers.hpp"
#include "readers/transport_reader.hpp"

namespace zorv::readers {
namespace {

// Lines a table holds: mostly plain rows, and every near miss of one that
// the quick read of plain rows must hand to the general one.
std::string random_line(std::mt19937_64& random) {
    static const std::vector<std::string> tokens = {
        "12", "0.5", "-3.25", "300.2125", "99999000", "1e5", "+4", "-0", ".5", "5.", "nan", "-inf", "1234567890123456",
        "-", "x", "12#", "7\xC2\xA0", "3"};
    static const std::vector<std::string> gaps = {" ", "  ", "\t", " \t ", "\v", "\xE2\x80\x83"};
    static const std::vector<std::string> ends = {"\n", "\n", "\n", "\r\n", " \n", "\r\r\n", "\t\n", " 9\n", "#c\n"};
    std::string line = random() % 5 == 0 ? gaps[random() % gaps.size()] : "";
    const std::size_t count = random() % 5;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) line += random() % 8 == 0 ? gaps[random() % gaps.size()] : " ";
        line += random() % 3 == 0 ? tokens[random() % tokens.size()] : tokens[random() % 6];
    }
    if (random() % 20 == 0) line = "# a comment";
    return line + ends[random() % 4 == 0 ? random() % ends.size() : 0];
}

// Line numbers of the rows and of the skipped lines, line by line with the
// general read alone.
struct LineReport {
    std::vector<std::uint64_t> rows;
    std::uint64_t skipped = 0;
};

LineReport line_by_line(std::string_view body, std::uint64_t header_line, std::size_t width, bool cleaned) {
    LineReport report;
    LineCursor lines(body);
    std::vector<double> row(width);
    std::string scratch;
    std::uint64_t number = header_line;
    for (std::string_view line; lines.next(line);) {
        ++number;
        const bool is_row = cleaned ? parse_cleaned_row(line, width, row.data(), scratch) : parse_row(line, width, row.data());
        const std::string_view rest = trim_leading_white_space(line);
        if (is_row) {
            report.rows.push_back(number);
        } else if (!rest.empty() && rest.front() != '#') {
            ++report.skipped;
        }
    }
    return report;
}

class PlainRows : public ::testing::TestWithParam<TableLayout> {};

// The rows the analysis reader gives are the plain reader's, value for
// value, whichever way each line was read.
TEST_P(PlainRows, ReadAsTheReaderReadsEveryLine) {
    const TableLayout layout = GetParam();
    std::mt19937_64 random(layout == TableLayout::thermo ? 3 : 4);
    for (int trial = 0; trial < 300; ++trial) {
        const bool thermo = layout == TableLayout::thermo;
        const std::string header = thermo ? "# title\n# Step a b\n" : "#Time a b\n";
        std::string text = header;
        for (int i = 0; i < 40; ++i) text += random_line(random);
        const Result<ColumnTable> plain =
            layout == TableLayout::thermo ? parse_thermoprop_text(text, "t.dat") : parse_zorv_text(text, "t.dat");
        const Result<CheckedTable> checked = read_checked_text(text, "t.dat", layout);
        ASSERT_TRUE(plain.ok() && checked.ok()) << text;
        const std::string_view body = std::string_view(text).substr(header.size());
        const LineReport report = line_by_line(body, thermo ? 2 : 1, 3, !thermo);
        const TableDamage& damage = checked.value().damage;
        ASSERT_EQ(damage.skipped_lines, report.skipped) << text;
        ASSERT_EQ(damage.first_row_line, report.rows.empty() ? 0 : report.rows.front()) << text;
        const auto& want = plain.value().columns;
        const auto& got = checked.value().table.columns;
        ASSERT_EQ(want.size(), got.size());
        for (std::size_t k = 0; k < want.size(); ++k) {
            ASSERT_EQ(want[k].second.size(), got[k].second.size()) << text;
            for (std::size_t i = 0; i < want[k].second.size(); ++i) {
                ASSERT_EQ(std::bit_cast<std::uint64_t>(want[k].second[i]), std::bit_cast<std::uint64_t>(got[k].second[i]))
                    << text;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PlainRows, ::testing::Values(TableLayout::thermo, TableLayout::transport));

// Line numbers count every line, however it was read.
TEST(PlainRows, DamageNamesTheLinesOfEitherRead) {
    const std::string text = "# t\n# Step a\n\n1 2\nbad line\n-3 4\r\n5 x\n6 7\n";
    const Result<CheckedTable> checked = read_checked_text(text, "t.dat", TableLayout::thermo);
    ASSERT_TRUE(checked.ok());
    const TableDamage& damage = checked.value().damage;
    EXPECT_EQ(damage.first_row_line, 4U);
    EXPECT_EQ(damage.skipped_lines, 2U);
    EXPECT_EQ(damage.first_skipped, 5U);
    EXPECT_EQ(checked.value().table.columns[0].second, (FloatArray{1.0, -3.0, 6.0}));
}

}  // namespace
}  // namespace zorv::readers
