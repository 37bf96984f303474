#include "readers/text_scan.hpp"

#include <array>
#include <cstring>

namespace zorv::readers {
namespace scan_detail {

// Length of the multi-byte white-space character at p (lead byte class 2).
std::size_t multibyte_white_space_length(const unsigned char* p, std::size_t left) noexcept {
    if (p[0] == 0xC2) return left >= 2 && (p[1] == 0x85 || p[1] == 0xA0) ? 2 : 0;
    if (left < 3) return 0;
    const unsigned b1 = p[1];
    const unsigned b2 = p[2];
    switch (p[0]) {
        case 0xE1: return b1 == 0x9A && b2 == 0x80 ? 3 : 0;                        // U+1680
        case 0xE3: return b1 == 0x80 && b2 == 0x80 ? 3 : 0;                        // U+3000
        case 0xE2:
            if (b1 == 0x80) {
                const bool hit = b2 <= 0x8A ? b2 >= 0x80                           // U+2000..200A
                                            : (b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF);
                return hit ? 3 : 0;
            }
            return b1 == 0x81 && b2 == 0x9F ? 3 : 0;                               // U+205F
        default: return 0;
    }
}

}  // namespace scan_detail

using scan_detail::kByteClass;
using scan_detail::multibyte_white_space_length;

bool LineCursor::next(std::string_view& line) noexcept {
    if (pos_ >= text_.size()) return false;
    const char* start = text_.data() + pos_;
    const std::size_t left = text_.size() - pos_;
    const void* feed = std::memchr(start, '\n', left);
    if (feed == nullptr) {
        line = std::string_view(start, left);
        pos_ = text_.size();
        return true;
    }
    std::size_t length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
    pos_ += length + 1;
    if (length != 0 && start[length - 1] == '\r') --length;
    line = std::string_view(start, length);
    return true;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    LineCursor cursor(text);
    for (std::string_view line; cursor.next(line);) lines.push_back(line);
    return lines;
}

bool is_white_space(char32_t c) noexcept {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::string_view trim_leading_white_space(std::string_view text) noexcept {
    const char* p = skip_white_space(text.data(), text.data() + text.size());
    return text.substr(static_cast<std::size_t>(p - text.data()));
}

std::string clean_line(std::string_view line) {
    std::string cleaned;
    cleaned.reserve(line.size());
    for (const char c : line) {
        if (c == '#') continue;
        cleaned.push_back(c == '\t' ? ' ' : c);
    }
    cleaned.erase(0, cleaned.size() - trim_leading_white_space(cleaned).size());
    return cleaned;
}

bool TokenCursor::next(std::string_view& token) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(p_);
    const auto* end = reinterpret_cast<const unsigned char*>(end_);
    // Skip white space; the table settles every ASCII byte at once.
    for (;;) {
        while (p != end && kByteClass[*p] == 1) ++p;
        if (p == end || kByteClass[*p] == 0) break;
        const std::size_t n = multibyte_white_space_length(p, static_cast<std::size_t>(end - p));
        if (n == 0) break;
        p += n;
    }
    if (p == end) {
        p_ = end_;
        return false;
    }
    const auto* start = p;
    for (;;) {
        while (p != end && kByteClass[*p] == 0) ++p;
        if (p == end || kByteClass[*p] == 1) break;
        if (multibyte_white_space_length(p, static_cast<std::size_t>(end - p)) != 0) break;
        ++p;
    }
    token = std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
    p_ = reinterpret_cast<const char*>(p);
    return true;
}

std::vector<std::string_view> split_tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    TokenCursor cursor(line);
    for (std::string_view token; cursor.next(token);) tokens.push_back(token);
    return tokens;
}

}  // namespace zorv::readers
