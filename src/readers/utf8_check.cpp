#include "readers/utf8_check.hpp"

#include <cstdint>
#include <cstring>

namespace zorv::readers {
namespace {

bool in_range(unsigned char byte, unsigned lo, unsigned hi) noexcept {
    return byte >= lo && byte <= hi;
}

// Length of the well-formed sequence starting with a non-ASCII byte at p,
// or 0 when it is ill-formed (the table of well-formed byte sequences).
std::size_t sequence_length(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned lead = p[0];
    const std::size_t left = static_cast<std::size_t>(end - p);
    if (in_range(p[0], 0xC2, 0xDF)) {
        return left >= 2 && in_range(p[1], 0x80, 0xBF) ? 2 : 0;
    }
    if (in_range(p[0], 0xE0, 0xEF)) {
        if (left < 3 || !in_range(p[2], 0x80, 0xBF)) return 0;
        const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong form
        const unsigned hi = lead == 0xED ? 0x9F : 0xBF;  // no surrogate
        return in_range(p[1], lo, hi) ? 3 : 0;
    }
    if (in_range(p[0], 0xF0, 0xF4)) {
        if (left < 4 || !in_range(p[2], 0x80, 0xBF) || !in_range(p[3], 0x80, 0xBF)) return 0;
        const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;  // no overlong form
        const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
        return in_range(p[1], lo, hi) ? 4 : 0;
    }
    return 0;  // a stray continuation byte, C0, C1 or F5..FF
}

// Skips whole 16-byte blocks of ASCII; most input files are nothing else.
const unsigned char* skip_ascii_blocks(const unsigned char* p, const unsigned char* end) noexcept {
    constexpr std::uint64_t high_bits = 0x8080808080808080u;
    while (end - p >= 16) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, p, 8);
        std::memcpy(&b, p + 8, 8);
        if (((a | b) & high_bits) != 0) break;
        p += 16;
    }
    return p;
}

}  // namespace

bool is_well_formed_utf8(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        p = skip_ascii_blocks(p, end);
        if (p == end) break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const std::size_t n = sequence_length(p, end);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

}  // namespace zorv::readers
