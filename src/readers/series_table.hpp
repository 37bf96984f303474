// Named columns of a time series written by an MD engine, and the walk over
// its rows that both series formats share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/column_table.hpp"
#include "readers/table_rows.hpp"

namespace zorv::readers {

// The series with its first column (the step or the time) first. units has
// one entry per column, empty where the file states none. damage.headers
// counts the title lines, more than one when a run appended to the file.
struct SeriesTable {
    ColumnTable table;
    std::vector<std::string> units;
    TableDamage damage;
    std::uint64_t unmatched_legends = 0;  // legends of sets past the rows' columns
};

// What marks a line of the series as no row and no loss: its first
// non-blank byte is one of comment_marks. A comment starting with title
// (after its mark and blanks) is counted in damage.headers.
struct SeriesLines {
    std::string_view comment_marks;
    std::string_view title;
};

bool is_series_comment(std::string_view line, const SeriesLines& kinds) noexcept;
// A comment whose text, after its mark and blanks, starts with kinds.title.
bool is_series_title(std::string_view line, const SeriesLines& kinds) noexcept;

// Exactly width numbers and nothing else but white space; the bytes up to
// limit may be read, as parse_row allows.
bool parse_exact_row(std::string_view line, std::size_t width, double* row, const char* limit) noexcept;

// Columns named in order, with room for every row body can hold.
ColumnTable empty_series(const std::vector<std::string>& names, std::string_view body);

// Appends every row of body (whose first line is line first_line) to
// out.table and records what it steps over in out.damage: a line that is
// neither a row nor blank nor a comment is skipped, and a last line without
// a line feed is dropped as cut mid-write.
void read_series_rows(std::string_view body, std::uint64_t first_line, const SeriesLines& kinds, bool ends_with_feed,
                      SeriesTable& out);

// The error of a series with no rows: it names the file and the width of row it wanted.
CallError no_rows_error(std::string_view path, std::size_t width);

}  // namespace zorv::readers
