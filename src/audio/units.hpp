#pragma once
// Unit conversions of the processing chain, single precision throughout.
//
// Settings arrive unchecked (a hand-edited "config.json" can hold anything), so
// every conversion here keeps its result finite and in a range where the
// recursive filter, envelope and limiter states stay finite too: one bad value
// may sound odd for as long as it is set, but never poisons a state for good.
#include <cmath>

namespace velmora {

// dB settings are held within ±200 dB (gains of 1e-10 … 1e10), far outside every
// control's range but well short of where a square of a boosted sample overflows.
inline constexpr float kDbLimit = 200.0f;
// The same bound for a setting that is already a linear level.
inline constexpr float kLinearLimit = 1e10f;

// NaN counts as the low end.
constexpr float bound_db(float db) noexcept {
  return db > kDbLimit ? kDbLimit : (db >= -kDbLimit ? db : -kDbLimit);
}

// NaN counts as 0.
constexpr float bound_linear(float v) noexcept {
  return v > kLinearLimit ? kLinearLimit : (v >= -kLinearLimit ? v : (v < 0.0f ? -kLinearLimit : 0.0f));
}

// 10^(dB / 20), as a power with base 10.
inline float db_to_linear(float db) noexcept { return std::pow(10.0f, bound_db(db) / 20.0f); }

// One-pole coefficient of a time in ms: exp(-1 / ((ms × 0.001) × rate)). A time of
// zero or below (or NaN) gives 0, an immediate response, instead of a coefficient
// above 1 that would make the smoother grow without bound.
inline float time_coeff(float ms, float sample_rate) noexcept {
  const float c = std::exp(-1.0f / ((ms * 0.001f) * sample_rate));
  return (c >= 0.0f && c <= 1.0f) ? c : 0.0f;
}

}  // namespace velmora
