// Desk band strips: the band-count control and loading a configuration.
#include <gtest/gtest.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

class BandStrips : public GuiEnv {};

using Texts = std::array<std::string, 6>;
const std::string kDash = "\u2014";
// GTK keeps a widget's opacity in 8 bits.
constexpr double kOpacityStep = 1.0 / 255;

// Each band count with the crossovers it writes and the range texts they give.
struct CountCase {
  int n;
  Crossovers freqs;
  Texts texts;
};

class BandCount : public GuiEnv, public ::testing::WithParamInterface<CountCase> {};

TEST_P(BandCount, WritesCountAndTableAndRestylesStrips) {
  ProcessorConfig cfg;
  cfg.num_bands = GetParam().n == 6 ? 5 : 6;
  Desk desk(cfg, false);
  desk.band_count().set_value(GetParam().n);
  const auto after = live(desk.config);
  EXPECT_EQ(after.num_bands, static_cast<std::uint64_t>(GetParam().n));
  EXPECT_EQ(after.crossover_freqs, GetParam().freqs);
  EXPECT_EQ(after.bands, cfg.bands);
  EXPECT_TRUE(desk.shared->params_dirty.load());
  for (std::size_t i = 0; i < 6; ++i) {
    const auto& s = desk.strips()[i];
    const bool active = static_cast<int>(i) < GetParam().n;
    EXPECT_EQ(s.freq_label->get_text().raw(), GetParam().texts[i]) << i;
    EXPECT_EQ(s.root->get_sensitive(), active) << i;
    EXPECT_NEAR(s.root->get_opacity(), active ? 1.0 : 0.22, kOpacityStep) << i;
    EXPECT_FLOAT_EQ(s.knobs.thr.value(), -18.0f) << "knobs are left alone";
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, BandCount,
                         ::testing::Values(
                             CountCase{2, {800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
                             CountCase{3, {300, 3000, 0, 0, 0}, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
                             CountCase{4, {150, 1000, 6000, 0, 0}, {"<150", "150-1k", "1k-6k", ">6k", kDash, kDash}},
                             CountCase{5, {120, 400, 2000, 6000, 0}, {"<120", "120-400", "400-2k", "2k-6k", ">6k", kDash}},
                             CountCase{6, {80, 320, 1200, 4800, 12000}, {"<80", "80-320", "320-1k", "1k-5k", "5k-12k", ">12k"}}),
                         [](const auto& info) { return std::to_string(info.param.n) + "bands"; });

// As a user types over the count and presses Enter: nothing but a band count is taken.
TEST_F(BandStrips, TypedTextThatIsNoCountChangesNothing) {
  Desk desk(ProcessorConfig{}, false);
  auto* editable = GTK_EDITABLE(desk.band_count().gobj());
  for (const char* typed : {"x", ""}) {
    gtk_editable_delete_text(editable, 0, -1);
    int at = 0;
    gtk_editable_insert_text(editable, typed, -1, &at);
    desk.band_count().update();
    EXPECT_EQ(desk.band_count().get_value(), 5) << typed;
  }
  EXPECT_EQ(live(desk.config), ProcessorConfig{});
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

TEST_F(BandStrips, PoisonedBandCountStillRestylesAndRaisesTheFlag) {
  Desk desk(ProcessorConfig{}, false);
  poison(*desk.config);
  desk.band_count().set_value(2);
  EXPECT_EQ(live(desk.config).num_bands, 5u);
  EXPECT_TRUE(desk.shared->params_dirty.load());
  EXPECT_EQ(desk.strips()[1].freq_label->get_text(), ">800");
  EXPECT_FALSE(desk.strips()[2].root->get_sensitive());
}

}  // namespace
}  // namespace velmora::test
