#include "audio/dynamics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "audio/units.hpp"

namespace velmora {
namespace {

TEST(Units, TimeCoefficientsMatchWorkedValues) {
  EXPECT_NEAR(time_coeff(10.0f, 48000.0f), 0.997919f, 5e-7f);
  EXPECT_NEAR(time_coeff(150.0f, 48000.0f), 0.999861f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, 0.0f).release_coeff, 0.999896f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, -6.0f).threshold, 0.501187f, 5e-7f);
}

BandConfig band(float thr, float ratio, float makeup, bool enabled = true, bool clip = false) {
  BandConfig b;
  b.threshold_db = thr;
  b.ratio = ratio;
  b.makeup_db = makeup;
  b.enabled = enabled;
  b.clip_enable = clip;
  return b;
}

TEST(BandDynamics, SilentBandRisesToMakeupWithReleaseAndNoReduction) {
  const BandConfig cfg = band(-18, 3, 6);
  BandState st = BandState::from_config(cfg, 48000.0f);
  st.gain_db = -10.0f;
  const BandParams p = BandParams::from_config(cfg);
  float l = 0, r = 0;
  EXPECT_EQ(process_band(st, p, l, r), 0.0f);
  EXPECT_FLOAT_EQ(st.gain_db, (1 - st.release_coeff) * 6.0f + st.release_coeff * -10.0f);
  for (int i = 0; i < 48000 * 3; ++i) process_band(st, p, l, r);
  // Single precision stalls the smoother a few ulp/(1 - c) short of its target.
  EXPECT_NEAR(st.gain_db, 6.0f, 5e-3f);
  EXPECT_NEAR(10 * std::log10(st.env + 1e-12f), -120.0f, 1e-3f);
}

TEST(BandDynamics, RatioOneOnlyAppliesMakeup) {
  BandConfig cfg = band(-40, 1, 6);
  cfg.attack_ms = cfg.release_ms = 0.0f;  // coefficient 0: the gain jumps to its target
  BandState st = BandState::from_config(cfg, 48000.0f);
  const BandParams p = BandParams::from_config(cfg);
  float l = 0.9f, r = -0.7f;
  EXPECT_EQ(process_band(st, p, l, r), 0.0f);
  EXPECT_FLOAT_EQ(l, 0.9f * std::pow(10.0f, 0.3f));
}

TEST(BandDynamics, LevelExactlyAtThresholdGivesNoReduction) {
  BandConfig cfg = band(0, 4, 0);
  cfg.attack_ms = 0.0f;  // the envelope takes the frame's power exactly
  const float p_in = 0.5f * 0.5f + 0.25f * 0.25f;
  cfg.threshold_db = 10.0f * std::log10(p_in + 1e-12f);
  BandState st = BandState::from_config(cfg, 48000.0f);
  float l = 0.5f, r = 0.25f;
  EXPECT_EQ(process_band(st, BandParams::from_config(cfg), l, r), 0.0f);
  cfg.threshold_db -= 1.0f;
  BandState st2 = BandState::from_config(cfg, 48000.0f);
  l = 0.5f, r = 0.25f;
  EXPECT_NEAR(process_band(st2, BandParams::from_config(cfg), l, r), -0.75f, 1e-5f);
}

TEST(BandDynamics, DisabledBandIsShapedByClipperAloneAndKeepsItsState) {
  BandConfig cfg = band(-30, 10, 12, false, true);
  cfg.clip_level_db = -6.0f;
  BandState st = BandState::from_config(cfg, 48000.0f);
  st.env = 0.25f;
  const BandState before = st;
  float l = 0.8f, r = -0.1f;
  EXPECT_EQ(process_band(st, BandParams::from_config(cfg), l, r), 0.0f);
  const float c = std::pow(10.0f, -0.3f);
  EXPECT_FLOAT_EQ(l, c * std::tanh(0.8f / c));
  EXPECT_FLOAT_EQ(r, c * std::tanh(-0.1f / c));
  EXPECT_EQ(st.env, before.env);
  EXPECT_EQ(st.gain_db, before.gain_db);
}

class ClipperBound : public testing::TestWithParam<std::tuple<float, float>> {};

TEST_P(ClipperBound, OutputNeverExceedsCeiling) {
  const auto [level_db, x] = GetParam();
  BandConfig cfg = band(0, 1, 0, false, true);
  cfg.clip_level_db = level_db;
  BandState st = BandState::from_config(cfg, 48000.0f);
  float l = x, r = -x;
  process_band(st, BandParams::from_config(cfg), l, r);
  const float c = std::pow(10.0f, level_db / 20.0f);
  EXPECT_LE(std::abs(l), c);
  EXPECT_LE(std::abs(r), c);
  if (std::abs(x) < 1e-3f * c) {
    EXPECT_NEAR(l, x, 1e-6f * c);
  }
}
INSTANTIATE_TEST_SUITE_P(LevelsAndInputs, ClipperBound,
                         testing::Combine(testing::Values(-12.0f, -0.5f, 0.0f),
                                          testing::Values(1e-5f, 0.3f, 1.0f, 10.0f, 1e6f, 3e38f)));

class LimiterCeiling : public testing::TestWithParam<std::tuple<float, float>> {};

TEST_P(LimiterCeiling, HoldsCeilingInTheSameFrameThenReleases) {
  const auto [thr_db, peak] = GetParam();
  Limiter lim(48000.0f, thr_db);
  float l = peak, r = -0.5f * peak;
  lim.process(l, r);
  EXPECT_LE(std::abs(l), lim.threshold * (1 + 1e-6f));
  EXPECT_LE(std::abs(r), lim.threshold * (1 + 1e-6f));
  const float g = lim.gain;
  float ql = 0.0f, qr = 0.0f;
  lim.process(ql, qr);
  EXPECT_FLOAT_EQ(lim.gain, 1.0f * (1 - lim.release_coeff) + g * lim.release_coeff);
}
INSTANTIATE_TEST_SUITE_P(PeaksAboveThreshold, LimiterCeiling,
                         testing::Combine(testing::Values(-0.3f, -6.0f, 0.0f),
                                          testing::Values(1.01f, 2.0f, 100.0f, 1e6f)));

TEST(Limiter, PeakEqualToThresholdLeavesUnityGain) {
  Limiter lim(48000.0f, -6.0f);
  float l = lim.threshold, r = 0.0f;
  lim.process(l, r);
  EXPECT_EQ(lim.gain, 1.0f);
  EXPECT_EQ(l, lim.threshold);
}

constexpr float kInf = std::numeric_limits<float>::infinity();

// Settings far outside the controls, as a hand-edited file may hold them; the chain's
// recovery from each is checked end to end in chain_test.
TEST(Units, SettingRulesAreTheSmallestThatKeepNumbersFinite) {
  EXPECT_EQ(BandParams::from_config(band(-20, 0.0f, 0)).slope, 0.0f);
  EXPECT_EQ(BandParams::from_config(band(-20, 4.0f, 0)).slope, 0.75f);
  EXPECT_EQ(db_to_linear(1e30f), 1e10f);
  EXPECT_FLOAT_EQ(db_to_linear(-kInf), 1e-10f);
  EXPECT_EQ(db_to_linear(-6.0f), std::pow(10.0f, -0.3f));
  EXPECT_EQ(time_coeff(-5.0f, 48000.0f), 0.0f);
  EXPECT_EQ(time_coeff(0.0f, 48000.0f), 0.0f);
}

}  // namespace
}  // namespace velmora
