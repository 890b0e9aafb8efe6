#pragma once
// The crossover over a block of frames, written once over an f64 lane-group type D
// (two or four lanes). Included only by the kernel sources. Per stage, the four
// paths low L, low R, high L, high R run side by side as lanes 0..3 (one group of
// four or two groups of two), stage after stage over the whole block:
//
//   xl, xr ─► [LP·LP | LP·LP | HP·HP | HP·HP] ─► lanes 0,1: band k;  lanes 2,3 ─► xl, xr of stage k+1
//
// Each lane does exactly what Biquad::process does, in the same order, so the
// results are bit for bit those of Crossover::process. D supplies: kWidth, load
// (from W doubles), store, +, -, *, and from_pair / to_floats for the f32 values
// between stages.
#include <cstddef>

#include "audio/crossover.hpp"
#include "audio/lanes.hpp"

namespace velmora::simd {

template <class D>
inline void run_split_block(Crossover& x, float* xl, float* xr, std::size_t frames, LaneRow* band_l,
                            LaneRow* band_r) noexcept {
  constexpr std::size_t W = D::kWidth;
  constexpr std::size_t G = 4 / W;
  struct Section {
    D b0, b1, b2, a1, a2, x1, x2, y1, y2;
  };
  std::size_t k = 0;
  for (Lr4Stage& st : x.stages) {
    Biquad* q[2][4] = {{&st.low_l[0], &st.low_r[0], &st.high_l[0], &st.high_r[0]},
                       {&st.low_l[1], &st.low_r[1], &st.high_l[1], &st.high_r[1]}};
    Section s[2][G];
    for (std::size_t j = 0; j < 2; ++j) {
      for (std::size_t g = 0; g < G; ++g) {
        auto pick = [&](double Biquad::*m) {
          alignas(32) double v[W];
          for (std::size_t i = 0; i < W; ++i) v[i] = q[j][g * W + i]->*m;
          return D::load(v);
        };
        s[j][g] = {pick(&Biquad::b0), pick(&Biquad::b1), pick(&Biquad::b2), pick(&Biquad::a1), pick(&Biquad::a2),
                   pick(&Biquad::x1), pick(&Biquad::x2), pick(&Biquad::y1), pick(&Biquad::y2)};
      }
    }
    for (std::size_t f = 0; f < frames; ++f) {
      const D in = D::from_pair(xl[f], xr[f]);
      D out[G];
      for (std::size_t g = 0; g < G; ++g) {
        D v = in;
        for (std::size_t j = 0; j < 2; ++j) {
          Section& c = s[j][g];
          const D y = c.b0 * v + c.b1 * c.x1 + c.b2 * c.x2 - c.a1 * c.y1 - c.a2 * c.y2;
          c.x2 = c.x1;
          c.x1 = v;
          c.y2 = c.y1;
          c.y1 = y;
          v = y;
        }
        out[g] = v;
      }
      alignas(16) float o[4];
      D::to_floats(out, o);
      band_l[f].v[k] = o[0];
      band_r[f].v[k] = o[1];
      xl[f] = o[2];
      xr[f] = o[3];
    }
    for (std::size_t j = 0; j < 2; ++j) {
      for (std::size_t g = 0; g < G; ++g) {
        alignas(32) double v[4][W];
        D::store(v[0], s[j][g].x1);
        D::store(v[1], s[j][g].x2);
        D::store(v[2], s[j][g].y1);
        D::store(v[3], s[j][g].y2);
        for (std::size_t i = 0; i < W; ++i) {
          Biquad& b = *q[j][g * W + i];
          b.x1 = v[0][i], b.x2 = v[1][i], b.y1 = v[2][i], b.y2 = v[3][i];
        }
      }
    }
    ++k;
  }
  const std::size_t last = x.num_bands - 1;
  for (std::size_t f = 0; f < frames; ++f) {
    band_l[f].v[last] = xl[f];
    band_r[f].v[last] = xr[f];
  }
}

}  // namespace velmora::simd
