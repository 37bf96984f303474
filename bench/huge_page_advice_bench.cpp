// What asking for huge pages is worth to the readers: parse_zorv_file (1M
// rows x 6 columns, about 90 MB) and the analysis module's checked reader on
// the same file, with the madvise(MADV_HUGEPAGE) advice on and off, under the
// system's transparent-huge-page defrag setting (printed). Where the kernel
// compacts memory synchronously for advised regions, the advice can cost more
// than the page faults it saves; keep the advice only if it wins.
//
//   tools/bench.sh runs it with the others.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "readers/checked_table.hpp"
#include "readers/huge_pages.hpp"
#include "readers/transport_reader.hpp"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double seconds(F&& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string write_table() {
    const std::string path = "/tmp/zorv_huge_page_bench.dat";
    std::ofstream out(path);
    out << "# MSD\n#Time a b c d e\n";
    char line[200];
    for (long i = 1; i <= 1000000; ++i) {
        std::snprintf(line, sizeof line, "%ld %.10g %.10g %.10g %.10g %.10g\n", i * 10, i * 1.234567e-3,
                      i * 2.5e-4 + 1.0, 3.14159 / static_cast<double>(i), i * 7.77e-6, 1e3 - i * 1e-3);
        out << line;
    }
    return path;
}

std::string defrag_setting() {
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/defrag");
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const auto open = all.find('['), close = all.find(']');
    return open == std::string::npos || close == std::string::npos ? "unknown" : all.substr(open + 1, close - open - 1);
}

void row(const char* reader, const std::string& setting, double on, double off) {
    std::printf("bench-row {\"function\": \"%s\", \"workload\": \"1M rows x 6 (about 90 MB), THP defrag %s: "
                "huge-page advice on against off\", \"time\": \"%.1f ms\", \"peer\": \"advice off %.1f ms\", "
                "\"ratio\": \"%.2fx\", \"target\": \"<= 1.00x\", \"verdict\": \"%s\"}\n",
                reader, setting.c_str(), on * 1e3, off * 1e3, on / off, on <= off * 1.02 ? "pass" : "fall short");
}

}  // namespace

int main() {
    const std::string path = write_table();
    const std::string setting = defrag_setting();
    using namespace zorv::readers;
    const auto plain = [&] { (void)parse_zorv_file(path); };
    const auto checked = [&] { (void)read_checked_table(path, TableLayout::transport); };
    // Best of seven, the four cases interleaved so that each meets the same
    // load and the same state of the kernel's free memory.
    double times[2][2] = {{1e30, 1e30}, {1e30, 1e30}};
    for (int repeat = 0; repeat < 7; ++repeat) {
        for (int advice = 1; advice >= 0; --advice) {
            set_huge_page_advice(advice == 1);
            times[0][advice] = std::min(times[0][advice], seconds(plain));
            times[1][advice] = std::min(times[1][advice], seconds(checked));
        }
    }
    set_huge_page_advice(true);
    row("parse_zorv_file", setting, times[0][1], times[0][0]);
    row("_zorv_analysis.read_table", setting, times[1][1], times[1][0]);
    std::remove(path.c_str());
    return 0;
}
