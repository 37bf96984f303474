// A table file read into contiguous columns together with its damage report.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/call_error.hpp"
#include "common/column_table.hpp"
#include "readers/table_rows.hpp"

namespace zorv::readers {

// The rows _zorv_pp's reader of the layout gives (parse_zorv_file for
// transport, parse_thermoprop for thermo), less a last line cut mid-write;
// damage.columns holds one entry per column.
struct CheckedTable {
    ColumnTable table;
    TableDamage damage;
};

Result<CheckedTable> read_checked_text(std::string_view text, std::string_view path, TableLayout layout);

// The file read and checked as UTF-8, with the reader's errors.
Result<CheckedTable> read_checked_table(std::string_view path, TableLayout layout);

// Count, mean and variance (over the count) of the finite values of one
// column, and the means of the finite values of each full block of
// block_rows rows (NaN for a block without one). The mean adds left to right
// from -0.0 and divides once, as repacking_results does.
struct ColumnSummary {
    std::uint64_t columns = 0;  // names in the header
    std::uint64_t rows = 0;
    std::uint64_t count = 0;
    double mean = 0.0;
    double variance = 0.0;
    FloatArray block_means;
    TableDamage damage;  // damage.columns holds the reduced column only
};

// The summary of column `column` (0 the first) without building any column;
// a header with fewer columns gives no rows. block_rows 0 gives no blocks.
Result<ColumnSummary> summarize_column_text(std::string_view text, std::string_view path, TableLayout layout,
                                            std::uint64_t column, std::uint64_t block_rows);
Result<ColumnSummary> summarize_column(std::string_view path, TableLayout layout, std::uint64_t column,
                                       std::uint64_t block_rows);

}  // namespace zorv::readers
