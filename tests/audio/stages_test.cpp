#include <gtest/gtest.h>

#include <cmath>

#include "audio/crossover.hpp"
#include "audio/dynamics.hpp"
#include "audio/preemphasis.hpp"
#include "audio/units.hpp"

namespace velmora {
namespace {

// Worked by hand, they anchor the filters, time constants, ceiling, pre-emphasis and pilot of the
// reference model: a 1 kHz split at 48 kHz is a Butterworth pair (Q = 1/√2) on each side.
TEST(Stages, CoefficientsMatchWorkedValues) {
  const Lr4Stage stage(1000.0f, 48000.0f);
  const Biquad &low = stage.low_l[1], &high = stage.high_r[0];
  EXPECT_TRUE(std::abs(low.b0 - 0.003916127) < 1e-9 && std::abs(high.b1 + 1.823173336) < 1e-9);
  EXPECT_TRUE(std::abs(low.a1 + 1.815341083) < 1e-9 && std::abs(high.a2 - 0.831005589) < 1e-9);
  EXPECT_NEAR(time_coeff(10.0f, 48000.0f), 0.997919f, 5e-7f);
  EXPECT_NEAR(time_coeff(150.0f, 48000.0f), 0.999861f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, 0.0f).release_coeff, 0.999896f, 5e-7f);
  EXPECT_NEAR(Limiter(48000.0f, -6.0f).threshold, 0.501187f, 5e-7f);
  EXPECT_NEAR(preemphasis_coeff(Tau::Us50, 48000.0f), 0.659241f, 5e-7f);
  EXPECT_NEAR(preemphasis_coeff(Tau::Us75, 48000.0f), 0.757465f, 5e-7f);
  // At 96 kHz silence gives the pilot alone, 0.09 sin(2π × 19 kHz × n / rate) from the first frame.
  MpxEncoder enc(Tau::Us50, 96000.0f, 0.09f);
  for (int n = 1; n <= 9600; ++n) {
    ASSERT_NEAR(enc.process(0.0f, 0.0f), 0.09 * std::sin(6.283185307179586 * 19000.0 * n / 96000.0), 1e-4) << n;
  }
}

}  // namespace
}  // namespace velmora
