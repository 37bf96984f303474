#include "readers/column_accumulator.hpp"

#include <algorithm>
#include <cstring>

#include "readers/huge_pages.hpp"
#include "readers/number_tokens.hpp"

namespace zorv::readers {

// An upper bound on the rows body can give: one per line, and each row needs
// a token and a separator per column. Reserving it keeps the columns from
// regrowing (and briefly doubling) on the usual files.
std::size_t row_bound(std::string_view body, std::size_t width) {
    if (body.empty()) return 0;
    std::size_t feeds = 0;
    for (const char* p = body.data(), *end = p + body.size();
         (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr; ++p) {
        ++feeds;
    }
    return std::min(feeds + 1, (body.size() + 1) / (2 * width));
}

namespace {

// Removing "#" is the only part of clean_line that changes a line's tokens.
// A row taken from the line as read has no "#" up to its last token, so the
// cleaned line gives the same row; only a line refused as read and holding a
// "#" needs cleaning.
void accumulate_cleaned(ColumnAccumulator& columns, std::string_view line, std::string& scratch, const char* limit) {
    if (accumulate_row(columns, line, limit) || std::memchr(line.data(), '#', line.size()) == nullptr) return;
    scratch = clean_line(line);
    accumulate_row(columns, scratch);
}

}  // namespace

ColumnAccumulator::ColumnAccumulator(const std::vector<std::string_view>& names) {
    table_.columns.reserve(names.size());
    for (const std::string_view name : names) table_.columns.emplace_back(std::string(name), FloatArray{});
    row_.resize(names.size());
}

void ColumnAccumulator::reserve_rows(std::size_t rows) {
    for (auto& column : table_.columns) {
        column.second.reserve(rows);
        advise_huge_pages(column.second.data(), column.second.capacity() * sizeof(double));
    }
}

bool parse_row(std::string_view line, std::size_t width, double* row, const char* limit) noexcept {
    const char* p = line.data();
    const char* const end = p + line.size();
    if (limit == nullptr) limit = end;
    for (std::size_t k = 0; k < width; ++k) {
        p = skip_white_space(p, end);
        if (p == end) return false;
        // The plain decimal scan_float_token would read first, read here without a call.
        if (const char* stop = scan_short_decimal(p, end, limit, row[k])) {
            p = stop;
            continue;
        }
        p = scan_float_token(p, end, row[k]);
        if (p == nullptr) return false;
    }
    return true;
}

const char* parse_plain_row(const char* p, const char* end, std::size_t width, double* row) noexcept {
    const auto blank = [](char c) noexcept { return c == ' ' || c == '\t'; };
    for (std::size_t k = 0; k < width; ++k) {
        while (p != end && blank(*p)) ++p;
        const bool negative = p != end && *p == '-';
        p += negative ? 1 : 0;
        double magnitude = 0.0;
        const char* stop = scan_short_decimal(p, end, end, magnitude);
        // The last token ends the line; the others end in a blank or a tab.
        if (stop == nullptr || stop == end || (k + 1 < width && !blank(*stop))) return nullptr;
        row[k] = negative ? -magnitude : magnitude;
        p = stop;
    }
    // Blanks may close the line; anything past them but its feed is left to parse_row.
    while (p != end && blank(*p)) ++p;
    if (p != end && *p == '\r') ++p;
    return p != end && *p == '\n' ? p + 1 : nullptr;
}

bool parse_cleaned_row(std::string_view line, std::size_t width, double* row, std::string& scratch,
                       const char* limit) {
    if (parse_row(line, width, row, limit)) return true;
    if (std::memchr(line.data(), '#', line.size()) == nullptr) return false;
    scratch = clean_line(line);
    return parse_row(scratch, width, row);
}

bool accumulate_row(ColumnAccumulator& columns, std::string_view line, const char* limit) {
    const std::size_t width = columns.width();
    double* row = columns.row_.data();
    if (!parse_row(line, width, row, limit)) return false;
    for (std::size_t k = 0; k < width; ++k) columns.table_.columns[k].second.push_back(row[k]);
    return true;
}

ColumnTable read_columns(std::string_view header_line, std::string_view body, DataLines mode) {
    const std::string header = clean_line(header_line);
    ColumnAccumulator columns(split_tokens(header));
    if (columns.width() == 0) return std::move(columns).take_table();  // every line adds nothing
    columns.reserve_rows(row_bound(body, columns.width()));
    LineCursor lines(body);
    std::string scratch;
    const char* const limit = body.data() + body.size();
    for (std::string_view line; lines.next(line);) {
        if (mode == DataLines::cleaned) {
            accumulate_cleaned(columns, line, scratch, limit);
        } else {
            accumulate_row(columns, line, limit);
        }
    }
    return std::move(columns).take_table();
}

}  // namespace zorv::readers
