// The vector kernels on AVX2: four f64 lanes for the crossover, eight f32 lanes (one
// per band) for the bands. Only this file is compiled for AVX2 and FMA, and
// kernels() hands its functions out only after a run-time check of the processor.
// Contraction into FMA is switched off so that every product and sum rounds as in
// the plain forms. The lane types use member operators, not friends, so that the
// target pragma reaches them. SLEEF's header declares its AVX2 functions only for
// whole-program AVX builds, so the three used here are declared below.
#if defined(__x86_64__)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "audio/kernels.hpp"

extern "C" {
__m256 Sleef_log10f8_u10avx2(__m256);
__m256 Sleef_exp10f8_u10avx2(__m256);
__m256 Sleef_tanhf8_u35avx2(__m256);
}

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#pragma GCC optimize("fp-contract=off")

#include "audio/band_simd.hpp"
#include "audio/crossover_simd.hpp"

namespace velmora {

namespace {

struct D4 {
  static constexpr std::size_t kWidth = 4;
  __m256d v;

  static D4 load(const double* p) noexcept { return {_mm256_load_pd(p)}; }
  static void store(double* p, D4 a) noexcept { _mm256_store_pd(p, a.v); }
  static D4 from_pair(float l, float r) noexcept { return {_mm256_cvtps_pd(_mm_setr_ps(l, r, l, r))}; }
  static void to_floats(const D4 (&g)[1], float* o) noexcept { _mm_store_ps(o, _mm256_cvtpd_ps(g[0].v)); }
  D4 operator+(D4 b) const noexcept { return {_mm256_add_pd(v, b.v)}; }
  D4 operator-(D4 b) const noexcept { return {_mm256_sub_pd(v, b.v)}; }
  D4 operator*(D4 b) const noexcept { return {_mm256_mul_pd(v, b.v)}; }
};

struct V8 {
  static constexpr std::size_t kWidth = 8;
  __m256 v;

  static V8 load(const float* p) noexcept { return {_mm256_load_ps(p)}; }
  static V8 load_mask(const std::uint32_t* p) noexcept {
    return {_mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(p)))};
  }
  static void store(float* p, V8 a) noexcept { _mm256_store_ps(p, a.v); }
  static V8 splat(float x) noexcept { return {_mm256_set1_ps(x)}; }
  V8 operator+(V8 b) const noexcept { return {_mm256_add_ps(v, b.v)}; }
  V8 operator-(V8 b) const noexcept { return {_mm256_sub_ps(v, b.v)}; }
  V8 operator*(V8 b) const noexcept { return {_mm256_mul_ps(v, b.v)}; }
  V8 operator/(V8 b) const noexcept { return {_mm256_div_ps(v, b.v)}; }
  static V8 lt(V8 a, V8 b) noexcept { return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)}; }
  static V8 gt(V8 a, V8 b) noexcept { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
  static V8 select(V8 m, V8 a, V8 b) noexcept { return {_mm256_blendv_ps(b.v, a.v, m.v)}; }
  static V8 abs(V8 a) noexcept { return {_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v)}; }
  static V8 log10(V8 a) noexcept { return {Sleef_log10f8_u10avx2(a.v)}; }
  static V8 exp10(V8 a) noexcept { return {Sleef_exp10f8_u10avx2(a.v)}; }
  static V8 tanh(V8 a) noexcept { return {Sleef_tanhf8_u35avx2(a.v)}; }
};

void split(Crossover& x, float* xl, float* xr, std::size_t frames, LaneRow* band_l, LaneRow* band_r) noexcept {
  simd::run_split_block<D4>(x, xl, xr, frames, band_l, band_r);
}

void bands(BandBank& bank, const LaneRow* band_l, const LaneRow* band_r, float* sum_l, float* sum_r,
           std::size_t frames) noexcept {
  simd::run_band_block<V8>(bank, band_l, band_r, sum_l, sum_r, frames);
}

}  // namespace

}  // namespace velmora

#pragma GCC pop_options

namespace velmora {

// Outside the AVX2 region: building the pair of pointers needs no AVX2.
Kernels avx2_kernels() noexcept { return {split, bands}; }

}  // namespace velmora
#endif
