// The tables of the transport computation of an MD run (diffself.dat,
// diffonsag.dat, viscosity.dat, thermconductivity.dat, rdf.dat).
#pragma once

#include <string_view>

#include "common/call_error.hpp"
#include "common/column_table.hpp"

namespace zorv::readers {

// Header: the last line that starts with "#Time" after leading white space,
// else line 0. Every later line, cleaned, is a candidate row.
Result<ColumnTable> parse_zorv_file(std::string_view path);

// The same on text already read and checked; path only names it in messages.
Result<ColumnTable> parse_zorv_text(std::string_view text, std::string_view path);

}  // namespace zorv::readers
