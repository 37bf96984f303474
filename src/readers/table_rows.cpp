#include "readers/table_rows.hpp"

#include <algorithm>

#include "readers/transport_reader.hpp"

namespace zorv::readers {
namespace {

std::uint64_t line_number_at(std::string_view text, std::size_t offset) {
    return static_cast<std::uint64_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n')) + 1;
}

// Blank lines and comments are never rows and never losses.
bool is_blank_or_comment(std::string_view line) noexcept {
    const std::string_view rest = trim_leading_white_space(line);
    return rest.empty() || rest.front() == '#';
}

}  // namespace

Result<TableHeader> locate_header(std::string_view text, std::string_view path, TableLayout layout) {
    if (layout == TableLayout::transport) {
        ZorvHeader found;
        if (!locate_zorv_header(text, found) || split_tokens(clean_line(found.header)).empty()) {
            return value_error("No header found in " + std::string(path));
        }
        return TableHeader{found.header, found.body, line_number_at(text, found.offset), found.count};
    }
    LineCursor lines(text);
    std::string_view title;
    std::string_view header;
    if (!lines.next(title) || !lines.next(header)) return value_error(std::string(path) + ": file too short");
    return TableHeader{header, lines.rest(), 2, 0};
}

RowWalker::RowWalker(const TableHeader& header, std::size_t width, TableLayout layout, bool ends_with_feed)
    : lines_(header.body), width_(width), cleaned_(layout == TableLayout::transport),
      ends_with_feed_(ends_with_feed), line_(header.line_number), row_(width) {
    damage_.headers = header.headers;
    damage_.header_line = header.line_number;
}

bool RowWalker::read_line(std::string_view line) {
    const char* const limit = lines_.text_end();
    return cleaned_ ? parse_cleaned_row(line, width_, row_.data(), scratch_, limit)
                    : parse_row(line, width_, row_.data(), limit);
}

bool RowWalker::next(const double*& row, std::uint64_t& line) {
    if (width_ == 0) return false;  // a header without names gives no row
    // A plain row ends in a line feed, so it is never the cut last line.
    if (const char* next = parse_plain_row(lines_.position(), lines_.text_end(), width_, row_.data())) {
        lines_.move_to(next);
        ++line_;
        if (damage_.first_row_line == 0) damage_.first_row_line = line_;
        row = row_.data();
        line = line_;
        return true;
    }
    for (std::string_view text; lines_.next(text);) {
        ++line_;
        const bool is_row = read_line(text);
        if (lines_.rest().empty() && !ends_with_feed_ && !is_blank_or_comment(text)) {
            damage_.cut_line = line_;
            damage_.cut_row = is_row;
            return false;
        }
        if (is_row) {
            if (damage_.first_row_line == 0) damage_.first_row_line = line_;
            row = row_.data();
            line = line_;
            return true;
        }
        if (!is_blank_or_comment(text) && damage_.skipped_lines++ == 0) damage_.first_skipped = line_;
    }
    return false;
}

}  // namespace zorv::readers
