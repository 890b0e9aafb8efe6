#include "audio/preemphasis.hpp"

#include <cmath>

#include "audio/units.hpp"

namespace velmora {

namespace {

constexpr float kPilotPhaseNumerator = 119380.52f;  // 2π × 19000
constexpr float kTwoPi = 6.2831855f;
constexpr float kMpxScale = 0.45f;

}  // namespace

float preemphasis_coeff(Tau tau, float sample_rate) noexcept {
  return std::exp(-1.0f / (tau_seconds(tau) * sample_rate));
}

MpxEncoder::MpxEncoder(Tau tau, float rate, float level) noexcept
    : preemph_coeff(preemphasis_coeff(tau, rate)), sample_rate(rate), pilot_level(bound_linear(level)) {}

float MpxEncoder::process(float l, float r) noexcept {
  const float a = preemph_coeff;
  const float yl = (l - a * prev_l) / (1.0f - a);
  const float yr = (r - a * prev_r) / (1.0f - a);
  prev_l = l;
  prev_r = r;
  const float mono = (yl + yr) * kMpxScale;
  pilot_phase = std::fmod(kPilotPhaseNumerator / sample_rate + pilot_phase, kTwoPi);
  if (sample_rate >= static_cast<float>(kStereoMinRate)) {
    const float phi = pilot_phase;
    return (mono + pilot_level * std::sin(phi)) + std::sin(2.0f * phi) * ((yl - yr) * kMpxScale);
  }
  return mono;
}

}  // namespace velmora
