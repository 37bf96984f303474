// Series in the xmgrace form GROMACS tools write (gmx energy -o x.xvg):
// "#" comments, "@" settings naming the sets and the axes, then rows of a
// time and one value per set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/call_error.hpp"
#include "readers/series_table.hpp"

namespace zorv::readers {

// What the "@" lines state: each set's legend (empty where none is given)
// and the text of the axis labels.
struct XvgSettings {
    std::vector<std::string> legends;  // by set number
    std::string x_label;
    std::string y_label;
};

// Reads "@ sN legend \"...\"", "@ legend string N \"...\"" and
// "@ xaxis|yaxis label \"...\""; other settings are left alone.
void read_xvg_setting(std::string_view line, XvgSettings& settings);

// The units an axis label states, each the text inside a pair of
// parentheses: "Time (ps)" gives {"ps"}, "(bar), (nm^3)" gives {"bar", "nm^3"}.
std::vector<std::string> label_units(std::string_view label);

// Columns "Time" and one per set, as many as the first row has values; a set
// without a legend is named "sN". The time unit is the x label's; the y
// label's unit goes to every set, or one to each set when it states one per set.
Result<SeriesTable> read_xvg_text(std::string_view text, std::string_view path);

}  // namespace zorv::readers
