#pragma once
// The six band compressors side by side, one lane per band (lanes 6 and 7 idle),
// run over a block of frames at a time:
//
//   band rows [frame][lane] ─► compressor + clipper per lane ─► Σ lanes < active ─► sum per frame
//
// The envelope and gain smoothers are recursive in time but independent across
// bands, so a kernel may work on all lanes at once. Kernels are picked at run
// time from what the processor offers; all of them follow process_band.
#include <array>
#include <cstddef>
#include <cstdint>

#include "audio/dynamics.hpp"

namespace velmora {

inline constexpr std::size_t kLanes = 8;
inline constexpr std::size_t kBlockFrames = 64;

struct alignas(32) LaneRow {
  float v[kLanes];
};

struct alignas(32) BandBank {
  // Settings of the current buffer.
  float threshold_db[kLanes];
  float slope[kLanes];
  float makeup_db[kLanes];
  float ceiling[kLanes];
  float attack[kLanes];
  float release[kLanes];
  std::uint32_t compress[kLanes];  // all ones: active and enabled
  std::uint32_t clip[kLanes];      // all ones: active and clipping
  std::size_t active = 0;
  // Recursive state, copied in and out of the six BandState once per buffer.
  float env[kLanes];
  float gain_db[kLanes];
  // Sums of the current buffer for the band meters: (|L| + |R|) / 2 and |gr|.
  float level_sum[kLanes];
  float gr_sum[kLanes];

  // Start of a buffer: settings, states and zeroed sums. Idle lanes hold neutral values.
  void load(const std::array<BandState, 6>& states, const std::array<BandParams, 6>& params,
            std::size_t active_count) noexcept;
  // End of a buffer: envelopes and gains back into the states.
  void store(std::array<BandState, 6>& states) const noexcept;
};

// Runs `frames` (at most kBlockFrames) rows through the active bands and writes
// the band sum of each frame into sum_l / sum_r.
using BandKernel = void (*)(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r,
                            float* sum_l, float* sum_r, std::size_t frames) noexcept;

enum class KernelKind { Scalar, Sse2, Avx2 };

bool kernel_available(KernelKind kind) noexcept;
// The fastest kernel this processor runs.
KernelKind best_kernel() noexcept;
// The kernel of that kind; an unavailable kind gives the scalar one.
BandKernel band_kernel(KernelKind kind) noexcept;

}  // namespace velmora
