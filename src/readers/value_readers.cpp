#include "readers/value_readers.hpp"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "readers/number_tokens.hpp"
#include "readers/text_file.hpp"
#include "readers/text_scan.hpp"

namespace zorv::readers {
namespace {

// The first token of the line that starts at offset, if any.
std::optional<std::uint64_t> count_at_line_start(std::string_view text, std::size_t offset) {
    LineCursor lines(text.substr(offset));
    std::string_view line;
    std::string_view token;
    if (!lines.next(line) || !TokenCursor(line).next(token)) return std::nullopt;
    return parse_count_token(token);
}

// Where the content of the line holding position at ends (before "\r\n" or
// "\n"), and where the next line starts (npos for none).
struct LineEnd {
    std::size_t content_end;
    std::size_t next_start;
};

LineEnd line_end_after(std::string_view text, std::size_t at) noexcept {
    const std::size_t feed = text.find('\n', at);
    if (feed == std::string_view::npos) return {text.size(), std::string_view::npos};
    const std::size_t content_end = feed > 0 && text[feed - 1] == '\r' ? feed - 1 : feed;
    return {content_end, feed + 1 < text.size() ? feed + 1 : std::string_view::npos};
}

// LAMMPS's own report "N atoms in group NAME", matched at its "group": logs
// that do not echo the group commands hold only these, one after another, and
// the line after one of them reports another group.
std::optional<std::uint64_t> reported_count(std::string_view text, std::size_t match_at) {
    const std::size_t feed = text.rfind('\n', match_at);
    const std::size_t start = feed == std::string_view::npos ? 0 : feed + 1;
    TokenCursor tokens(text.substr(start, match_at - start));
    std::string_view count;
    std::string_view atoms;
    std::string_view in;
    std::string_view extra;
    if (!tokens.next(count) || !tokens.next(atoms) || !tokens.next(in) || tokens.next(extra)) return std::nullopt;
    const bool report_form = atoms == "atoms" && in == "in" &&
                             white_space_length(text.data() + match_at - 1, text.data() + match_at) == 1;
    return report_form ? parse_count_token(count) : std::nullopt;
}

}  // namespace

Result<double> parse_volume_density_text(std::string_view text, std::string_view path) {
    LineCursor lines(text);
    std::string_view line;
    for (int skipped = 0; skipped < 2 && lines.next(line); ++skipped) {
    }
    while (lines.next(line)) {
        TokenCursor tokens(line);
        std::string_view token;
        if (!tokens.next(token) || !tokens.next(token)) continue;
        if (const std::optional<double> value = parse_float_token(token)) return *value;
    }
    return value_error("No numeric data found in " + std::string(path));
}

Result<double> parse_volume_density(std::string_view path) {
    Result<FileText> text = read_text_file(path);
    if (!text) return std::move(text).error();
    return parse_volume_density_text(text.value().view(), path);
}

// Searches the whole text rather than line by line: a match near the start
// of a huge log then costs little beyond the read.
Result<std::uint64_t> read_group_count_text(std::string_view text, std::string_view log_path,
                                            std::string_view group_name) {
    const std::string pattern = "group " + std::string(group_name);
    const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
    std::size_t from = 0;
    while (from < text.size()) {
        const auto hit = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), searcher);
        if (hit == text.end()) break;
        const auto at = static_cast<std::size_t>(hit - text.begin());
        const LineEnd end = line_end_after(text, at);
        // A hit running past its line's content (over "\r" or "\n") is no
        // match, nor is any later hit on that line; the next line is
        // searched in its turn either way.
        if (at + pattern.size() <= end.content_end) {
            if (const auto own = reported_count(text, at)) return *own;
            const auto count = end.next_start == std::string_view::npos
                                   ? std::nullopt  // the last line has no next line
                                   : count_at_line_start(text, end.next_start);
            if (count) return *count;
        }
        if (end.next_start == std::string_view::npos) break;
        from = end.next_start;
    }
    return value_error("Group '" + std::string(group_name) + "' count not found in '" +
                       std::string(log_path) + "'");
}

Result<std::uint64_t> read_group_count(std::string_view log_path, std::string_view group_name) {
    Result<FileText> text = read_text_file(log_path);
    if (!text) return std::move(text).error();
    return read_group_count_text(text.value().view(), log_path, group_name);
}

}  // namespace zorv::readers
