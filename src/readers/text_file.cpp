#include "readers/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <system_error>

#include "readers/huge_pages.hpp"
#include "readers/utf8_check.hpp"

namespace zorv::readers {
namespace {

// The system's description and code, as "No such file or directory (os error 2)".
std::string os_error_text(int code) {
    return std::system_category().message(code) + " (os error " + std::to_string(code) + ")";
}

// Closes the descriptor on every way out of the read.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Grows the buffer to new_capacity, keeping the first used bytes.
void grow(ByteBuffer& bytes, std::size_t used, std::size_t new_capacity) {
    ByteBuffer bigger = allocate_bytes(new_capacity);
    if (used != 0) std::memcpy(bigger.get(), bytes.get(), used);
    bytes = std::move(bigger);
}

// Reads to end of file; the reported size is only the first guess, since a
// file may grow meanwhile or report no size at all (as /proc files do).
// Returns 0 or the errno of the failed read.
int read_all(int fd, std::size_t size_hint, ByteBuffer& bytes, std::size_t& used) {
    std::size_t capacity = size_hint + 1;  // one spare byte tells end of file without a regrow
    bytes = allocate_bytes(capacity);
    used = 0;
    for (;;) {
        if (used == capacity) {
            capacity = capacity < 4096 ? 8192 : capacity * 2;
            grow(bytes, used, capacity);
        }
        const std::size_t want = std::min<std::size_t>(capacity - used, std::size_t{1} << 30);
        const ssize_t got = ::read(fd, bytes.get() + used, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        used += static_cast<std::size_t>(got);
    }
}

}  // namespace

void FreeBytes::operator()(char* bytes) const noexcept { std::free(bytes); }

// Large files are read into huge pages where the system allows it.
ByteBuffer allocate_bytes(std::size_t size) {
    void* bytes = nullptr;
    if (size >= kHugePage && size <= std::numeric_limits<std::size_t>::max() - kHugePage) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        bytes = std::aligned_alloc(kHugePage, rounded);
        if (bytes != nullptr) advise_huge_pages(bytes, rounded);
    } else {
        bytes = std::malloc(size == 0 ? 1 : size);
    }
    if (bytes == nullptr) throw std::bad_alloc();
    return ByteBuffer(static_cast<char*>(bytes));
}

CallError read_failure(std::string_view path, std::string_view text) {
    std::string message;
    message.reserve(path.size() + 2 + text.size());
    message.append(path).append(": ").append(text);
    return os_error(std::move(message));
}

Result<FileText> read_file_bytes(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return read_failure(path, kNulInPathText);
    try {
        const std::string c_path(path);
        FileDescriptor file{::open(c_path.c_str(), O_RDONLY | O_CLOEXEC)};
        if (file.fd < 0) return read_failure(path, os_error_text(errno));
        struct stat info {};
        std::size_t size_hint = 0;
        if (::fstat(file.fd, &info) == 0 && info.st_size > 0) {
            size_hint = static_cast<std::size_t>(info.st_size);
        }
        ByteBuffer bytes;
        std::size_t used = 0;
        if (const int code = read_all(file.fd, size_hint, bytes, used); code != 0) {
            return read_failure(path, os_error_text(code));
        }
        return FileText(std::move(bytes), used);
    } catch (const std::bad_alloc&) {
        return read_failure(path, "out of memory");
    }
}

Result<FileText> read_text_file(std::string_view path) {
    Result<FileText> read = read_file_bytes(path);
    if (read.ok() && !is_well_formed_utf8(read.value().view())) {
        return read_failure(path, kInvalidUtf8Text);
    }
    return read;
}

}  // namespace zorv::readers
