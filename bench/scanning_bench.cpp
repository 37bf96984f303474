// Throughput of the UTF-8 check, the line split and the row scan on 1 GB of
// table text held in memory, each beside a peer on the same bytes: memcpy
// (memory bandwidth), std::count of line feeds, and std::from_chars over the
// same tokens found by a plain blank split. Prints GB/s and ratios.
//
//   tools/bench.sh runs it with the others; or by hand:
//   g++ -std=c++20 -O2 -ffp-contract=off -Isrc bench/scanning_bench.cpp src/readers/*.cpp -o build/scanning_bench
//   build/scanning_bench [MB]
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "readers/column_accumulator.hpp"
#include "readers/text_scan.hpp"
#include "readers/utf8_check.hpp"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double seconds(F&& run) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

std::string table_text(std::size_t bytes) {
    std::string text = "# MSD\n#Time a b c d e\n";
    char line[160];
    for (long i = 0; text.size() < bytes; ++i) {
        const double t = 0.5 * double(i + 1);
        const int n = std::snprintf(line, sizeof line, "%.6e %.6e %.6e %.5E %.8e %.6e\n", t, 1.3e-4 * t,
                                    2.1e-4 * t + 0.3, -1.7e-6 * double(i), t * 1e-3, double(i % 977) * 1.25e-3);
        text.append(line, std::size_t(n));
    }
    return text;
}

// A readable line, and the bench-row line bench/run_all.py gathers; the
// target, where there is one, is a rate in GB/s.
void report(const char* what, double gb, double ours, const char* peer, double theirs, double target) {
    std::printf("  %-22s %6.2f GB/s   %-30s %6.2f GB/s   ratio %.2f\n", what, gb / ours, peer, gb / theirs,
                theirs / ours);
    char target_text[32] = "none";
    if (target > 0) std::snprintf(target_text, sizeof target_text, ">= %.0f GB/s", target);
    std::printf("bench-row {\"function\": \"%s\", \"workload\": \"%.2f GB of table text\", "
                "\"time\": \"%.3f s (%.2f GB/s)\", \"peer\": \"%s %.3f s\", \"ratio\": \"%.2f\", "
                "\"target\": \"%s\", \"verdict\": \"%s\"}\n",
                what, gb, ours, gb / ours, peer, theirs, theirs / ours, target_text,
                target <= 0 || gb / ours >= target ? "pass" : "fall short");
}

volatile std::size_t sink;

}  // namespace

int main(int argc, char** argv) {
    const std::size_t bytes = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) << 20;
    const std::string text = table_text(bytes);
    const double gb = double(text.size()) / 1e9;
    std::printf("%.2f GB of table text in memory\n", gb);
    std::vector<char> copy(text.size());

    const double check = seconds([&] { sink = zorv::readers::is_well_formed_utf8(text); });
    const double copying = seconds([&] { std::memcpy(copy.data(), text.data(), text.size()); sink = copy[7]; });
    report("UTF-8 check", gb, check, "memcpy", copying, 1.0);

    const double lines = seconds([&] {
        zorv::readers::LineCursor cursor(text);
        std::size_t n = 0;
        for (std::string_view line; cursor.next(line);) ++n;
        sink = n;
    });
    const double feeds = seconds([&] { sink = std::size_t(std::count(text.begin(), text.end(), '\n')); });
    report("line split", gb, lines, "std::count of line feeds", feeds, 1.0);

    const std::string_view body = std::string_view(text).substr(text.find("\n#Time") + 1);
    const std::size_t header_end = body.find('\n');
    const double rows = seconds([&] {
        auto table = zorv::readers::read_columns(body.substr(0, header_end), body.substr(header_end + 1),
                                                 zorv::readers::DataLines::cleaned);
        sink = table.columns[0].second.size();
    });
    const double conversions = seconds([&] {
        double sum = 0;
        const char* p = text.data();
        const char* end = p + text.size();
        while (p < end) {
            const char* stop = p;
            while (stop < end && *stop != ' ' && *stop != '\n') ++stop;
            double v = 0;
            std::from_chars(p, stop, v);
            sum += v;
            p = stop + 1;
        }
        sink = std::size_t(sum);
    });
    report("rows to columns", gb, rows, "blank split + from_chars", conversions, 0.0);
}
