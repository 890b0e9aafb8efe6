#include <gtest/gtest.h>

#include <cmath>

#include "audio/crossover.hpp"
#include "audio/dynamics.hpp"
#include "audio/preemphasis.hpp"
#include "audio/units.hpp"

namespace velmora {
namespace {

constexpr double kTau = 6.283185307179586;

// Worked by hand: they anchor the time constants, ceilings and pilot step that the chain and the
// reference model share.
TEST(Stages, CoefficientsMatchWorkedValues) {
  EXPECT_NEAR(time_coeff(10.0f, 48000.0f), 0.997919f, 5e-7f);
  EXPECT_NEAR(time_coeff(150.0f, 48000.0f), 0.999861f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, 0.0f).release_coeff, 0.999896f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, -6.0f).threshold, 0.501187f, 5e-7f);
  EXPECT_NEAR(preemphasis_coeff(Tau::Us50, 48000.0f), 0.659241f, 5e-7f);
  EXPECT_NEAR(preemphasis_coeff(Tau::Us75, 48000.0f), 0.757465f, 5e-7f);
}

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

// A rebuild stays within the room reserved at construction, so the audio thread never allocates.
TEST(Crossover, RebuildsWithoutAllocating) {
  Crossover x(2, {}, 48000.0f);
  const Lr4Stage* storage = x.stages.data();
  for (std::size_t count : {6u, 3u, 5u}) {
    x.rebuild(count, {});
    EXPECT_TRUE(x.stages.size() == count - 1 && x.stages.data() == storage);
  }
}

// At 96 kHz the composite carries the pilot, sin(2π × 19 kHz × n / rate) at its level from the
// first frame on, and that is all that silence gives.
TEST(MpxEncoder, SilenceCarriesThePilotAt96kHz) {
  MpxEncoder enc(Tau::Us50, 96000.0f, 0.09f);
  for (int n = 1; n <= 9600; ++n) {
    ASSERT_NEAR(enc.process(0.0f, 0.0f), 0.09 * std::sin(kTau * 19000.0 * n / 96000.0), 1e-4) << n;
  }
}

}  // namespace
}  // namespace velmora
