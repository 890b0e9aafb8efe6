#include "audio/dynamics.hpp"

#include <cmath>

#include "audio/units.hpp"

namespace velmora {

namespace {

constexpr float kLimiterReleaseSeconds = 0.2f;
constexpr float kPowerFloor = 1e-12f;  // silence reads -120 dB

}  // namespace

BandState BandState::from_config(const BandConfig& band, float sample_rate) noexcept {
  BandState st;
  st.gain_db = bound_db(band.makeup_db);
  st.set_times(band, sample_rate);
  return st;
}

void BandState::set_times(const BandConfig& band, float sample_rate) noexcept {
  attack_coeff = time_coeff(band.attack_ms, sample_rate);
  release_coeff = time_coeff(band.release_ms, sample_rate);
}

BandParams BandParams::from_config(const BandConfig& band) noexcept {
  BandParams p;
  p.enabled = band.enabled;
  p.threshold_db = bound_db(band.threshold_db);
  const float ratio = band.ratio >= 1.0f ? band.ratio : 1.0f;
  p.slope = 1.0f - 1.0f / ratio;
  p.makeup_db = bound_db(band.makeup_db);
  p.clip = band.clip_enable;
  p.ceiling = db_to_linear(band.clip_level_db);
  return p;
}

float process_band(BandState& st, const BandParams& p, float& l, float& r) noexcept {
  float gr = 0.0f;
  if (p.enabled) {
    const float power = l * l + r * r;
    const float c = st.env < power ? st.attack_coeff : st.release_coeff;
    st.env = (1.0f - c) * power + c * st.env;
    const float level_db = 10.0f * std::log10(st.env + kPowerFloor);
    if (level_db > p.threshold_db) gr = p.slope * (p.threshold_db - level_db);
    const float target = p.makeup_db + gr;
    const float c2 = target < st.gain_db ? st.attack_coeff : st.release_coeff;
    st.gain_db = (1.0f - c2) * target + c2 * st.gain_db;
    const float g = std::pow(10.0f, st.gain_db / 20.0f);
    l *= g;
    r *= g;
  }
  if (p.clip) {
    l = p.ceiling * std::tanh(l / p.ceiling);
    r = p.ceiling * std::tanh(r / p.ceiling);
  }
  return gr;
}

Limiter::Limiter(float rate, float threshold_db) noexcept
    : sample_rate(rate), release_coeff(std::exp(-1.0f / (kLimiterReleaseSeconds * rate))) {
  set_threshold(threshold_db);
}

void Limiter::set_threshold(float threshold_db) noexcept { threshold = db_to_linear(threshold_db); }

}  // namespace velmora
