#include "readers/series_file.hpp"

#include <utility>

#include "readers/lammps_ave_time.hpp"
#include "readers/text_file.hpp"
#include "readers/xvg_series.hpp"

namespace zorv::readers {

Result<SeriesTable> read_series_file(std::string_view path, SeriesFormat format) {
    Result<FileText> text = read_text_file(path);
    if (!text) return std::move(text).error();
    const std::string_view view = text.value().view();
    return format == SeriesFormat::lammps ? read_ave_time_text(view, path) : read_xvg_text(view, path);
}

}  // namespace zorv::readers
