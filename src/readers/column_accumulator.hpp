// Gathering rows of numbers into named columns of equal length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/column_table.hpp"
#include "readers/text_scan.hpp"

namespace zorv::readers {

// Names in header order (duplicates kept apart) and one array per name; a
// row reaches all arrays or none, so they always have the same length.
class ColumnAccumulator {
public:
    explicit ColumnAccumulator(const std::vector<std::string_view>& names);
    std::size_t width() const noexcept { return table_.columns.size(); }
    void reserve_rows(std::size_t rows);
    ColumnTable take_table() && { return std::move(table_); }

    friend bool accumulate_row(ColumnAccumulator& columns, std::string_view line, const char* limit);

private:
    ColumnTable table_;
    FloatArray row_;
};

// Reads the first width tokens of the line into row when all are numbers.
// The bytes from the line's end up to limit, when given, may be read but are
// not part of it: a line of a whole text lets digits be read in chunks.
bool parse_row(std::string_view line, std::size_t width, double* row, const char* limit = nullptr) noexcept;

// A plain row at p: width tokens, each an optional "-" and a short decimal,
// after blanks or tabs, the last followed by blanks or tabs at most and the
// line feed (or CR LF). Sets row as parse_row would on that line and gives
// where the next line starts; null for any other line, which parse_row then
// reads. Nearly every line of a table is plain, and this reads it without
// first finding its end.
const char* parse_plain_row(const char* p, const char* end, std::size_t width, double* row) noexcept;

// parse_row, else parse_row on the line without its "#"s (scratch holds it):
// how the transport tables read a data line.
bool parse_cleaned_row(std::string_view line, std::size_t width, double* row, std::string& scratch,
                       const char* limit = nullptr);

// An upper bound on the rows body can hold for a header of width columns.
std::size_t row_bound(std::string_view body, std::size_t width);

// Appends the first width() tokens of the line as one row when all are
// numbers; drops the line otherwise. Tokens past the first width() are never
// looked at. Tells whether the row was taken.
bool accumulate_row(ColumnAccumulator& columns, std::string_view line, const char* limit = nullptr);

// How a reader tokenises its data lines.
enum class DataLines { as_read, cleaned };

// The table named by the cleaned header line, with a row for every line of
// body that accumulate_row accepts.
ColumnTable read_columns(std::string_view header_line, std::string_view body, DataLines mode);

}  // namespace zorv::readers
