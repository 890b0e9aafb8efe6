#include "audio/kernels.hpp"

#include <array>
#include <cmath>

namespace velmora {

namespace {

void scalar_split(Crossover& x, float* xl, float* xr, std::size_t frames, LaneRow* band_l,
                  LaneRow* band_r) noexcept {
  for (std::size_t f = 0; f < frames; ++f) x.process(xl[f], xr[f], band_l[f].v, band_r[f].v);
}

void scalar_bands(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r, float* sum_l, float* sum_r,
                  std::size_t frames) noexcept {
  const std::size_t active = bank.active;
  std::array<BandState, kLanes> st{};
  std::array<BandParams, kLanes> par{};
  for (std::size_t b = 0; b < active; ++b) {
    st[b] = {bank.env[b], bank.gain_db[b], bank.attack[b], bank.release[b]};
    par[b].enabled = bank.compress[b] != 0;
    par[b].threshold_db = bank.threshold_db[b];
    par[b].slope = bank.slope[b];
    par[b].makeup_db = bank.makeup_db[b];
    par[b].clip = bank.clip[b] != 0;
    par[b].ceiling = bank.ceiling[b];
  }
  for (std::size_t f = 0; f < frames; ++f) {
    float sl = 0.0f;
    float sr = 0.0f;
    for (std::size_t b = 0; b < active; ++b) {
      float l = band_l[f].v[b];
      float r = band_r[f].v[b];
      const float gr = process_band(st[b], par[b], l, r);
      sl += l;
      sr += r;
      bank.level_sum[b] += (std::abs(l) + std::abs(r)) * 0.5f;
      bank.gr_sum[b] += std::abs(gr);
    }
    sum_l[f] = sl;
    sum_r[f] = sr;
  }
  for (std::size_t b = 0; b < active; ++b) {
    bank.env[b] = st[b].env;
    bank.gain_db[b] = st[b].gain_db;
  }
}

}  // namespace

bool kernel_available(KernelKind kind) noexcept {
  switch (kind) {
    case KernelKind::Scalar:
      return true;
#if defined(__x86_64__)
    case KernelKind::Sse2:
      return true;
    case KernelKind::Avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
    default:
      return false;
  }
}

KernelKind best_kernel() noexcept {
  for (KernelKind k : {KernelKind::Avx2, KernelKind::Sse2}) {
    if (kernel_available(k)) return k;
  }
  return KernelKind::Scalar;
}

Kernels kernels(KernelKind kind) noexcept {
  if (kernel_available(kind)) {
    switch (kind) {
#if defined(__x86_64__)
      case KernelKind::Sse2:
        return sse2_kernels();
      case KernelKind::Avx2:
        return avx2_kernels();
#endif
      default:
        break;
    }
  }
  return {scalar_split, scalar_bands};
}

}  // namespace velmora
