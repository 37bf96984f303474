// Lines, white space, cleaned lines and tokens of input text.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zorv::readers {

// Walks the lines of a text in order: each piece up to a line feed, without
// it and without one carriage return right before it. A last piece with no
// line feed is a line when not empty and keeps a final carriage return.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) noexcept : text_(text) {}
    bool next(std::string_view& line) noexcept;
    // The text not yet handed out, starting at the next line.
    std::string_view rest() const noexcept { return text_.substr(pos_); }
    // One past the text's last byte: every line handed out lies before it.
    const char* text_end() const noexcept { return text_.data() + text_.size(); }
    // Where the next line starts, and a move to a later line start read by other means.
    const char* position() const noexcept { return text_.data() + pos_; }
    void move_to(const char* line_start) noexcept { pos_ = static_cast<std::size_t>(line_start - text_.data()); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::vector<std::string_view> split_lines(std::string_view text);

// Unicode White_Space; U+FEFF is not part of it.
bool is_white_space(char32_t code_point) noexcept;

namespace scan_detail {

// Byte classes: 0 token byte, 1 ASCII white space, 2 lead byte of a possible
// multi-byte white-space character (U+0085 and up).
inline constexpr std::array<unsigned char, 256> kByteClass = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned b = 0x09; b <= 0x0D; ++b) table[b] = 1;
    table[0x20] = 1;
    table[0xC2] = table[0xE1] = table[0xE2] = table[0xE3] = 2;
    return table;
}();

std::size_t multibyte_white_space_length(const unsigned char* p, std::size_t left) noexcept;

}  // namespace scan_detail

// Bytes of the white-space character encoded at p, or 0 when there is none.
// Inline: the table row answers every ASCII byte, which is nearly every byte.
inline std::size_t white_space_length(const char* p, const char* end) noexcept {
    if (p >= end) return 0;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    const unsigned byte_class = scan_detail::kByteClass[*u];
    if (byte_class < 2) return byte_class;
    return scan_detail::multibyte_white_space_length(u, static_cast<std::size_t>(end - p));
}

inline const char* skip_white_space(const char* p, const char* end) noexcept {
    while (const std::size_t n = white_space_length(p, end)) p += n;
    return p;
}

std::string_view trim_leading_white_space(std::string_view text) noexcept;

// Without every "#", tabs made blanks, leading white space removed.
std::string clean_line(std::string_view line);

// Walks the maximal runs of non-white-space characters of a line.
class TokenCursor {
public:
    explicit TokenCursor(std::string_view line) noexcept
        : p_(line.data()), end_(line.data() + line.size()) {}
    bool next(std::string_view& token) noexcept;

private:
    const char* p_;
    const char* end_;
};

std::vector<std::string_view> split_tokens(std::string_view line);

}  // namespace zorv::readers
