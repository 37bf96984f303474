#include "readers/xvg_series.hpp"

#include <charconv>

#include "readers/number_tokens.hpp"
#include "readers/series_header.hpp"

namespace zorv::readers {
namespace {

constexpr SeriesLines kXvgLines{"#@", ""};
// No engine writes this many sets; a larger number is damage, not a set.
constexpr std::size_t kMaxSets = 100000;

// The word at the front of text, and text after it and its blanks.
std::string_view take_word(std::string_view& text) {
    text = trim_leading_white_space(text);
    std::size_t end = 0;
    while (end < text.size() && white_space_length(text.data() + end, text.data() + text.size()) == 0) ++end;
    const std::string_view word = text.substr(0, end);
    text = trim_leading_white_space(text.substr(end));
    return word;
}

// The text between the first and the last double quote; false without two.
bool quoted(std::string_view text, std::string& out) {
    const std::size_t first = text.find('"');
    const std::size_t last = text.rfind('"');
    if (first == std::string_view::npos || last == first) return false;
    out.assign(text.substr(first + 1, last - first - 1));
    return true;
}

bool set_number(std::string_view digits, std::size_t& set) {
    const auto [end, code] = std::from_chars(digits.data(), digits.data() + digits.size(), set);
    return code == std::errc() && end == digits.data() + digits.size() && !digits.empty() && set < kMaxSets;
}

void set_legend(XvgSettings& settings, std::size_t set, std::string_view rest) {
    std::string legend;
    if (!quoted(rest, legend) || legend.empty()) return;
    if (settings.legends.size() <= set) settings.legends.resize(set + 1);
    settings.legends[set] = std::move(legend);
}

// Values per row: those of the first line read as numbers, at most 1 + kMaxSets.
std::size_t row_width(std::string_view body) {
    LineCursor lines(body);
    for (std::string_view line; lines.next(line);) {
        std::size_t width = 0;
        const char* p = line.data();
        const char* const end = p + line.size();
        double value = 0.0;
        while ((p = skip_white_space(p, end)) != end && width <= kMaxSets) {
            p = scan_float_token(p, end, value);
            if (p == nullptr) break;
            ++width;
        }
        if (p == end && width > 0) return width;
    }
    return 0;
}

std::vector<std::string> set_names(const XvgSettings& settings, std::size_t sets) {
    std::vector<std::string> names{"Time"};
    for (std::size_t s = 0; s < sets; ++s) {
        if (s < settings.legends.size() && !settings.legends[s].empty()) {
            names.push_back(settings.legends[s]);
        } else {
            names.emplace_back(1, 's');
            names.back() += std::to_string(s);
        }
    }
    return names;
}

std::vector<std::string> set_units(const XvgSettings& settings, std::size_t sets) {
    const std::vector<std::string> x = label_units(settings.x_label);
    const std::vector<std::string> y = label_units(settings.y_label);
    std::vector<std::string> units{x.size() == 1 ? x.front() : std::string()};
    for (std::size_t s = 0; s < sets; ++s) {
        units.push_back(y.size() == 1 ? y.front() : y.size() == sets ? y[s] : std::string());
    }
    return units;
}

}  // namespace

void read_xvg_setting(std::string_view line, XvgSettings& settings) {
    std::string_view rest = trim_leading_white_space(line).substr(1);
    const std::string_view first = take_word(rest);
    const std::string_view second = take_word(rest);
    std::size_t set = 0;
    if (first.size() > 1 && first.front() == 's' && second == "legend" && set_number(first.substr(1), set)) {
        set_legend(settings, set, rest);
    } else if (first == "legend" && second == "string" && set_number(take_word(rest), set)) {
        set_legend(settings, set, rest);
    } else if ((first == "xaxis" || first == "yaxis") && second == "label") {
        quoted(rest, first == "xaxis" ? settings.x_label : settings.y_label);
    }
}

std::vector<std::string> label_units(std::string_view label) {
    std::vector<std::string> units;
    for (std::size_t open = label.find('('); open != std::string_view::npos; open = label.find('(', open)) {
        const std::size_t close = label.find(')', open);
        if (close == std::string_view::npos) break;
        units.emplace_back(label.substr(open + 1, close - open - 1));
        open = close;
    }
    return units;
}

Result<SeriesTable> read_xvg_text(std::string_view text, std::string_view path) {
    const SeriesHeader header = split_series_header(text, kXvgLines);
    XvgSettings settings;
    for (const std::string_view comment : header.comments) {
        if (trim_leading_white_space(comment).front() == '@') read_xvg_setting(comment, settings);
    }
    const std::size_t width = row_width(header.body);
    if (width == 0) return value_error(std::string(path) + ": no rows of numbers after the '@' and '#' lines");
    const std::size_t sets = width - 1;
    SeriesTable out;
    out.table = empty_series(set_names(settings, sets), header.body);
    out.units = set_units(settings, sets);
    for (std::size_t s = sets; s < settings.legends.size(); ++s) {
        out.unmatched_legends += settings.legends[s].empty() ? 0 : 1;
    }
    out.damage.header_line = header.last_comment_line;
    read_series_rows(header.body, header.body_line, kXvgLines, !text.empty() && text.back() == '\n', out);
    if (out.table.columns.front().second.empty()) return no_rows_error(path, width);
    return out;
}

}  // namespace zorv::readers
