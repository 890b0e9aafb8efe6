#include "audio/crossover.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/reference_chain.hpp"

namespace velmora {
namespace {

constexpr double kTau = 6.283185307179586;

TEST(Lr4Stage, MatchesWorkedCoefficientsAt1kHz) {
  const Lr4Stage st(1000.0f, 48000.0f);
  EXPECT_NEAR(st.low_l[0].b0, 0.00391613, 5e-9);
  EXPECT_NEAR(st.low_l[0].b1, 0.00783225, 5e-9);
  EXPECT_NEAR(st.high_l[0].b0, 0.911587, 5e-7);
  EXPECT_NEAR(st.high_l[0].b1, -1.823173, 5e-7);
  EXPECT_NEAR(st.low_l[0].a1, -1.815341, 5e-7);
  EXPECT_NEAR(st.low_l[0].a2, 0.831006, 5e-7);
  EXPECT_EQ(st.low_l[0].b2, st.low_l[0].b0);
  EXPECT_EQ(st.high_l[0].b2, st.high_l[0].b0);
  EXPECT_EQ(st.high_r[1].a1, st.low_l[0].a1);
}

struct ClampCase {
  float freq, rate;
};
class Lr4Clamp : public testing::TestWithParam<ClampCase> {};

// Out-of-range frequencies land on 1 Hz or 0.499 × rate, as the reference clamps them.
TEST_P(Lr4Clamp, ClampsFrequencyIntoValidRange) {
  const auto [freq, rate] = GetParam();
  const Lr4Stage st(freq, rate);
  const ref::Split want(freq, rate);
  for (int s = 0; s < 2; ++s) {
    EXPECT_DOUBLE_EQ(st.low_r[s].b0, want.lo[1][s].b0);
    EXPECT_DOUBLE_EQ(st.low_r[s].b1, want.lo[1][s].b1);
    EXPECT_DOUBLE_EQ(st.high_r[s].b1, want.hi[1][s].b1);
    EXPECT_DOUBLE_EQ(st.high_l[s].a1, want.hi[0][s].a1);
    EXPECT_DOUBLE_EQ(st.low_l[s].a2, want.lo[0][s].a2);
  }
}
INSTANTIATE_TEST_SUITE_P(Frequencies, Lr4Clamp,
                         testing::Values(ClampCase{0.0f, 48000.0f}, ClampCase{-50.0f, 48000.0f},
                                         ClampCase{12000.0f, 22050.0f}, ClampCase{30000.0f, 48000.0f},
                                         ClampCase{1000.0f, 48000.0f}));

TEST(Lr4Stage, TooHighFrequencyBuildsTheLimit) {
  const double w = 0.499 * 22050.0 * kTau / 22050.0;
  const Lr4Stage top(12000.0f, 22050.0f);
  EXPECT_NEAR(top.low_l[0].a1, -2.0 * std::cos(w) / (1.0 + std::sin(w) / std::sqrt(2.0)), 1e-12);
}

// Amplitude of the `hz` component, by correlation with a sine and a cosine over whole seconds.
struct Amplitude {
  double hz, rate, s = 0, c = 0;
  std::size_t n = 0;
  void add(double v) {
    const double w = kTau * hz * static_cast<double>(n++) / rate;
    s += v * std::sin(w);
    c += v * std::cos(w);
  }
  double value() const { return 2.0 * std::hypot(s, c) / static_cast<double>(n); }
};

// Steady-state amplitude of each band for a unit sine at `hz` (second half of one second).
std::vector<double> band_amplitudes(Crossover& x, double hz, double rate) {
  std::vector<Amplitude> amp(x.num_bands, Amplitude{hz, rate});
  const auto frames = static_cast<std::size_t>(rate);
  float bl[6], br[6];
  for (std::size_t i = 0; i < frames; ++i) {
    const auto s = static_cast<float>(std::sin(kTau * hz * static_cast<double>(i) / rate));
    x.process(s, s, bl, br);
    for (std::size_t b = 0; b < x.num_bands; ++b) {
      EXPECT_EQ(bl[b], br[b]);
      if (i >= frames / 2) amp[b].add(bl[b]);
    }
  }
  std::vector<double> out;
  for (const Amplitude& a : amp) out.push_back(a.value());
  return out;
}

struct SplitCase {
  double hz;
  std::size_t band;
};
class BandSplit : public testing::TestWithParam<SplitCase> {};

// Five bands two octaves wide: a sine in the middle of one comes out of that band.
TEST_P(BandSplit, SineInsideABandComesOutOfThatBand) {
  const auto [hz, band] = GetParam();
  Crossover x(5, {60.0f, 250.0f, 1000.0f, 4000.0f, 0.0f}, 48000.0f);
  const auto peak = band_amplitudes(x, hz, 48000.0);
  for (std::size_t b = 0; b < 5; ++b) {
    if (b == band) {
      EXPECT_GT(peak[b], 0.85) << "band " << b;
    } else {
      EXPECT_LT(peak[b], 0.07) << "band " << b;
    }
  }
}
INSTANTIATE_TEST_SUITE_P(Bands, BandSplit,
                         testing::Values(SplitCase{15.0, 0}, SplitCase{122.0, 1}, SplitCase{500.0, 2},
                                         SplitCase{2000.0, 3}, SplitCase{16000.0, 4}));

class TwoBandSum : public testing::TestWithParam<double> {};

TEST_P(TwoBandSum, SumOfBandsHasFlatMagnitude) {
  const double hz = GetParam();
  const double rate = 48000.0;
  Crossover x(2, {1000.0f, 0, 0, 0, 0}, static_cast<float>(rate));
  const auto frames = static_cast<std::size_t>(rate);
  Amplitude sum{hz, rate};
  float bl[6], br[6];
  for (std::size_t i = 0; i < frames; ++i) {
    const auto s = static_cast<float>(0.5 * std::sin(kTau * hz * static_cast<double>(i) / rate));
    x.process(s, -s, bl, br);
    if (i >= frames / 2) sum.add(static_cast<double>(bl[0]) + bl[1]);
  }
  EXPECT_NEAR(sum.value(), 0.5, 0.5 * 1e-4);
}
INSTANTIATE_TEST_SUITE_P(Frequencies, TwoBandSum, testing::Values(30.0, 300.0, 700.0, 1000.0, 1400.0, 5000.0, 15000.0));

TEST(Crossover, BuildsOneStageFewerThanBandsFromFrequenciesInStoredOrder) {
  const std::array<float, 5> f{5000.0f, 300.0f, 2000.0f, 100.0f, 9000.0f};
  for (std::size_t count = 2; count <= 6; ++count) {
    const Crossover x(count, f, 48000.0f);
    ASSERT_EQ(x.stages.size(), count - 1);
    for (std::size_t i = 0; i + 1 < count; ++i) {
      EXPECT_EQ(x.stages[i].low_l[0].a1, Lr4Stage(f[i], 48000.0f).low_l[0].a1);
    }
  }
}

TEST(Crossover, ZeroInputFromResetGivesExactZeroBands) {
  Crossover x(6, {120, 400, 2000, 6000, 12000}, 48000.0f);
  float bl[6], br[6];
  for (int i = 0; i < 100; ++i) {
    x.process(0.0f, 0.0f, bl, br);
    for (int b = 0; b < 6; ++b) ASSERT_TRUE(bl[b] == 0.0f && br[b] == 0.0f);
  }
}

TEST(Crossover, RebuildResizesAndResetsEveryMemoryWithoutAllocating) {
  const std::array<float, 5> f{120, 400, 2000, 6000, 12000};
  Crossover x(5, f, 48000.0f);
  const Lr4Stage* storage = x.stages.data();
  float bl[6], br[6];
  for (std::size_t count : {5u, 3u, 6u}) {
    for (int i = 0; i < 50; ++i) x.process(0.3f, -0.2f, bl, br);
    x.rebuild(count, f);
    ASSERT_EQ(x.stages.size(), count - 1);
    EXPECT_EQ(x.num_bands, count);
    EXPECT_EQ(x.stages.data(), storage);
    for (const Lr4Stage& st : x.stages) {
      for (const auto* path : {&st.low_l, &st.high_l, &st.low_r, &st.high_r}) {
        for (const Biquad& q : *path) EXPECT_TRUE(q.x1 == 0 && q.x2 == 0 && q.y1 == 0 && q.y2 == 0);
      }
    }
  }
}

}  // namespace
}  // namespace velmora
