#include "readers/ave_time_vector.hpp"

#include <cmath>
#include <string>

#include "readers/lammps_ave_time.hpp"

namespace zorv::readers {
namespace {

constexpr SeriesLines kVectorLines{"#", kAveTimeTitle};

// One step's block while its rows come in.
class Block {
public:
    // max_values bounds rows x vectors: a block's values need two bytes each
    // in the body, so a larger count is damage, not a block.
    Block(std::size_t vectors, std::size_t max_values, SeriesTable& out)
        : vectors_(vectors), max_rows_(static_cast<double>(max_values / vectors)), out_(out) {}

    // A "step rows" line: starts a block when rows is what every block has
    // (the first block sets it).
    bool start(const double* row, std::uint64_t line) {
        const double rows = row[1];
        if (!(rows >= 1 && rows <= max_rows_ && rows == std::floor(rows))) return false;
        if (rows_ == 0) {
            rows_ = static_cast<std::size_t>(rows);
            add_columns();
        }
        if (static_cast<std::size_t>(rows) != rows_) return false;
        step_ = row[0];
        first_line_ = line;
        filled_ = 0;
        open_ = true;
        return true;
    }

    // The next "index value ..." row of the open block; false when it is not.
    bool add(const double* row, std::uint64_t line) {
        if (row[0] != static_cast<double>(filled_ + 1)) return false;
        for (std::size_t j = 0; j < vectors_; ++j) values_[j * rows_ + filled_] = row[1 + j];
        lines_[filled_++] = line;
        if (filled_ == rows_) commit();
        return true;
    }

    // Drops the open block, counting its lines as skipped.
    void drop() {
        if (!open_) return;
        TableDamage& damage = out_.damage;
        if (damage.skipped_lines == 0) damage.first_skipped = first_line_;
        damage.skipped_lines += 1 + filled_;
        open_ = false;
    }

    bool open() const noexcept { return open_; }

private:
    void add_columns();
    void commit();

    std::size_t vectors_;
    double max_rows_;
    SeriesTable& out_;
    std::size_t rows_ = 0;
    double step_ = 0.0;
    std::uint64_t first_line_ = 0;
    std::size_t filled_ = 0;
    bool open_ = false;
    FloatArray values_;
    std::vector<std::uint64_t> lines_;
};

void Block::add_columns() {
    auto& columns = out_.table.columns;
    const std::vector<std::pair<std::string, FloatArray>> named = std::move(columns);
    columns.clear();
    columns.emplace_back(named.front().first, FloatArray{});
    for (std::size_t j = 1; j < named.size(); ++j) {
        for (std::size_t r = 1; r <= rows_; ++r) {
            columns.emplace_back(named[j].first + "[" + std::to_string(r) + "]", FloatArray{});
        }
    }
    out_.units.assign(columns.size(), std::string());
    out_.damage.columns.assign(columns.size(), ColumnFaults{});
    values_.assign(vectors_ * rows_, 0.0);
    lines_.assign(rows_, 0);
}

void Block::commit() {
    auto& columns = out_.table.columns;
    columns[0].second.push_back(step_);
    note_value(out_.damage.columns[0], step_, first_line_);
    for (std::size_t k = 0; k < values_.size(); ++k) {
        columns[k + 1].second.push_back(values_[k]);
        note_value(out_.damage.columns[k + 1], values_[k], lines_[k % rows_]);
    }
    if (out_.damage.first_row_line == 0) out_.damage.first_row_line = first_line_;
    open_ = false;
}

}  // namespace

Result<SeriesTable> read_ave_time_vector(std::string_view body, std::uint64_t body_line,
                                         const std::vector<std::string>& vectors, bool ends_with_feed,
                                         std::string_view path) {
    SeriesTable out;
    out.table.columns.emplace_back("TimeStep", FloatArray{});
    for (const std::string& name : vectors) out.table.columns.emplace_back(name, FloatArray{});
    Block block(vectors.size(), body.size() / 2, out);
    FloatArray row(vectors.size() + 1 > 2 ? vectors.size() + 1 : 2);
    LineCursor lines(body);
    std::uint64_t line = body_line - 1;
    for (std::string_view text; lines.next(text);) {
        ++line;
        const bool quiet = trim_leading_white_space(text).empty() || is_series_comment(text, kVectorLines);
        if (lines.rest().empty() && !ends_with_feed && !quiet) {
            out.damage.cut_line = line;
            break;
        }
        if (quiet) {
            out.damage.headers += is_series_title(text, kVectorLines) ? 1 : 0;
            continue;
        }
        if (block.open() && parse_exact_row(text, vectors.size() + 1, row.data(), text.data() + text.size()) &&
            block.add(row.data(), line)) {
            continue;
        }
        block.drop();
        if (parse_exact_row(text, 2, row.data(), text.data() + text.size()) && block.start(row.data(), line)) continue;
        if (out.damage.skipped_lines++ == 0) out.damage.first_skipped = line;
    }
    block.drop();
    if (out.table.columns.front().second.empty()) return no_rows_error(path, vectors.size() + 1);
    return out;
}

}  // namespace zorv::readers
