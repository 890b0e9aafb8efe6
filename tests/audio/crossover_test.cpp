#include "audio/crossover.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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
  // 0 Hz and below build the 1 Hz stage (the clamp at the top is checked against the model).
  for (float f : {0.0f, -50.0f}) EXPECT_EQ(Lr4Stage(f, 48000.0f).low_l[0].a1, Lr4Stage(1.0f, 48000.0f).low_l[0].a1);
}

// Amplitude of the `hz` component, by correlation with a sine and a cosine.
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

// One second of a sine at `hz` (left, and right times `right`) through `x`; the amplitude of
// each band's left output and of their sum over the second half.
std::vector<double> amplitudes(Crossover& x, double hz, double amp, float right) {
  std::vector<Amplitude> a(x.num_bands + 1, Amplitude{hz, 48000.0});
  float bl[6], br[6];
  for (std::size_t i = 0; i < 48000; ++i) {
    const auto s = static_cast<float>(amp * std::sin(kTau * hz * static_cast<double>(i) / 48000.0));
    x.process(s, right * s, bl, br);
    if (i < 24000) continue;
    double sum = 0;
    for (std::size_t b = 0; b < x.num_bands; ++b) a[b].add(bl[b]), sum += bl[b];
    a.back().add(sum);
  }
  std::vector<double> out;
  for (const Amplitude& v : a) out.push_back(v.value());
  return out;
}

class BandSplit : public testing::TestWithParam<std::pair<double, std::size_t>> {};

// Five bands two octaves wide: a sine in the middle of one comes out of that band.
TEST_P(BandSplit, SineInsideABandComesOutOfThatBand) {
  const auto [hz, band] = GetParam();
  Crossover x(5, {60.0f, 250.0f, 1000.0f, 4000.0f, 0.0f}, 48000.0f);
  const auto peak = amplitudes(x, hz, 1.0, 1.0f);
  for (std::size_t b = 0; b < 5; ++b) EXPECT_TRUE(b == band ? peak[b] > 0.85 : peak[b] < 0.07) << b << ": " << peak[b];
}
INSTANTIATE_TEST_SUITE_P(Bands, BandSplit,
                         testing::Values(std::pair{15.0, 0u}, std::pair{122.0, 1u}, std::pair{500.0, 2u},
                                         std::pair{2000.0, 3u}, std::pair{16000.0, 4u}));

class TwoBandSum : public testing::TestWithParam<double> {};

TEST_P(TwoBandSum, SumOfBandsHasFlatMagnitude) {
  Crossover x(2, {1000.0f, 0, 0, 0, 0}, 48000.0f);
  EXPECT_NEAR(amplitudes(x, GetParam(), 0.5, -1.0f).back(), 0.5, 0.5 * 1e-4);
}
INSTANTIATE_TEST_SUITE_P(Frequencies, TwoBandSum, testing::Values(30.0, 300.0, 700.0, 1000.0, 1400.0, 5000.0, 15000.0));

// Stage i from frequency i in stored order; a rebuild stays within the room reserved at
// construction, so the audio thread never allocates.
TEST(Crossover, BuildsStagesInStoredOrderAndRebuildsWithoutAllocating) {
  const std::array<float, 5> f{5000.0f, 300.0f, 2000.0f, 100.0f, 9000.0f};
  Crossover x(2, f, 48000.0f);
  const Lr4Stage* storage = x.stages.data();
  for (std::size_t count : {6u, 3u, 5u}) {
    x.rebuild(count, f);
    ASSERT_EQ(x.stages.size(), count - 1);
    EXPECT_EQ(x.num_bands, count);
    EXPECT_EQ(x.stages.data(), storage);
    for (std::size_t i = 0; i + 1 < count; ++i) EXPECT_EQ(x.stages[i].low_l[0].a1, Lr4Stage(f[i], 48000.0f).low_l[0].a1);
  }
}

}  // namespace
}  // namespace velmora
