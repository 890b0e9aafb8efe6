#include "audio/preemphasis.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

// Below 96 kHz the composite is 0.45 (yL + yR) alone, without pilot or stereo subcarrier:
// a constant comes through unchanged from the second frame on.
TEST(MpxEncoder, BelowNinetySixKilohertzAConstantComesBackAsTheMonoSum) {
  for (float rate : {44100.0f, 95999.0f}) {
    for (Tau tau : {Tau::Us50, Tau::Us75}) {
      MpxEncoder enc(tau, rate, 0.5f);
      EXPECT_GT(enc.process(0.3f, -0.1f), 0.09f * 1.5f) << rate;  // the step itself is emphasised
      for (int i = 0; i < 100; ++i) ASSERT_NEAR(enc.process(0.3f, -0.1f), 0.45f * 0.2f, 1e-6f) << rate;
    }
  }
}

// At 96 kHz the pilot advances 2π × 19 kHz / rate a frame, from 0, and is all that silence gives.
TEST(MpxEncoder, CoefficientsMatchWorkedValuesAndSilenceCarriesThePilotAt96kHz) {
  EXPECT_NEAR(preemphasis_coeff(Tau::Us50, 48000.0f), 0.659241f, 5e-7f);
  EXPECT_NEAR(preemphasis_coeff(Tau::Us75, 48000.0f), 0.757465f, 5e-7f);
  constexpr float kLevel = 0.09f;
  MpxEncoder enc(Tau::Us50, 96000.0f, kLevel);
  EXPECT_EQ(enc.pilot_phase, 0.0f);
  EXPECT_FLOAT_EQ(enc.process(0.0f, 0.0f), kLevel * std::sin(1.2435471f));
  EXPECT_NEAR(enc.pilot_phase, 1.243547f, 5e-7f);
  double s = 0, c = 0;
  const int n = 96000;
  for (int i = 2; i < n + 2; ++i) {
    const double o = enc.process(0.0f, 0.0f), w = 6.283185307179586 * 19000.0 * i / 96000.0;
    s += o * std::sin(w), c += o * std::cos(w);
  }
  EXPECT_NEAR(2 * s / n, kLevel, 1e-4);  // amplitude, in phase with sin(n × step)
  EXPECT_NEAR(2 * c / n, 0.0, 1e-3);
}

}  // namespace
}  // namespace velmora
