// A series file read from disk in the format its caller names.
#pragma once

#include <string_view>

#include "common/call_error.hpp"
#include "readers/series_table.hpp"

namespace zorv::readers {

enum class SeriesFormat { lammps, xvg };

// The file read and checked as UTF-8, then parsed; OSError when it cannot
// be read, ValueError naming it when it holds no series.
Result<SeriesTable> read_series_file(std::string_view path, SeriesFormat format);

}  // namespace zorv::readers
