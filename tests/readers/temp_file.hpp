// Files that reader tests write and remove again.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace zorv::readers::testing {

// A file with the given bytes in a fresh temporary directory, gone at scope end.
class TempFile {
public:
    explicit TempFile(std::string_view bytes, std::string_view name = "input.dat") {
        std::string pattern = "/tmp/zorv_readers_XXXXXX";
        dir_ = ::mkdtemp(pattern.data());
        path_ = dir_ + "/" + std::string(name);
        std::ofstream(path_, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() {
        ::unlink(path_.c_str());
        ::rmdir(dir_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::string path_;
};

}  // namespace zorv::readers::testing
