#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "readers/lammps_ave_time.hpp"
#include "readers/series_file.hpp"
#include "readers/xvg_series.hpp"
#include "temp_file.hpp"

namespace zorv::readers {
namespace {

using Columns = std::vector<std::pair<std::string, FloatArray>>;
using Reader = Result<SeriesTable> (*)(std::string_view, std::string_view);

SeriesTable read(Reader reader, const std::string& text) {
    Result<SeriesTable> series = reader(text, "p.dat");
    EXPECT_TRUE(series.ok()) << (series.ok() ? "" : series.error().message);
    return series.ok() ? std::move(series).value() : SeriesTable{};
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const std::string kAveTime =
    "# Time-averaged data for fix pt\n# TimeStep v_pxx c_P[4]\n0 1.5 -2e+03\n10 -0.25 3\n";
const std::string kXvg =
    "# gmx energy\n@    title \"GROMACS Energies\"\n@    xaxis  label \"Time (ps)\"\n@    yaxis  label \"(bar)\"\n"
    "@TYPE xy\n@ s1 legend \"Pres-XY\"\n@ s0 legend \"Pres-XX\"\n    0.000000    1.500000  -2.0\n"
    "    0.002000   -0.250000   3.0\n";

TEST(SeriesReaders, NamesColumnsAndUnitsWithEitherLineEnding) {
    const Columns lammps{{"TimeStep", {0, 10}}, {"v_pxx", {1.5, -0.25}}, {"c_P[4]", {-2000, 3}}};
    const Columns xvg{{"Time", {0, 0.002}}, {"Pres-XX", {1.5, -0.25}}, {"Pres-XY", {-2, 3}}};
    for (const std::string& end : {std::string("\n"), std::string("\r\n")}) {
        const auto as_written = [&](const std::string& text) { return end == "\n" ? text : with_crlf(text); };
        EXPECT_EQ(read(read_ave_time_text, as_written(kAveTime)).table.columns, lammps);
        const SeriesTable series = read(read_xvg_text, as_written(kXvg));
        EXPECT_EQ(series.table.columns, xvg);
        EXPECT_EQ(series.units, (std::vector<std::string>{"ps", "bar", "bar"}));
        EXPECT_EQ(series.damage.skipped_lines + series.damage.cut_line, 0U);
    }
}

TEST(SeriesReaders, XvgSetsWithoutLegendsAndUnitsPerSet) {
    const SeriesTable series = read(read_xvg_text,
                                    "@ yaxis label \"(bar), (nm^3)\"\n@ legend string 1 \"Volume\"\n"
                                    "@ s4 legend \"Far\"\n1 2 3\n");
    std::vector<std::string> names;
    for (const auto& column : series.table.columns) names.push_back(column.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Time", "s0", "Volume"}));
    EXPECT_EQ(series.units, (std::vector<std::string>{"", "bar", "nm^3"}));
    EXPECT_EQ(series.unmatched_legends, 1U);
}

struct Damaged {
    const char* text;
    std::size_t rows;
    std::uint64_t skipped, first_skipped, cut_line, headers;
};

// Line numbers count the header: the first row of each text is line 3.
TEST(SeriesReaders, DamageIsSteppedOverAndCounted) {
    const Damaged cases[] = {
        {"# Time-averaged data for fix a\n# TimeStep x\n1 2\n2 3", 1, 0, 0, 4, 1},
        {"# Time-averaged data for fix a\n# TimeStep x\n1 2\n2 3 4\n3 x\n4 5\n", 2, 2, 4, 0, 1},
        {"# Time-averaged data for fix a\n# TimeStep x\n1 2\n\n# Time-averaged data for fix a\n# TimeStep x\n2 nan\n",
         2, 0, 0, 0, 2},
        {"# Time-averaged data for fix a\n# TimeStep x\n1 2\n2 3\n# partial", 2, 0, 0, 0, 1},
    };
    for (const Damaged& c : cases) {
        const SeriesTable series = read(read_ave_time_text, c.text);
        SCOPED_TRACE(c.text);
        ASSERT_EQ(series.table.columns.size(), 2U);
        EXPECT_EQ(series.table.columns[1].second.size(), c.rows);
        EXPECT_EQ(series.damage.skipped_lines, c.skipped);
        EXPECT_EQ(series.damage.first_skipped, c.first_skipped);
        EXPECT_EQ(series.damage.cut_line, c.cut_line);
        EXPECT_EQ(series.damage.headers, c.headers);
    }
    const SeriesTable nan = read(read_ave_time_text, cases[2].text);
    EXPECT_EQ(nan.damage.columns[1].nonfinite, 1U);
    EXPECT_EQ(nan.damage.columns[1].first_line, 7U);
}

TEST(SeriesReaders, UnreadableTextsAreErrorsNamingTheFile) {
    const std::pair<Reader, const char*> cases[] = {
        {read_ave_time_text, ""},
        {read_ave_time_text, "1 2\n"},
        {read_ave_time_text, "# Time-averaged data for fix a\n# TimeStep x y\n1 2\n"},
        {read_ave_time_text, "# Time-averaged data for fix a\n# TimeStep Number-of-rows\n10 1\n1 2\n"},
        {read_xvg_text, "@ s0 legend \"a\"\n"},
        {read_xvg_text, "@ s0 legend \"a\"\nx y\n0 1"},
    };
    for (const auto& [reader, text] : cases) {
        const Result<SeriesTable> series = reader(text, "p.dat");
        ASSERT_FALSE(series.ok()) << text;
        EXPECT_EQ(series.error().kind, ErrorKind::ValueError);
        EXPECT_EQ(series.error().message.rfind("p.dat: ", 0), 0U) << series.error().message;
    }
    EXPECT_NE(read_ave_time_text(cases[3].second, "p.dat").error().message.find("mode scalar"), std::string::npos);
}

// Blocks of the first block's size are kept; a short, broken or cut block is skipped whole.
TEST(SeriesReaders, VectorModeGivesAColumnPerVectorAndRow) {
    const std::string text =
        "# Time-averaged data for fix a\n# TimeStep Number-of-rows\n# Row c_P c_Q\n"
        "10 2\n1 1.5 -1\n2 2.5 -2\n20 1\n1 9 9\n30 2\n1 3.5 -3\n2 x 0\n40 2\n1 4.5 -4\n2 5.5 -5\n50 2\n1 0 0";
    const SeriesTable series = read(read_ave_time_text, text);
    const Columns expected{{"TimeStep", {10, 40}}, {"c_P[1]", {1.5, 4.5}}, {"c_P[2]", {2.5, 5.5}},
                           {"c_Q[1]", {-1, -4}},   {"c_Q[2]", {-2, -5}}};
    EXPECT_EQ(series.table.columns, expected);
    EXPECT_EQ(series.damage.cut_line, 16U);
    EXPECT_EQ(series.damage.first_skipped, 7U);
    EXPECT_EQ(series.damage.skipped_lines, 6U);  // lines 7-8, 9-11 and 15, the cut block's first line
    EXPECT_EQ(series.damage.headers, 1U);
}

TEST(SeriesReaders, FileIsReadInTheNamedFormat) {
    const testing::TempFile file(kXvg, "energy.xvg");
    const Result<SeriesTable> series = read_series_file(file.path(), SeriesFormat::xvg);
    ASSERT_TRUE(series.ok());
    EXPECT_EQ(series.value().table.columns[2].first, "Pres-XY");
    EXPECT_EQ(read_series_file(file.dir() + "/missing", SeriesFormat::lammps).error().kind, ErrorKind::OSError);
}

}  // namespace
}  // namespace zorv::readers
