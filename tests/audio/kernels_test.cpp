#include "audio/kernels.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "test_support.hpp"

namespace velmora {
namespace {

class SplitKernel : public testing::TestWithParam<std::tuple<KernelKind, std::size_t>> {};

// Every form of the block crossover gives the bits of the frame-by-frame one, and
// leaves the same filter memories behind.
TEST_P(SplitKernel, MatchesFrameByFrameCrossoverBitForBit) {
  const auto [kind, bands] = GetParam();
  if (!kernel_available(kind)) GTEST_SKIP() << "kernel not offered by this processor";
  const std::array<float, 5> freqs{150, 900, 3000, 7000, 15000};
  Crossover plain(bands, freqs, 44100.0f), blocked(bands, freqs, 44100.0f);
  const auto in = test::programme(1000, 44100.0);
  alignas(32) float xl[kBlockFrames], xr[kBlockFrames];
  LaneRow rows_l[kBlockFrames] = {}, rows_r[kBlockFrames] = {};
  for (std::size_t start = 0; start < 1000; start += kBlockFrames) {
    const std::size_t m = std::min(kBlockFrames, 1000 - start);  // the last block is short
    for (std::size_t f = 0; f < m; ++f) xl[f] = in[2 * (start + f)], xr[f] = in[2 * (start + f) + 1];
    kernels(kind).split(blocked, xl, xr, m, rows_l, rows_r);
    for (std::size_t f = 0; f < m; ++f) {
      float bl[6], br[6];
      plain.process(in[2 * (start + f)], in[2 * (start + f) + 1], bl, br);
      ASSERT_EQ(std::memcmp(bl, rows_l[f].v, bands * sizeof(float)), 0) << "frame " << start + f;
      ASSERT_EQ(std::memcmp(br, rows_r[f].v, bands * sizeof(float)), 0) << "frame " << start + f;
    }
  }
  EXPECT_EQ(std::memcmp(plain.stages.data(), blocked.stages.data(), plain.stages.size() * sizeof(Lr4Stage)), 0);
}
INSTANTIATE_TEST_SUITE_P(KindsAndCounts, SplitKernel,
                         testing::Combine(testing::Values(KernelKind::Scalar, KernelKind::Sse2, KernelKind::Avx2),
                                          testing::Values(2u, 3u, 6u)));

TEST(Kernels, BestKindIsOfferedAndUnofferedKindsFallBackToPlain) {
  EXPECT_TRUE(kernel_available(best_kernel()));
  EXPECT_TRUE(kernel_available(KernelKind::Scalar));
  if (!kernel_available(KernelKind::Avx2)) {
    EXPECT_EQ(kernels(KernelKind::Avx2).bands, kernels(KernelKind::Scalar).bands);
  }
}

}  // namespace
}  // namespace velmora
