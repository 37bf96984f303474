// Several consecutive starts of the window search advanced side by side.
#pragma once

#include <cstdint>
#include <vector>

#include "transport/msd_window_sums.hpp"

namespace zorv::transport::detail {

inline constexpr std::uint64_t kLanes = 8;

// Scans starts k0 .. k0 + kLanes - 1 over the lengths [min_window, common),
// where min_window < common and every start may use every such length. Each
// lane keeps its own sums in exactly the order a lone start would, so the
// results are the same bits. On return best[j] holds start k0 + j's best
// window and sums[j] the sums of its window of length common - 1.
void scan_lanes(const PointTerms& terms, std::uint64_t k0, std::uint64_t min_window,
                std::uint64_t common, SlopeBand band, MsdWindow best[kLanes],
                WindowSums sums[kLanes]);

// The instruction sets scan_lanes can use; it picks the widest the processor
// runs. All give the same bits.
enum class LaneKernel { baseline, avx2 };

std::vector<LaneKernel> available_lane_kernels();

void scan_lanes_with(LaneKernel kernel, const PointTerms& terms, std::uint64_t k0,
                     std::uint64_t min_window, std::uint64_t common, SlopeBand band,
                     MsdWindow best[kLanes], WindowSums sums[kLanes]);

}  // namespace zorv::transport::detail
