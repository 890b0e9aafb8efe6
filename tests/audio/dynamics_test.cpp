#include "audio/dynamics.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audio/units.hpp"

namespace velmora {
namespace {

// The threshold test is strict: exactly at it, no reduction; 1 dB above, 1 dB × (1 - 1/4).
TEST(BandDynamics, TimeCoefficientsMatchWorkedValuesAndLevelExactlyAtThresholdGivesNoReduction) {
  EXPECT_NEAR(time_coeff(10.0f, 48000.0f), 0.997919f, 5e-7f);
  EXPECT_NEAR(time_coeff(150.0f, 48000.0f), 0.999861f, 5e-7f);
  BandConfig cfg;
  cfg.ratio = 4, cfg.makeup_db = 0, cfg.clip_enable = false;
  cfg.attack_ms = 0.0f;  // the envelope takes the frame's power exactly
  cfg.threshold_db = 10.0f * std::log10(0.5f * 0.5f + 0.25f * 0.25f + 1e-12f);
  for (float below : {0.0f, 1.0f}) {
    cfg.threshold_db -= below;
    BandState st = BandState::from_config(cfg, 48000.0f);
    float l = 0.5f, r = 0.25f;
    EXPECT_NEAR(process_band(st, BandParams::from_config(cfg), l, r), -0.75f * below, 1e-5f);
  }
}

// A peak above the threshold is brought under it in its own frame, and the gain releases
// from there; a peak equal to it leaves unity gain.
TEST(Limiter, HoldsTheCeilingInTheSameFrameThenReleases) {
  EXPECT_NEAR(Limiter(48000.0f, 0.0f).release_coeff, 0.999896f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, -6.0f).threshold, 0.501187f, 5e-7f);
  for (float thr_db : {-0.3f, -6.0f, 0.0f}) {
    for (float peak : {1.01f, 2.0f, 100.0f, 1e6f}) {
      Limiter lim(48000.0f, thr_db);
      float l = peak, r = -0.5f * peak, ql = 0.0f, qr = 0.0f;
      lim.process(l, r);
      EXPECT_LE(std::max(std::abs(l), std::abs(r)), lim.threshold * (1 + 1e-6f)) << thr_db << " dB, peak " << peak;
      const float g = lim.gain;
      lim.process(ql, qr);
      EXPECT_FLOAT_EQ(lim.gain, 1.0f * (1 - lim.release_coeff) + g * lim.release_coeff);
    }
  }
  Limiter lim(48000.0f, -6.0f);
  float l = lim.threshold, r = 0.0f;
  lim.process(l, r);
  EXPECT_TRUE(lim.gain == 1.0f && l == lim.threshold);
}

}  // namespace
}  // namespace velmora
