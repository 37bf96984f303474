#include "readers/huge_pages.hpp"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>

namespace zorv::readers {
namespace {

std::atomic<bool> advice_on{true};

}  // namespace

void set_huge_page_advice(bool on) noexcept { advice_on.store(on, std::memory_order_relaxed); }

void advise_huge_pages(void* data, std::size_t bytes) noexcept {
    if (!advice_on.load(std::memory_order_relaxed)) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (bytes >= kHugePage && first < last) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace zorv::readers
