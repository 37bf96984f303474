// Readers that return one number: a volume or density value, and the atom
// count of a group from a LAMMPS log.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/call_error.hpp"

namespace zorv::readers {

// Token 1 of the first line after the two header lines where it is a number.
Result<double> parse_volume_density(std::string_view path);
Result<double> parse_volume_density_text(std::string_view text, std::string_view path);

// The count that starts the line after the first line containing
// "group " + group_name whose next line starts with a count.
Result<std::uint64_t> read_group_count(std::string_view log_path, std::string_view group_name);
Result<std::uint64_t> read_group_count_text(std::string_view text, std::string_view log_path,
                                            std::string_view group_name);

}  // namespace zorv::readers
