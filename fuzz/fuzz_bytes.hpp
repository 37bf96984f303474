// Turns a fuzzer's byte string into the native values a computation takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zorv::fuzz {

class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t remaining() const { return size_ - pos_; }

    // Missing bytes read as zero, so every input decodes to something.
    double next_double() {
        std::uint64_t bits = next_u64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    std::uint64_t next_u64() {
        std::uint64_t bits = 0;
        const std::size_t n = remaining() < 8 ? remaining() : 8;
        std::memcpy(&bits, data_ + pos_, n);
        pos_ += n;
        return bits;
    }

    std::uint8_t next_byte() { return remaining() ? data_[pos_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace zorv::fuzz
