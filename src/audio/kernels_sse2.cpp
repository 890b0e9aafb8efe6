// The vector kernels on SSE2, part of every x86-64 processor: two f64 lanes for
// the crossover, four f32 lanes (two groups) for the bands. SLEEF picks its best
// four-lane form of each maths function for the processor at run time.
#if defined(__x86_64__)
#include <emmintrin.h>
#include <sleef.h>

#include "audio/band_simd.hpp"
#include "audio/crossover_simd.hpp"
#include "audio/kernels.hpp"

namespace velmora {

namespace {

struct D2 {
  static constexpr std::size_t kWidth = 2;
  __m128d v;

  static D2 load(const double* p) noexcept { return {_mm_load_pd(p)}; }
  static void store(double* p, D2 a) noexcept { _mm_store_pd(p, a.v); }
  static D2 from_pair(float l, float r) noexcept { return {_mm_cvtps_pd(_mm_setr_ps(l, r, 0.0f, 0.0f))}; }
  // Group 0 holds the low outputs, group 1 the high ones.
  static void to_floats(const D2 (&g)[2], float* o) noexcept {
    _mm_store_ps(o, _mm_movelh_ps(_mm_cvtpd_ps(g[0].v), _mm_cvtpd_ps(g[1].v)));
  }
  D2 operator+(D2 b) const noexcept { return {_mm_add_pd(v, b.v)}; }
  D2 operator-(D2 b) const noexcept { return {_mm_sub_pd(v, b.v)}; }
  D2 operator*(D2 b) const noexcept { return {_mm_mul_pd(v, b.v)}; }
};

struct V4 {
  static constexpr std::size_t kWidth = 4;
  __m128 v;

  static V4 load(const float* p) noexcept { return {_mm_load_ps(p)}; }
  static V4 load_mask(const std::uint32_t* p) noexcept {
    return {_mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(p)))};
  }
  static void store(float* p, V4 a) noexcept { _mm_store_ps(p, a.v); }
  static V4 splat(float x) noexcept { return {_mm_set1_ps(x)}; }
  V4 operator+(V4 b) const noexcept { return {_mm_add_ps(v, b.v)}; }
  V4 operator-(V4 b) const noexcept { return {_mm_sub_ps(v, b.v)}; }
  V4 operator*(V4 b) const noexcept { return {_mm_mul_ps(v, b.v)}; }
  V4 operator/(V4 b) const noexcept { return {_mm_div_ps(v, b.v)}; }
  static V4 lt(V4 a, V4 b) noexcept { return {_mm_cmplt_ps(a.v, b.v)}; }
  static V4 gt(V4 a, V4 b) noexcept { return {_mm_cmpgt_ps(a.v, b.v)}; }
  static V4 select(V4 m, V4 a, V4 b) noexcept { return {_mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v))}; }
  static V4 abs(V4 a) noexcept { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }
  static V4 log10(V4 a) noexcept { return {Sleef_log10f4_u10(a.v)}; }
  static V4 exp10(V4 a) noexcept { return {Sleef_exp10f4_u10(a.v)}; }
  static V4 tanh(V4 a) noexcept { return {Sleef_tanhf4_u35(a.v)}; }
};

void split(Crossover& x, float* xl, float* xr, std::size_t frames, LaneRow* band_l, LaneRow* band_r) noexcept {
  simd::run_split_block<D2>(x, xl, xr, frames, band_l, band_r);
}

void bands(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r, float* sum_l, float* sum_r,
           std::size_t frames) noexcept {
  simd::run_band_block<V4>(bank, band_l, band_r, sum_l, sum_r, frames);
}

}  // namespace

Kernels sse2_kernels() noexcept { return {split, bands}; }

}  // namespace velmora
#endif
