// Asking for huge pages on large fresh buffers.
#pragma once

#include <cstddef>

namespace zorv::readers {

inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Advises huge pages for the whole 2 MiB pages inside [data, data + bytes).
// Writing a large fresh buffer otherwise costs a page fault per 4 KiB; where
// the system grants huge pages only on request this saves most of them. A
// mere hint: nothing changes where it is refused. Measured by
// bench/huge_page_advice_bench.cpp on a 90 MB table, the cases interleaved:
// with the kernel's defrag setting "madvise" (synchronous compaction for
// advised regions) both readers took 0.5-0.8 of their time without the
// advice, and with "defer" 0.86-0.94 of it, so the advice stays.
void advise_huge_pages(void* data, std::size_t bytes) noexcept;

// Turns the advice on (the default) or off for the whole process: lets a
// benchmark measure what it is worth under the system's defrag setting.
void set_huge_page_advice(bool on) noexcept;

}  // namespace zorv::readers
