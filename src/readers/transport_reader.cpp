#include "readers/transport_reader.hpp"

#include <string>

#include "readers/column_accumulator.hpp"
#include "readers/text_file.hpp"
#include "readers/text_scan.hpp"

namespace zorv::readers {
namespace {

bool starts_header(std::string_view line) noexcept {
    return trim_leading_white_space(line).starts_with("#Time");
}

}  // namespace

// Only a line holding "#" can be a header, so the search jumps from one "#" to
// the next and looks at each such line once, instead of walking every line.
bool locate_zorv_header(std::string_view text, ZorvHeader& found) noexcept {
    LineCursor first(text);
    std::string_view line;
    if (!first.next(line)) return false;
    found = {line, first.rest(), 0, 0};
    for (std::size_t hash = text.find('#'); hash != std::string_view::npos;) {
        const std::size_t feed = text.rfind('\n', hash);
        const std::size_t start = feed == std::string_view::npos ? 0 : feed + 1;
        LineCursor cursor(text.substr(start));
        cursor.next(line);
        if (starts_header(line)) {
            found = {line, cursor.rest(), start, found.count + 1};
        }
        hash = text.find('#', text.size() - cursor.rest().size());
    }
    return true;
}

Result<ColumnTable> parse_zorv_text(std::string_view text, std::string_view path) {
    ZorvHeader found;
    // An empty file has no line 0 to fall back on: it has no header either.
    if (!locate_zorv_header(text, found)) return value_error("No header found in " + std::string(path));
    ColumnTable table = read_columns(found.header, found.body, DataLines::cleaned);
    if (table.columns.empty()) return value_error("No header found in " + std::string(path));
    return table;
}

Result<ColumnTable> parse_zorv_file(std::string_view path) {
    Result<FileText> text = read_text_file(path);
    if (!text) return std::move(text).error();
    return parse_zorv_text(text.value().view(), path);
}

}  // namespace zorv::readers
