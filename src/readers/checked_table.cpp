#include "readers/checked_table.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "readers/huge_pages.hpp"
#include "readers/running_moments.hpp"
#include "readers/text_file.hpp"

namespace zorv::readers {
namespace {

bool ends_with_feed(std::string_view text) noexcept { return !text.empty() && text.back() == '\n'; }

// The header's columns, each with room for every row the body can hold.
ColumnTable empty_columns(const TableHeader& header) {
    ColumnTable table;
    const std::string names = clean_line(header.line);
    const std::vector<std::string_view> tokens = split_tokens(names);
    const std::size_t rows = tokens.empty() ? 0 : row_bound(header.body, tokens.size());
    for (const std::string_view name : tokens) {
        table.columns.emplace_back(std::string(name), FloatArray{});
        FloatArray& values = table.columns.back().second;
        values.reserve(rows);
        advise_huge_pages(values.data(), values.capacity() * sizeof(double));
    }
    return table;
}

struct Blocks {
    explicit Blocks(std::uint64_t size) : block_rows(size) {}
    std::uint64_t block_rows;
    std::uint64_t rows = 0;
    double sum = -0.0;
    std::uint64_t count = 0;
    FloatArray means;

    void add(double value) {
        if (std::isfinite(value)) {
            sum += value;
            ++count;
        }
        if (++rows < block_rows) return;
        means.push_back(count == 0 ? std::numeric_limits<double>::quiet_NaN() : sum / static_cast<double>(count));
        rows = 0;
        sum = -0.0;
        count = 0;
    }
};

}  // namespace

Result<CheckedTable> read_checked_text(std::string_view text, std::string_view path, TableLayout layout) {
    Result<TableHeader> header = locate_header(text, path, layout);
    if (!header) return std::move(header).error();
    CheckedTable out;
    out.table = empty_columns(header.value());
    const std::size_t width = out.table.columns.size();
    RowWalker rows(header.value(), width, layout, ends_with_feed(text));
    rows.damage().columns.resize(width);
    const double* row = nullptr;
    for (std::uint64_t line = 0; rows.next(row, line);) {
        for (std::size_t k = 0; k < width; ++k) {
            out.table.columns[k].second.push_back(row[k]);
            note_value(rows.damage().columns[k], row[k], line);
        }
    }
    out.damage = std::move(rows.damage());
    return out;
}

Result<CheckedTable> read_checked_table(std::string_view path, TableLayout layout) {
    Result<FileText> text = read_text_file(path);
    if (!text) return std::move(text).error();
    return read_checked_text(text.value().view(), path, layout);
}

Result<ColumnSummary> summarize_column_text(std::string_view text, std::string_view path, TableLayout layout,
                                            std::uint64_t column, std::uint64_t block_rows) {
    Result<TableHeader> header = locate_header(text, path, layout);
    if (!header) return std::move(header).error();
    ColumnSummary out;
    const std::string names = clean_line(header.value().line);
    out.columns = split_tokens(names).size();
    const std::size_t width = column < out.columns ? out.columns : 0;
    RowWalker rows(header.value(), width, layout, ends_with_feed(text));
    rows.damage().columns.resize(1);
    RunningMoments moments;
    Blocks blocks(block_rows);
    const double* row = nullptr;
    for (std::uint64_t line = 0; rows.next(row, line);) {
        const double value = row[column];
        ++out.rows;
        note_value(rows.damage().columns[0], value, line);
        if (std::isfinite(value)) moments.add(value);
        if (block_rows != 0) blocks.add(value);
    }
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    out.count = moments.count();
    out.mean = out.count == 0 ? kNaN : moments.sum() / static_cast<double>(out.count);
    out.variance = out.count == 0 ? kNaN : moments.squares() / static_cast<double>(out.count);
    out.block_means = std::move(blocks.means);
    out.damage = std::move(rows.damage());
    return out;
}

Result<ColumnSummary> summarize_column(std::string_view path, TableLayout layout, std::uint64_t column,
                                       std::uint64_t block_rows) {
    Result<FileText> text = read_text_file(path);
    if (!text) return std::move(text).error();
    return summarize_column_text(text.value().view(), path, layout, column, block_rows);
}

}  // namespace zorv::readers
