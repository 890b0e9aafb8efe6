#pragma once
// The band kernel written once over a lane-group type V (four or eight f32 lanes).
// Included only by the kernel sources, each of which supplies its V, compiled for
// its own instruction set. It follows process_band lane by lane:
//
//   per lane:  p = L² + R² ─► env ─► 10·log10 ─► gr ─► gain_db ─► ×10^(gain_db/20) ─► c·tanh(·/c)
//
// Lanes whose band is disabled (or idle) keep their state and pass L, R unchanged
// to the clipper; lanes whose clipper is off skip it. V supplies: kWidth, load,
// store, splat, +, -, *, /, lt, gt (masks), select, abs, log10, exp10, tanh.
#include <cstddef>

#include "audio/band_bank.hpp"

namespace velmora::simd {

template <class V>
inline void run_band_block(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r, float* sum_l,
                           float* sum_r, std::size_t frames) noexcept {
  constexpr std::size_t W = V::kWidth;
  constexpr std::size_t G = kLanes / W;
  V thr[G], slope[G], makeup[G], ceiling[G], att[G], rel[G], comp[G], clip[G];
  V env[G], gdb[G], lsum[G], gsum[G];
  for (std::size_t g = 0; g < G; ++g) {
    thr[g] = V::load(bank.threshold_db + g * W);
    slope[g] = V::load(bank.slope + g * W);
    makeup[g] = V::load(bank.makeup_db + g * W);
    ceiling[g] = V::load(bank.ceiling + g * W);
    att[g] = V::load(bank.attack + g * W);
    rel[g] = V::load(bank.release + g * W);
    comp[g] = V::load_mask(bank.compress + g * W);
    clip[g] = V::load_mask(bank.clip + g * W);
    env[g] = V::load(bank.env + g * W);
    gdb[g] = V::load(bank.gain_db + g * W);
    lsum[g] = V::load(bank.level_sum + g * W);
    gsum[g] = V::load(bank.gr_sum + g * W);
  }
  const V one = V::splat(1.0f), zero = V::splat(0.0f), ten = V::splat(10.0f), twenty = V::splat(20.0f),
          half = V::splat(0.5f), power_floor = V::splat(1e-12f);
  // Only the two smoothers are recursive; the maths functions run in passes of
  // their own over the block, so that consecutive frames can overlap.
  alignas(32) LaneRow level[kBlockFrames];
  alignas(32) LaneRow gain[kBlockFrames];

  for (std::size_t f = 0; f < frames; ++f) {  // envelope
    for (std::size_t g = 0; g < G; ++g) {
      const V l = V::load(band_l[f].v + g * W);
      const V r = V::load(band_r[f].v + g * W);
      const V p = l * l + r * r;
      const V c = V::select(V::lt(env[g], p), att[g], rel[g]);
      const V e = (one - c) * p + c * env[g];
      env[g] = V::select(comp[g], e, env[g]);
      V::store(level[f].v + g * W, e);
    }
  }
  for (std::size_t f = 0; f < frames; ++f) {
    for (std::size_t g = 0; g < G; ++g) {
      V::store(level[f].v + g * W, ten * V::log10(V::load(level[f].v + g * W) + power_floor));
    }
  }
  for (std::size_t f = 0; f < frames; ++f) {  // gain reduction and gain smoother
    for (std::size_t g = 0; g < G; ++g) {
      const V lv = V::load(level[f].v + g * W);
      const V gr = V::select(V::gt(lv, thr[g]), slope[g] * (thr[g] - lv), zero);
      const V target = makeup[g] + gr;
      const V c2 = V::select(V::lt(target, gdb[g]), att[g], rel[g]);
      const V gn = (one - c2) * target + c2 * gdb[g];
      gdb[g] = V::select(comp[g], gn, gdb[g]);
      gsum[g] = gsum[g] + V::abs(V::select(comp[g], gr, zero));
      V::store(gain[f].v + g * W, gn);
    }
  }
  const std::size_t active = bank.active;
  alignas(32) float out_l[kLanes];
  alignas(32) float out_r[kLanes];
  for (std::size_t f = 0; f < frames; ++f) {  // gain, clipper, sums
    for (std::size_t g = 0; g < G; ++g) {
      const V k = V::select(comp[g], V::exp10(V::load(gain[f].v + g * W) / twenty), one);
      V l = V::load(band_l[f].v + g * W) * k;
      V r = V::load(band_r[f].v + g * W) * k;
      l = V::select(clip[g], ceiling[g] * V::tanh(l / ceiling[g]), l);
      r = V::select(clip[g], ceiling[g] * V::tanh(r / ceiling[g]), r);
      lsum[g] = lsum[g] + (V::abs(l) + V::abs(r)) * half;
      V::store(out_l + g * W, l);
      V::store(out_r + g * W, r);
    }
    // Band order, as the plain sum adds them.
    float sl = 0.0f;
    float sr = 0.0f;
    for (std::size_t b = 0; b < active; ++b) {
      sl += out_l[b];
      sr += out_r[b];
    }
    sum_l[f] = sl;
    sum_r[f] = sr;
  }
  for (std::size_t g = 0; g < G; ++g) {
    V::store(bank.env + g * W, env[g]);
    V::store(bank.gain_db + g * W, gdb[g]);
    V::store(bank.level_sum + g * W, lsum[g]);
    V::store(bank.gr_sum + g * W, gsum[g]);
  }
}

}  // namespace velmora::simd
