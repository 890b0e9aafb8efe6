#pragma once
// Band compressor with soft clipper, and the peak limiter on the band sum.
//
//   band ─► power env ─► 10·log10 ─► hard-knee gr ─► gain smoother ─► ×10^(g/20) ─► c·tanh(x/c) ─►
//                                                                         (compressor)   (clipper)
//
//   Σ bands ─► peak ─► instant-attack / 200 ms release gain ─► × gain   (no look-ahead)
#include "settings/bands.hpp"

namespace velmora {

// The compressor state of one band; six exist whatever the active band count.
struct BandState {
  float env = 0.0f;      // smoothed power L² + R²
  float gain_db = 0.0f;  // smoothed gain, make-up included
  float attack_coeff = 0.0f;
  float release_coeff = 0.0f;

  static BandState from_config(const BandConfig& band, float sample_rate) noexcept;
  // New time coefficients; envelope and gain carry on.
  void set_times(const BandConfig& band, float sample_rate) noexcept;
};

// A band's settings as the frame loop reads them, worked out once per buffer.
struct BandParams {
  bool enabled = false;
  float threshold_db = 0.0f;
  float slope = 0.0f;  // 1 - 1/ratio; a ratio below 1 counts as 1 (no reduction)
  float makeup_db = 0.0f;
  bool clip = false;
  float ceiling = 1.0f;  // 10^(clip_level_db / 20), never below 1e-10

  static BandParams from_config(const BandConfig& band) noexcept;
};

// One frame of one band, in place: compressor (if enabled), then clipper (if on).
// Returns the gain reduction in dB (0 or below; 0 for a disabled band).
float process_band(BandState& st, const BandParams& p, float& l, float& r) noexcept;

struct Limiter {
  float sample_rate = 0.0f;
  float gain = 1.0f;
  float release_coeff = 0.0f;
  float threshold = 1.0f;  // linear ceiling

  Limiter(float sample_rate, float threshold_db) noexcept;
  void set_threshold(float threshold_db) noexcept;

  // Gain from this frame's peak, applied to this same frame.
  void process(float& l, float& r) noexcept {
    const float al = l < 0.0f ? -l : l;
    const float ar = r < 0.0f ? -r : r;
    const float peak = al > ar ? al : ar;
    const float target = peak > threshold ? threshold / peak : 1.0f;
    if (gain > target) {
      gain = target;
    } else {
      gain = target * (1.0f - release_coeff) + gain * release_coeff;
    }
    l *= gain;
    r *= gain;
  }
};

}  // namespace velmora
