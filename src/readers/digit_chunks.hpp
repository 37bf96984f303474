// Runs of ASCII digits read eight bytes at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace zorv::readers::digit_chunks {

// Eight bytes at a time needs their first byte lowest in the word.
inline constexpr bool kEnabled = std::endian::native == std::endian::little;

inline constexpr std::uint64_t kZeros = 0x3030303030303030ULL;

// The eight bytes at p, each less '0'. A byte below '0' borrows from the
// bytes after it, but never from one before, so every digit up to the first
// non-digit reads as its value 0-9.
inline std::uint64_t load_less_zeros(const char* p) noexcept {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word - kZeros;
}

// How many of the eight bytes, from the first, are digits. A byte is a digit
// when its value v (less '0') is below 10: then neither v nor v + 0x76 sets
// the byte's top bit. Carries only run into later bytes, after the first
// non-digit.
inline unsigned leading_digits(std::uint64_t less_zeros) noexcept {
    const std::uint64_t flagged = ((less_zeros + 0x7676767676767676ULL) | less_zeros) & 0x8080808080808080ULL;
    return flagged == 0 ? 8U : static_cast<unsigned>(std::countr_zero(flagged)) / 8U;
}

// The integer the first `count` (1-8) digit values spell, first most
// significant: shifted up so the rest fall off and zeros lead, then pairs,
// fours and eights of digits combined by multiplication.
inline std::uint64_t digits_value(std::uint64_t less_zeros, unsigned count) noexcept {
    std::uint64_t v = less_zeros << (8U * (8U - count));
    v = v * 10U + (v >> 8U);
    constexpr std::uint64_t kMask = 0x000000FF000000FFULL;
    constexpr std::uint64_t kHundreds = 100ULL + (1000000ULL << 32U);
    constexpr std::uint64_t kUnits = 1ULL + (10000ULL << 32U);
    return (((v & kMask) * kHundreds) + (((v >> 16U) & kMask) * kUnits)) >> 32U;
}

inline constexpr std::uint64_t kPowersOfTen[] = {1ULL,      10ULL,      100ULL,      1000ULL,     10000ULL,
                                                 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL};

}  // namespace zorv::readers::digit_chunks
