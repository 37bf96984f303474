#include "readers/series_header.hpp"

namespace zorv::readers {

SeriesHeader split_series_header(std::string_view text, const SeriesLines& kinds) {
    SeriesHeader header;
    LineCursor lines(text);
    std::uint64_t line = 0;
    for (std::string_view current;;) {
        const char* const start = lines.position();
        if (!lines.next(current)) {
            header.body = text.substr(text.size());
            break;
        }
        ++line;
        if (trim_leading_white_space(current).empty()) continue;
        if (!is_series_comment(current, kinds)) {
            header.body = text.substr(static_cast<std::size_t>(start - text.data()));
            break;
        }
        header.comments.push_back(current);
        header.last_comment_line = line;
    }
    header.body_line = line;
    return header;
}

}  // namespace zorv::readers
