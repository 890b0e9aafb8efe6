#pragma once
// The block kernels of the frame loop, in one plain form and two vector forms,
// picked at run time from what the processor offers:
//
//   xl, xr (after input gain) ─► split kernel ─► band rows ─► band kernel ─► Σ per frame
//
// The split kernel runs the crossover with the same f64 operations in the same
// order as Crossover::process, so every form gives the same bits. The band kernel's
// vector forms use SLEEF's maths functions and follow process_band to within a few
// units in the last place.
#include <cstddef>

#include "audio/band_bank.hpp"
#include "audio/crossover.hpp"
#include "audio/lanes.hpp"

namespace velmora {

// Splits `frames` (at most kBlockFrames) frames into band rows 0..num_bands-1;
// xl and xr are used as scratch.
using SplitKernel = void (*)(Crossover& x, float* xl, float* xr, std::size_t frames, LaneRow* band_l,
                             LaneRow* band_r) noexcept;

// Runs `frames` rows through the active bands and writes each frame's band sum.
using BandKernel = void (*)(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r, float* sum_l,
                            float* sum_r, std::size_t frames) noexcept;

struct Kernels {
  SplitKernel split;
  BandKernel bands;
};

enum class KernelKind { Scalar, Sse2, Avx2 };

bool kernel_available(KernelKind kind) noexcept;
// The fastest kind this processor runs.
KernelKind best_kernel() noexcept;
// The kernels of that kind; an unavailable kind gives the plain ones.
Kernels kernels(KernelKind kind) noexcept;

#if defined(__x86_64__)
// The vector forms themselves; kernels() checks the processor before handing them out.
Kernels sse2_kernels() noexcept;
Kernels avx2_kernels() noexcept;
#endif

}  // namespace velmora
