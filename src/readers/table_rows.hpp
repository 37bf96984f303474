// The rows of a table file walked once, with the damage a reader steps over
// made visible: lines that are no row, a last line cut mid-write, a header
// written more than once and values that are not finite.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/call_error.hpp"
#include "readers/column_accumulator.hpp"

namespace zorv::readers {

// Where a layout puts its header; rows follow it.
enum class TableLayout {
    transport,  // the last "#Time" line, else line 0; data lines read without "#"
    thermo,     // title line 0, header line 1; data lines as read
};

// Line numbers count from 1; 0 means none.
struct ColumnFaults {
    std::uint64_t nonfinite = 0;
    std::uint64_t first_line = 0;
};

struct TableDamage {
    std::uint64_t skipped_lines = 0;  // neither a row nor blank nor a comment
    std::uint64_t first_skipped = 0;
    std::uint64_t cut_line = 0;       // a last line after the header without a line feed: dropped
    bool cut_row = false;             // whether that line would have read as a row
    std::uint64_t headers = 0;        // "#Time" lines of a transport table
    std::uint64_t header_line = 0;
    std::uint64_t first_row_line = 0;
    std::vector<ColumnFaults> columns;  // one per column the walk looked at
};

// The header line, the text after it and the number of the header's line.
struct TableHeader {
    std::string_view line;
    std::string_view body;
    std::uint64_t line_number = 0;
    std::uint64_t headers = 0;
};

// The header of text as the layout's _zorv_pp reader finds it, with that
// reader's error when there is none ("No header found in PATH", "PATH: file
// too short").
Result<TableHeader> locate_header(std::string_view text, std::string_view path, TableLayout layout);

// Hands out the rows of body in order, each a full row of width numbers as
// the layout's reader takes it, and records what it steps over.
class RowWalker {
public:
    RowWalker(const TableHeader& header, std::size_t width, TableLayout layout, bool ends_with_feed);
    // The next row and its line; false at the end.
    bool next(const double*& row, std::uint64_t& line);
    TableDamage& damage() noexcept { return damage_; }

private:
    bool read_line(std::string_view line);

    LineCursor lines_;
    std::size_t width_;
    bool cleaned_;
    bool ends_with_feed_;
    std::uint64_t line_;
    FloatArray row_;
    std::string scratch_;
    TableDamage damage_;
};

// Counts a non-finite value of a column at line.
inline void note_value(ColumnFaults& faults, double value, std::uint64_t line) noexcept {
    if (std::isfinite(value)) return;
    if (faults.nonfinite++ == 0) faults.first_line = line;
}

}  // namespace zorv::readers
