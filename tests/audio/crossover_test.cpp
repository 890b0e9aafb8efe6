#include "audio/crossover.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace velmora {
namespace {

constexpr double kTau = 6.283185307179586;

// The two bands of a 1 kHz split add up to the input's magnitude (LR4: the sum is all-pass),
// measured on the second half of a second of sine by correlation with a sine and a cosine.
TEST(Crossover, SumOfTwoBandsHasFlatMagnitude) {
  for (double hz : {30.0, 300.0, 700.0, 1000.0, 1400.0, 5000.0, 15000.0}) {
    Crossover x(2, {1000.0f, 0, 0, 0, 0}, 48000.0f);
    float bl[6], br[6];
    double s = 0, c = 0;
    for (std::size_t i = 0; i < 48000; ++i) {
      const double w = kTau * hz * static_cast<double>(i) / 48000.0;
      const auto v = static_cast<float>(0.5 * std::sin(w));
      x.process(v, -v, bl, br);
      if (i >= 24000) s += (bl[0] + bl[1]) * std::sin(w), c += (bl[0] + bl[1]) * std::cos(w);
    }
    EXPECT_NEAR(2.0 * std::hypot(s, c) / 24000.0, 0.5, 0.5 * 1e-4) << hz << " Hz";
  }
}

// Stage i from frequency i in stored order; a rebuild stays within the room reserved at
// construction, so the audio thread never allocates. 0 Hz and below build the 1 Hz stage (the
// clamp at the top is checked against the model).
TEST(Crossover, BuildsStagesInStoredOrderAndRebuildsWithoutAllocating) {
  const std::array<float, 5> f{5000.0f, 300.0f, 2000.0f, 0.0f, -50.0f};
  Crossover x(2, f, 48000.0f);
  const Lr4Stage* storage = x.stages.data();
  for (std::size_t count : {6u, 3u, 5u}) {
    x.rebuild(count, f);
    ASSERT_EQ(x.stages.size(), count - 1);
    EXPECT_TRUE(x.num_bands == count && x.stages.data() == storage);
    for (std::size_t i = 0; i + 1 < count; ++i) {
      EXPECT_EQ(x.stages[i].low_l[0].a1, Lr4Stage(std::max(f[i], 1.0f), 48000.0f).low_l[0].a1) << i;
    }
  }
}

}  // namespace
}  // namespace velmora
