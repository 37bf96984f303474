// Reading a whole input file into memory as checked UTF-8 text.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

#include "common/call_error.hpp"

namespace zorv::readers {

struct FreeBytes {
    void operator()(char* bytes) const noexcept;
};
using ByteBuffer = std::unique_ptr<char[], FreeBytes>;

// Uninitialised storage for size bytes; throws std::bad_alloc.
ByteBuffer allocate_bytes(std::size_t size);

// The bytes of one file, owned by the call that read it. Left uninitialised
// before the read, so a large file is written once, not zeroed first.
class FileText {
public:
    FileText() = default;
    FileText(ByteBuffer bytes, std::size_t size)
        : bytes_(std::move(bytes)), size_(size) {}
    std::string_view view() const noexcept { return {bytes_.get(), size_}; }

private:
    ByteBuffer bytes_;
    std::size_t size_ = 0;
};

// Error text of a path the operating system cannot take.
inline constexpr std::string_view kNulInPathText = "path contains a NUL character";
inline constexpr std::string_view kInvalidUtf8Text = "stream did not contain valid UTF-8";

// All bytes of the named file. Fails with an OSError whose message is the
// path, ": " and the system's description and code, "out of memory", or
// kNulInPathText.
Result<FileText> read_file_bytes(std::string_view path);

// read_file_bytes, then the UTF-8 check over the whole content.
Result<FileText> read_text_file(std::string_view path);

// The OSError of a failed read, in the one form all readers share.
CallError read_failure(std::string_view path, std::string_view text);

}  // namespace zorv::readers
