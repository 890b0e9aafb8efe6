#include "audio/band_bank.hpp"

namespace velmora {

namespace {

constexpr std::uint32_t kAll = 0xffffffffu;

}  // namespace

void BandBank::load(const std::array<BandState, kMaxBands>& states, const std::array<BandParams, kMaxBands>& params,
                    std::size_t active_count) noexcept {
  active = active_count;
  for (std::size_t b = 0; b < kLanes; ++b) {
    const bool on = b < active_count;
    const BandParams p = b < kMaxBands ? params[b] : BandParams{};
    const BandState s = b < kMaxBands ? states[b] : BandState{};
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

void BandBank::store(std::array<BandState, kMaxBands>& states) const noexcept {
  for (std::size_t b = 0; b < kMaxBands; ++b) {
    states[b].env = env[b];
    states[b].gain_db = gain_db[b];
  }
}

}  // namespace velmora
