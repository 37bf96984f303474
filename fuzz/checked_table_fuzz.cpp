// Raw bytes as a table file for the analysis readers: the rows are those of
// _zorv_pp's reader of the layout less a cut last line, the damage counts
// agree with the values, and the streaming summary agrees with the table.
#include <bit>
#include <cmath>
#include <cstdint>

#include "fuzz_support.hpp"
#include "readers/checked_table.hpp"
#include "readers/fix_table_readers.hpp"
#include "readers/transport_reader.hpp"
#include "readers/utf8_check.hpp"

namespace {

using namespace zorv;
using namespace zorv::readers;
using fuzz::require;

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

void check_table(const CheckedTable& checked, const ColumnTable& plain) {
    fuzz::check_table(checked.table);
    require(checked.table.columns.size() == plain.columns.size(), "the reader's columns");
    require(checked.damage.columns.size() == plain.columns.size(), "faults for every column");
    for (std::size_t k = 0; k < plain.columns.size(); ++k) {
        const FloatArray& got = checked.table.columns[k].second;
        const FloatArray& want = plain.columns[k].second;
        require(checked.table.columns[k].first == plain.columns[k].first, "the reader's names");
        require(got.size() + (checked.damage.cut_row ? 1 : 0) == want.size(), "the reader's rows less a cut one");
        std::uint64_t nonfinite = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            require(same_bits(got[i], want[i]), "the reader's values");
            nonfinite += std::isfinite(got[i]) ? 0 : 1;
        }
        require(checked.damage.columns[k].nonfinite == nonfinite, "every non-finite value counted");
    }
}

void check_summary(const ColumnSummary& summary, const CheckedTable& checked, std::uint64_t column,
                   std::uint64_t block_rows) {
    if (column >= checked.table.columns.size()) {
        require(summary.rows == 0 && summary.count == 0, "no rows without the column");
        return;
    }
    const FloatArray& values = checked.table.columns[column].second;
    require(summary.rows == values.size(), "a row for every row of the table");
    double sum = -0.0;
    std::uint64_t count = 0;
    for (const double v : values) {
        if (std::isfinite(v)) {
            sum += v;
            ++count;
        }
    }
    require(summary.count == count, "the finite values counted");
    require(count == 0 || same_bits(summary.mean, sum / static_cast<double>(count)), "the mean of the table");
    require(block_rows == 0 ? summary.block_means.empty() : summary.block_means.size() == values.size() / block_rows,
            "a mean for every full block");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 1) return 0;
    const TableLayout layout = data[0] % 2 == 0 ? TableLayout::transport : TableLayout::thermo;
    const std::uint64_t column = (data[0] >> 1) % 4;
    const std::uint64_t block_rows = data[0] >> 3;
    const std::string_view text = fuzz::as_text(data + 1, size - 1);
    if (!is_well_formed_utf8(text)) return 0;  // the read fails before the reader runs
    const Result<ColumnTable> plain = layout == TableLayout::transport ? parse_zorv_text(text, "fuzz.dat")
                                                                         : parse_thermoprop_text(text, "fuzz.dat");
    const Result<CheckedTable> checked = read_checked_text(text, "fuzz.dat", layout);
    const Result<ColumnSummary> summary = summarize_column_text(text, "fuzz.dat", layout, column, block_rows);
    require(plain.ok() == checked.ok() && plain.ok() == summary.ok(), "the same files fail");
    if (!plain.ok()) {
        require(plain.error().message == checked.error().message, "the reader's error");
        return 0;
    }
    check_table(checked.value(), plain.value());
    check_summary(summary.value(), checked.value(), column, block_rows);
    return 0;
}
