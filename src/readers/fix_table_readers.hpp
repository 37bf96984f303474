// Fixed-layout tables of LAMMPS "fix ave/time" and "fix ave/histo" output.
#pragma once

#include <string_view>

#include "common/call_error.hpp"
#include "common/column_table.hpp"

namespace zorv::readers {

// Title line 0, header line 1, rows from line 2 on.
Result<ColumnTable> parse_thermoprop(std::string_view path);
Result<ColumnTable> parse_thermoprop_text(std::string_view text, std::string_view path);

// Title line 0, comment line 1, header line 2, per-timestep line 3, bins from
// line 4 on.
Result<ColumnTable> parse_bond_angle(std::string_view path);
Result<ColumnTable> parse_bond_angle_text(std::string_view text, std::string_view path);

}  // namespace zorv::readers
