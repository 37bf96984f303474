#include "readers/lammps_ave_time.hpp"

#include <string>

#include "readers/series_header.hpp"

namespace zorv::readers {
namespace {

constexpr SeriesLines kAveTimeLines{"#", kAveTimeTitle};

std::vector<std::string> names_of(std::string_view comment) {
    std::vector<std::string> names;
    const std::string cleaned = clean_line(comment);
    for (const std::string_view token : split_tokens(cleaned)) names.emplace_back(token);
    return names;
}

// Vector mode writes "# TimeStep Number-of-rows" and then "# Row ..." names.
bool is_vector_mode(const std::vector<std::string_view>& comments) {
    for (const std::string_view comment : comments) {
        if (names_of(comment) == std::vector<std::string>{"TimeStep", "Number-of-rows"}) return true;
    }
    return false;
}

}  // namespace

Result<SeriesTable> read_ave_time_text(std::string_view text, std::string_view path) {
    const SeriesHeader header = split_series_header(text, kAveTimeLines);
    if (is_vector_mode(header.comments)) {
        return value_error(std::string(path) +
                           ": fix ave/time wrote it in vector mode (a 'step rows' line before indexed rows); "
                           "write the series with 'mode scalar' to read it");
    }
    const std::vector<std::string> names = header.comments.empty() ? std::vector<std::string>{}
                                                                    : names_of(header.comments.back());
    if (names.empty()) {
        return value_error(std::string(path) + ": no comment line naming the columns ('# TimeStep ...') before "
                                               "the rows");
    }
    SeriesTable out;
    out.table = empty_series(names, header.body);
    out.units.assign(names.size(), std::string());
    for (const std::string_view comment : header.comments) {
        if (comment.find(kAveTimeTitle) != std::string_view::npos) ++out.damage.headers;
    }
    out.damage.header_line = header.last_comment_line;
    read_series_rows(header.body, header.body_line, kAveTimeLines, !text.empty() && text.back() == '\n', out);
    if (out.table.columns.front().second.empty()) return no_rows_error(path, names.size());
    return out;
}

}  // namespace zorv::readers
