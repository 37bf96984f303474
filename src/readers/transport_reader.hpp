// The tables of the transport computation of an MD run (diffself.dat,
// diffonsag.dat, viscosity.dat, thermconductivity.dat, rdf.dat).
#pragma once

#include <cstddef>
#include <string_view>

#include "common/call_error.hpp"
#include "common/column_table.hpp"

namespace zorv::readers {

// Where the header of a transport table is: its line, every line after it,
// the offset of its first byte, and how many "#Time" lines the text holds.
struct ZorvHeader {
    std::string_view header;
    std::string_view body;
    std::size_t offset;
    std::size_t count;
};

// The last line that starts with "#Time" after leading white space, else line
// 0; false when the text has no line at all.
bool locate_zorv_header(std::string_view text, ZorvHeader& found) noexcept;

// Header: the last line that starts with "#Time" after leading white space,
// else line 0. Every later line, cleaned, is a candidate row.
Result<ColumnTable> parse_zorv_file(std::string_view path);

// The same on text already read and checked; path only names it in messages.
Result<ColumnTable> parse_zorv_text(std::string_view text, std::string_view path);

}  // namespace zorv::readers
