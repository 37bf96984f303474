// The peer of the series readers: the file read into memory and every token
// of every row converted with std::from_chars into one column per field, no
// checks beyond that. Prints the least of N times in seconds and a sum of
// the values so the work cannot be left out.
//
//   c++ -std=c++20 -O2 bench/series_read_peer.cpp -o series_read_peer
//   series_read_peer FILE [REPEATS]
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<char> read_all(const char* path) {
    std::vector<char> bytes;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) std::exit(2);
    std::fseek(file, 0, SEEK_END);
    bytes.resize(static_cast<std::size_t>(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::exit(2);
    std::fclose(file);
    return bytes;
}

// Lines opening with '#' or '@' are skipped; every other token is a number.
std::vector<std::vector<double>> convert(const std::vector<char>& bytes) {
    std::vector<std::vector<double>> columns;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    const std::size_t rows = static_cast<std::size_t>(std::count(p, end, '\n'));
    while (p != end) {
        const char* line_end = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (line_end == nullptr) line_end = end;
        if (*p != '#' && *p != '@') {
            std::size_t k = 0;
            for (const char* q = p; q != line_end; ++k) {
                while (q != line_end && (*q == ' ' || *q == '\t' || *q == '\r')) ++q;
                if (q == line_end) break;
                double value = 0.0;
                q = std::from_chars(q, line_end, value).ptr;
                if (k == columns.size()) columns.emplace_back().reserve(rows);
                columns[k].push_back(value);
            }
        }
        p = line_end == end ? end : line_end + 1;
    }
    return columns;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    double best = 1e30;
    double sum = 0.0;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<std::vector<double>> columns = convert(read_all(argv[1]));
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        sum = 0.0;
        for (const auto& column : columns) sum += column.empty() ? 0.0 : column.back();
    }
    std::printf("%.6f %.17g\n", best, sum);
    return 0;
}
