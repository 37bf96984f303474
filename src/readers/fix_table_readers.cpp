#include "readers/fix_table_readers.hpp"

#include <string>

#include "readers/column_accumulator.hpp"
#include "readers/text_file.hpp"
#include "readers/text_scan.hpp"

namespace zorv::readers {
namespace {

CallError too_short(std::string_view path) {
    return value_error(std::string(path) + ": file too short");
}

// Reads the file, then hands its text to the reader of that layout.
Result<ColumnTable> read_with(std::string_view path,
                              Result<ColumnTable> (*reader)(std::string_view, std::string_view)) {
    Result<FileText> text = read_text_file(path);
    if (!text) return std::move(text).error();
    return reader(text.value().view(), path);
}

}  // namespace

Result<ColumnTable> parse_thermoprop_text(std::string_view text, std::string_view path) {
    LineCursor lines(text);
    std::string_view title;
    std::string_view header;
    if (!lines.next(title) || !lines.next(header)) return too_short(path);
    return read_columns(header, lines.rest(), DataLines::as_read);
}

Result<ColumnTable> parse_bond_angle_text(std::string_view text, std::string_view path) {
    LineCursor lines(text);
    std::string_view first_lines[4];
    for (std::string_view& line : first_lines) {
        if (!lines.next(line)) return too_short(path);
    }
    // A non-empty rest always holds line 4, which a table needs.
    if (lines.rest().empty()) return too_short(path);
    return read_columns(first_lines[2], lines.rest(), DataLines::as_read);
}

Result<ColumnTable> parse_thermoprop(std::string_view path) {
    return read_with(path, parse_thermoprop_text);
}

Result<ColumnTable> parse_bond_angle(std::string_view path) {
    return read_with(path, parse_bond_angle_text);
}

}  // namespace zorv::readers
