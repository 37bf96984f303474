// The comment lines that open a series file, before its first row.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "readers/series_table.hpp"

namespace zorv::readers {

struct SeriesHeader {
    std::vector<std::string_view> comments;  // in order, blank lines left out
    std::uint64_t last_comment_line = 0;     // 0 without comments
    std::string_view body;                   // from the first line that is no comment nor blank
    std::uint64_t body_line = 0;             // that line's number
};

SeriesHeader split_series_header(std::string_view text, const SeriesLines& kinds);

}  // namespace zorv::readers
