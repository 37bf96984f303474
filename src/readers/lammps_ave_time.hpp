// Series written by LAMMPS fix ave/time: a title comment, a comment naming
// the columns ("# TimeStep v_pxx ..."), then one row per step.
#pragma once

#include <string_view>

#include "common/call_error.hpp"
#include "readers/series_table.hpp"

namespace zorv::readers {

inline constexpr std::string_view kAveTimeTitle = "Time-averaged data for fix";

// Columns named by the last comment before the first row, every row of
// exactly that many numbers. Vector mode ("# TimeStep Number-of-rows", then
// "# Row v ...") gives a column "v[r]" per vector and row, as scalar mode
// names them when given "v[*]".
Result<SeriesTable> read_ave_time_text(std::string_view text, std::string_view path);

}  // namespace zorv::readers
