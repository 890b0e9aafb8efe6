// The band facts that every layer shares: range texts and the crossover table.
#include "settings/bands.hpp"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Texts = std::array<std::string, 6>;
const std::string kDash = "\u2014";

struct RangeCase {
  std::array<float, 5> freqs;
  Texts texts;
};

const RangeCase kRanges[] = {
    {{120, 400, 2000, 6000, 12000}, {"<120", "120-400", "400-2k", "2k-6k", "6k-12k", ">12k"}},
    {{120, 400, 2000, 6000, 0}, {"<120", "120-400", "400-2k", "2k-6k", ">6k", kDash}},
    {{800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
    {{300, 3000, 0, 0, 0}, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
    {{150, 1000, 6000, 0, 0}, {"<150", "150-1k", "1k-6k", ">6k", kDash, kDash}},
    {{80, 320, 1200, 4800, 12000}, {"<80", "80-320", "320-1k", "1k-5k", "5k-12k", ">12k"}},
    {{0, 0, 0, 0, 0}, {"<0", kDash, kDash, kDash, kDash, kDash}},
    {{120, 0, 2000, 0, 0}, {"<120", "120-0", ">0", kDash, kDash, kDash}},
    // Halves go to the even neighbour; 999.7 rounds up without becoming "1k".
    {{999.7f, 1500, 2500, 3500, 0}, {"<1000", "1000-2k", "2k-2k", "2k-4k", ">4k", kDash}},
};

class BandFreqLabels : public ::testing::TestWithParam<RangeCase> {};

TEST_P(BandFreqLabels, GivesTheRangeTextOfEveryBand) {
  EXPECT_EQ(band_freq_labels(GetParam().freqs), GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(Table, BandFreqLabels, ::testing::ValuesIn(kRanges));

}  // namespace
}  // namespace velmora
