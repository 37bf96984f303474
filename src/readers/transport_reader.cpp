#include "readers/transport_reader.hpp"

#include <string>

#include "readers/column_accumulator.hpp"
#include "readers/text_file.hpp"
#include "readers/text_scan.hpp"

namespace zorv::readers {
namespace {

struct HeaderAndBody {
    std::string_view header;
    std::string_view body;  // every line after the header
};

bool starts_header(std::string_view line) noexcept {
    return trim_leading_white_space(line).starts_with("#Time");
}

// The last "#Time" line, else line 0; false when the text has no line at all.
// Only a line holding "#" can be a header, so the search jumps from one "#" to
// the next and looks at each such line once, instead of walking every line.
bool find_header_line(std::string_view text, HeaderAndBody& found) noexcept {
    LineCursor first(text);
    std::string_view line;
    if (!first.next(line)) return false;
    found = {line, first.rest()};
    for (std::size_t hash = text.find('#'); hash != std::string_view::npos;) {
        const std::size_t feed = text.rfind('\n', hash);
        LineCursor cursor(text.substr(feed == std::string_view::npos ? 0 : feed + 1));
        cursor.next(line);
        if (starts_header(line)) found = {line, cursor.rest()};
        hash = text.find('#', text.size() - cursor.rest().size());
    }
    return true;
}

}  // namespace

Result<ColumnTable> parse_zorv_text(std::string_view text, std::string_view path) {
    HeaderAndBody found;
    // An empty file has no line 0 to fall back on: it has no header either.
    if (!find_header_line(text, found)) return value_error("No header found in " + std::string(path));
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
