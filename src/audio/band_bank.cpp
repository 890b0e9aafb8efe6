#include "audio/band_bank.hpp"

#include <cmath>

namespace velmora {

namespace {

constexpr std::uint32_t kAll = 0xffffffffu;

void scalar_kernel(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r, float* sum_l,
                   float* sum_r, std::size_t frames) noexcept {
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

void BandBank::load(const std::array<BandState, 6>& states, const std::array<BandParams, 6>& params,
                    std::size_t active_count) noexcept {
  active = active_count;
  for (std::size_t b = 0; b < kLanes; ++b) {
    const bool on = b < active_count;
    const BandParams p = b < 6 ? params[b] : BandParams{};
    const BandState s = b < 6 ? states[b] : BandState{};
    threshold_db[b] = p.threshold_db;
    slope[b] = p.slope;
    makeup_db[b] = p.makeup_db;
    ceiling[b] = p.ceiling;
    attack[b] = s.attack_coeff;
    release[b] = s.release_coeff;
    compress[b] = on && p.enabled ? kAll : 0u;
    clip[b] = on && p.clip ? kAll : 0u;
    env[b] = s.env;
    gain_db[b] = s.gain_db;
    level_sum[b] = 0.0f;
    gr_sum[b] = 0.0f;
  }
}

void BandBank::store(std::array<BandState, 6>& states) const noexcept {
  for (std::size_t b = 0; b < 6; ++b) {
    states[b].env = env[b];
    states[b].gain_db = gain_db[b];
  }
}

bool kernel_available(KernelKind kind) noexcept { return kind == KernelKind::Scalar; }

KernelKind best_kernel() noexcept { return KernelKind::Scalar; }

BandKernel band_kernel(KernelKind) noexcept { return scalar_kernel; }

}  // namespace velmora
