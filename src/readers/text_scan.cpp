#include "readers/text_scan.hpp"

#include <array>
#include <cstring>

namespace zorv::readers {
namespace {

// Byte classes: 0 token byte, 1 ASCII white space, 2 lead byte of a possible
// multi-byte white-space character (U+0085 and up).
constexpr std::array<unsigned char, 256> kByteClass = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned b = 0x09; b <= 0x0D; ++b) table[b] = 1;
    table[0x20] = 1;
    table[0xC2] = table[0xE1] = table[0xE2] = table[0xE3] = 2;
    return table;
}();

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

}  // namespace

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

std::size_t white_space_length(const char* p, const char* end) noexcept {
    if (p >= end) return 0;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    switch (kByteClass[*u]) {
        case 1: return 1;
        case 2: return multibyte_white_space_length(u, static_cast<std::size_t>(end - p));
        default: return 0;
    }
}

std::string_view trim_leading_white_space(std::string_view text) noexcept {
    const char* p = text.data();
    const char* end = p + text.size();
    while (const std::size_t n = white_space_length(p, end)) p += n;
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
    while (const std::size_t n = white_space_length(p_, end_)) p_ += n;
    if (p_ == end_) return false;
    const char* start = p_;
    while (p_ != end_) {
        const unsigned char byte_class = kByteClass[static_cast<unsigned char>(*p_)];
        if (byte_class == 0) {
            ++p_;
        } else if (byte_class == 1 || white_space_length(p_, end_) != 0) {
            break;
        } else {
            ++p_;
        }
    }
    token = std::string_view(start, static_cast<std::size_t>(p_ - start));
    return true;
}

std::vector<std::string_view> split_tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    TokenCursor cursor(line);
    for (std::string_view token; cursor.next(token);) tokens.push_back(token);
    return tokens;
}

}  // namespace zorv::readers
