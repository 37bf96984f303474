// Series written by LAMMPS fix ave/time in vector mode: per step a line
// "step rows", then that many lines "index value ..." (one value per
// vector named in the "# Row ..." comment).
#pragma once

#include <string_view>
#include <vector>

#include "common/call_error.hpp"
#include "readers/series_table.hpp"

namespace zorv::readers {

// The blocks after the header, as columns: "TimeStep" (the step of each
// block), then for every vector name v and row r from 1 the column "v[r]".
// Every block must have the first block's number of rows; one that does not,
// or whose rows are broken, is skipped whole, and so is a block the file
// ends in the middle of (a last line without a line feed is the cut one).
Result<SeriesTable> read_ave_time_vector(std::string_view body, std::uint64_t body_line,
                                         const std::vector<std::string>& vectors, bool ends_with_feed,
                                         std::string_view path);

}  // namespace zorv::readers
