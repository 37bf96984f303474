#include "readers/lammps_ave_time.hpp"

#include <string>

#include "readers/ave_time_vector.hpp"
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

Result<SeriesTable> read_vector_mode(const SeriesHeader& header, bool ends_with_feed, std::string_view path) {
    std::vector<std::string> vectors = names_of(header.comments.back());
    if (vectors.size() < 2 || vectors.front() != "Row") {
        return value_error(std::string(path) +
                           ": fix ave/time wrote it in vector mode (a 'step rows' line before indexed rows) without "
                           "a '# Row ...' comment naming the values; write the series with 'mode scalar' to read it");
    }
    vectors.erase(vectors.begin());
    return read_ave_time_vector(header.body, header.body_line, vectors, ends_with_feed, path);
}

}  // namespace

Result<SeriesTable> read_ave_time_text(std::string_view text, std::string_view path) {
    const SeriesHeader header = split_series_header(text, kAveTimeLines);
    const bool ends_with_feed = !text.empty() && text.back() == '\n';
    Result<SeriesTable> read = value_error("");
    if (is_vector_mode(header.comments)) {
        read = read_vector_mode(header, ends_with_feed, path);
    } else {
        const std::vector<std::string> names = header.comments.empty() ? std::vector<std::string>{}
                                                                        : names_of(header.comments.back());
        if (names.empty()) {
            return value_error(std::string(path) +
                               ": no comment line naming the columns ('# TimeStep ...') before the rows");
        }
        SeriesTable out;
        out.table = empty_series(names, header.body);
        out.units.assign(names.size(), std::string());
        read_series_rows(header.body, header.body_line, kAveTimeLines, ends_with_feed, out);
        if (out.table.columns.front().second.empty()) return no_rows_error(path, names.size());
        read = std::move(out);
    }
    if (!read) return read;
    SeriesTable& series = read.value();
    for (const std::string_view comment : header.comments) {
        series.damage.headers += is_series_title(comment, kAveTimeLines) ? 1 : 0;
    }
    series.damage.header_line = header.last_comment_line;
    return read;
}

}  // namespace zorv::readers
