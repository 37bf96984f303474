// Raw bytes as a LAMMPS fix ave/time or xvg series: the readers never fail
// on a series they read, every row has every column, the damage counts agree
// with the values, and a text cut anywhere reads as a prefix of the whole.
#include <cmath>
#include <cstdint>

#include "fuzz_support.hpp"
#include "readers/lammps_ave_time.hpp"
#include "readers/xvg_series.hpp"

namespace {

using namespace zorv;
using namespace zorv::readers;
using fuzz::require;

void check_series(const SeriesTable& series) {
    fuzz::check_table(series.table);
    const auto& columns = series.table.columns;
    require(!columns.empty() && !columns.front().second.empty(), "a series read has rows");
    require(series.units.size() == columns.size(), "a unit for every column");
    require(series.damage.columns.size() == columns.size(), "faults for every column");
    require(series.damage.first_row_line != 0, "the first row's line");
    for (std::size_t k = 0; k < columns.size(); ++k) {
        std::uint64_t nonfinite = 0;
        for (const double v : columns[k].second) nonfinite += std::isfinite(v) ? 0 : 1;
        require(series.damage.columns[k].nonfinite == nonfinite, "every non-finite value counted");
    }
}

// Rows of a prefix cut at a line feed are the first rows of the whole.
void check_prefix(const SeriesTable& whole, const SeriesTable& part) {
    require(whole.table.columns.size() == part.table.columns.size(), "a prefix has the same columns");
    for (std::size_t k = 0; k < whole.table.columns.size(); ++k) {
        const FloatArray& all = whole.table.columns[k].second;
        const FloatArray& some = part.table.columns[k].second;
        require(some.size() <= all.size(), "a prefix has no more rows");
        for (std::size_t i = 0; i < some.size(); ++i) {
            require(std::isnan(all[i]) ? std::isnan(some[i]) : all[i] == some[i], "a prefix has the same rows");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 1) return 0;
    const auto reader = data[0] % 2 == 0 ? read_ave_time_text : read_xvg_text;
    const std::string_view text = fuzz::as_text(data + 1, size - 1);
    const Result<SeriesTable> whole = reader(text, "fuzz.dat");
    if (!whole.ok()) {
        require(whole.error().message.rfind("fuzz.dat: ", 0) == 0, "an error names the file");
        return 0;
    }
    check_series(whole.value());
    const std::size_t cut = text.find_last_of('\n', text.size() - 1 - (data[0] >> 1) % text.size());
    if (cut == std::string_view::npos) return 0;
    const Result<SeriesTable> part = reader(text.substr(0, cut + 1), "fuzz.dat");
    if (part.ok()) check_prefix(whole.value(), part.value());
    return 0;
}
