// The band facts that every layer shares: range texts and the crossover table.
#include "settings/bands.hpp"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(BandFreqLabels, GivesTheRangeTextOfEveryBand) {
  using Texts = std::array<std::string, 6>;
  const std::string kDash = "\u2014";
  const std::pair<Crossovers, Texts> rows[] = {
      {{120, 400, 2000, 6000, 12000}, {"<120", "120-400", "400-2k", "2k-6k", "6k-12k", ">12k"}},
      {{800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
      {{0, 0, 0, 0, 0}, {"<0", kDash, kDash, kDash, kDash, kDash}},
      // The count of crossovers above 0 sets the number of ranges, wherever they stand.
      {{120, 0, 2000, 0, 0}, {"<120", "120-0", ">0", kDash, kDash, kDash}},
      // Halves go to the even neighbour; 999.7 rounds up without becoming "1k".
      {{999.7f, 1500, 2500, 3500, 0}, {"<1000", "1000-2k", "2k-2k", "2k-4k", ">4k", kDash}},
  };
  for (const auto& [freqs, texts] : rows) EXPECT_EQ(band_freq_labels(freqs), texts);
}

}  // namespace
}  // namespace velmora
