#pragma once
// Stereo multiplex encoder for an FM transmitter.
//
//   L ─► pre-emphasis ─► yL ─┬─ (yL + yR)·0.45 ─────────────────────────┐
//   R ─► pre-emphasis ─► yR ─┴─ (yL − yR)·0.45 ─► × sin 2φ  (≥ 96 kHz) ─┼─► composite (both channels)
//                               pilot_level × sin φ (19 kHz, ≥ 96 kHz) ─┘
//
// Below 96 kHz the composite is the mono sum alone; the pilot phase still advances.
#include "settings/records.hpp"

namespace velmora {

// Seconds.
constexpr float tau_seconds(Tau t) noexcept { return t == Tau::Us50 ? 0.00005f : 0.000075f; }

// exp(-1 / (τ × rate)).
float preemphasis_coeff(Tau tau, float sample_rate) noexcept;

struct MpxEncoder {
  float preemph_coeff = 0.0f;
  float prev_l = 0.0f;
  float prev_r = 0.0f;
  float pilot_phase = 0.0f;  // radians, in [0, 2π)
  float sample_rate = 0.0f;
  float pilot_level = 0.0f;

  // Fresh memories and phase; the pilot level is held within ±1e10.
  MpxEncoder(Tau tau, float sample_rate, float pilot_level) noexcept;

  // One frame of limiter output in, one composite sample out.
  float process(float l, float r) noexcept;
};

}  // namespace velmora
