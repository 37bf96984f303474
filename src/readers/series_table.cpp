#include "readers/series_table.hpp"

#include "readers/column_accumulator.hpp"
#include "readers/huge_pages.hpp"
#include "readers/number_tokens.hpp"

namespace zorv::readers {
namespace {

void take_row(SeriesTable& out, const double* row, std::uint64_t line) {
    auto& columns = out.table.columns;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        columns[k].second.push_back(row[k]);
        note_value(out.damage.columns[k], row[k], line);
    }
    if (out.damage.first_row_line == 0) out.damage.first_row_line = line;
}

}  // namespace

bool is_series_title(std::string_view line, const SeriesLines& kinds) noexcept {
    if (kinds.title.empty() || !is_series_comment(line, kinds)) return false;
    const std::string_view rest = trim_leading_white_space(trim_leading_white_space(line).substr(1));
    return rest.substr(0, kinds.title.size()) == kinds.title;
}

bool is_series_comment(std::string_view line, const SeriesLines& kinds) noexcept {
    const std::string_view rest = trim_leading_white_space(line);
    return !rest.empty() && kinds.comment_marks.find(rest.front()) != std::string_view::npos;
}

bool parse_exact_row(std::string_view line, std::size_t width, double* row, const char* limit) noexcept {
    const char* p = line.data();
    const char* const end = p + line.size();
    for (std::size_t k = 0; k < width; ++k) {
        p = skip_white_space(p, end);
        if (p == end) return false;
        const char* stop = scan_short_decimal(p, end, limit, row[k]);
        p = stop != nullptr ? stop : scan_float_token(p, end, row[k]);
        if (p == nullptr) return false;
    }
    return skip_white_space(p, end) == end;
}

ColumnTable empty_series(const std::vector<std::string>& names, std::string_view body) {
    ColumnTable table;
    const std::size_t rows = names.empty() ? 0 : row_bound(body, names.size());
    for (const std::string& name : names) {
        table.columns.emplace_back(name, FloatArray{});
        FloatArray& values = table.columns.back().second;
        values.reserve(rows);
        advise_huge_pages(values.data(), values.capacity() * sizeof(double));
    }
    return table;
}

void read_series_rows(std::string_view body, std::uint64_t first_line, const SeriesLines& kinds, bool ends_with_feed,
                      SeriesTable& out) {
    const std::size_t width = out.table.columns.size();
    out.damage.columns.resize(width);
    if (width == 0) return;
    FloatArray row(width);
    LineCursor lines(body);
    const char* const end = lines.text_end();
    std::uint64_t line = first_line - 1;
    TableDamage& damage = out.damage;
    for (std::string_view text;;) {
        // A plain row ends in a line feed, so it is never the cut last line.
        if (const char* next = parse_plain_row(lines.position(), end, width, row.data())) {
            lines.move_to(next);
            take_row(out, row.data(), ++line);
            continue;
        }
        if (!lines.next(text)) break;
        ++line;
        const bool is_row = parse_exact_row(text, width, row.data(), end);
        const bool quiet = trim_leading_white_space(text).empty() || is_series_comment(text, kinds);
        if (lines.rest().empty() && !ends_with_feed && !quiet) {
            damage.cut_line = line;
            damage.cut_row = is_row;
            break;
        }
        if (is_row) {
            take_row(out, row.data(), line);
        } else if (quiet) {
            if (is_series_title(text, kinds)) ++damage.headers;
        } else if (damage.skipped_lines++ == 0) {
            damage.first_skipped = line;
        }
    }
}

CallError no_rows_error(std::string_view path, std::size_t width) {
    return value_error(std::string(path) + ": no complete row of " + std::to_string(width) + " numbers was found");
}

}  // namespace zorv::readers
