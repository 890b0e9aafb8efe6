#pragma once
// The block layout shared by the crossover and the band kernels: frames are
// processed in blocks of up to kBlockFrames, and each frame's band signals sit in
// one row of eight lanes, lane b = band b (lanes 6 and 7 idle).
#include <cstddef>

namespace velmora {

inline constexpr std::size_t kLanes = 8;
inline constexpr std::size_t kBlockFrames = 64;

struct alignas(32) LaneRow {
  float v[kLanes];
};

}  // namespace velmora
