#include "audio/crossover.hpp"

#include <cmath>

namespace velmora {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTwoQ = 1.4142135623730951;  // 2Q with Q = 1/sqrt(2): Butterworth
constexpr double kNyquistMargin = 0.499;

}  // namespace

Lr4Stage::Lr4Stage(float freq, float sample_rate) noexcept {
  const double sr = static_cast<double>(sample_rate);
  const double upper = kNyquistMargin * sr;
  double fc = static_cast<double>(freq);
  if (fc < 1.0) fc = 1.0;
  if (fc > upper) fc = upper;
  const double w0 = fc * kTwoPi / sr;
  const double s = std::sin(w0);
  const double c = std::cos(w0);
  const double alpha = s / kTwoQ;
  const double a0 = 1.0 + alpha;

  Biquad low;
  low.b0 = (1.0 - c) * 0.5 / a0;
  low.b1 = (1.0 - c) / a0;
  low.b2 = low.b0;
  Biquad high;
  high.b0 = (1.0 + c) * 0.5 / a0;
  high.b1 = -(1.0 + c) / a0;
  high.b2 = high.b0;
  low.a1 = high.a1 = -2.0 * c / a0;
  low.a2 = high.a2 = (1.0 - alpha) / a0;

  low_l = low_r = {low, low};
  high_l = high_r = {high, high};
}

Crossover::Crossover(std::size_t count, const Crossovers& freqs, float rate) : sample_rate(rate) {
  // Room for the largest count up front, so a rebuild on the audio thread never allocates.
  stages.reserve(kMaxStages);
  rebuild(count, freqs);
}

void Crossover::process(float left, float right, float* band_l, float* band_r) noexcept {
  float xl = left;
  float xr = right;
  std::size_t k = 0;
  for (Lr4Stage& st : stages) {
    const double dl = xl;
    const double dr = xr;
    const double lo_l = st.low_l[1].process(st.low_l[0].process(dl));
    const double lo_r = st.low_r[1].process(st.low_r[0].process(dr));
    const double hi_l = st.high_l[1].process(st.high_l[0].process(dl));
    const double hi_r = st.high_r[1].process(st.high_r[0].process(dr));
    band_l[k] = static_cast<float>(lo_l);
    band_r[k] = static_cast<float>(lo_r);
    xl = static_cast<float>(hi_l);
    xr = static_cast<float>(hi_r);
    ++k;
  }
  band_l[num_bands - 1] = xl;
  band_r[num_bands - 1] = xr;
}

void Crossover::rebuild(std::size_t count, const Crossovers& freqs) noexcept {
  num_bands = count;
  stages.clear();  // keeps the room reserved at construction
  for (std::size_t i = 0; i + 1 < count; ++i) stages.emplace_back(freqs[i], sample_rate);
}

}  // namespace velmora
