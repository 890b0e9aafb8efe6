// Desk band strips: range texts, band count, and what each knob and check writes.
#include <gtest/gtest.h>

#include "ui/desk_fixture.hpp"

namespace velmora::test {
namespace {

using Texts = std::array<std::string, 6>;
const std::string kDash = "\u2014";
// GTK keeps a widget's opacity in 8 bits.
constexpr double kOpacityStep = 1.0 / 255;

struct RangeCase {
  std::array<float, 5> freqs;
  Texts texts;
};

class BandFreqLabels : public ::testing::TestWithParam<RangeCase> {};

TEST_P(BandFreqLabels, GivesTheRangeTextOfEveryBand) {
  EXPECT_EQ(ui::band_freq_labels(GetParam().freqs), GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BandFreqLabels,
    ::testing::Values(
        RangeCase{{120, 400, 2000, 6000, 12000}, {"<120", "120-400", "400-2k", "2k-6k", "6k-12k", ">12k"}},
        RangeCase{{120, 400, 2000, 6000, 0}, {"<120", "120-400", "400-2k", "2k-6k", ">6k", kDash}},
        RangeCase{{800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
        RangeCase{{300, 3000, 0, 0, 0}, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
        RangeCase{{150, 1000, 6000, 0, 0}, {"<150", "150-1k", "1k-6k", ">6k", kDash, kDash}},
        RangeCase{{80, 320, 1200, 4800, 12000}, {"<80", "80-320", "320-1k", "1k-5k", "5k-12k", ">12k"}},
        RangeCase{{0, 0, 0, 0, 0}, {"<0", kDash, kDash, kDash, kDash, kDash}},
        RangeCase{{120, 0, 2000, 0, 0}, {"<120", "120-0", ">0", kDash, kDash, kDash}},
        // Halves go to the even neighbour; 999.7 rounds up without becoming "1k".
        RangeCase{{999.7f, 1500, 2500, 3500, 0}, {"<1000", "1000-2k", "2k-2k", "2k-4k", ">4k", kDash}}));

class BandStrips : public DeskEnv {};

TEST_F(BandStrips, BuildShowsTheConfigurationAndDimsInactiveBands) {
  ProcessorConfig cfg;
  cfg.bands[1].threshold_db = -33.0f;
  cfg.bands[2].enabled = false;
  cfg.bands[3].release_ms = 5000.0f;  // shown clamped, kept as stored
  Desk desk(cfg, false);
  auto& s = desk.strips();
  EXPECT_FLOAT_EQ(s[1].thr.value(), -33.0f);
  EXPECT_FALSE(s[2].on_check->get_active());
  EXPECT_FLOAT_EQ(s[3].rel.value(), 2000.0f);
  EXPECT_EQ(s[5].freq_label->get_text(), ">12k");
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(s[i].root->get_sensitive(), i < 5) << i;
    EXPECT_NEAR(s[i].root->get_opacity(), i < 5 ? 1.0 : 0.22, kOpacityStep) << i;
  }
  EXPECT_EQ(desk.band.band_count->get_value(), 5);
  EXPECT_FALSE(desk.shared->params_dirty.load()) << "building ran a handler";
  EXPECT_EQ(live(desk.config), cfg);
}

struct CountCase {
  int n;
  std::array<float, 5> table;
  Texts texts;
};

class BandCount : public DeskEnv, public ::testing::WithParamInterface<CountCase> {};

TEST_P(BandCount, WritesCountAndTableAndRestylesStrips) {
  ProcessorConfig cfg;
  cfg.num_bands = GetParam().n == 6 ? 5 : 6;
  Desk desk(cfg, false);
  desk.band.band_count->set_value(GetParam().n);
  const auto after = live(desk.config);
  EXPECT_EQ(after.num_bands, static_cast<std::uint64_t>(GetParam().n));
  EXPECT_EQ(after.crossover_freqs, GetParam().table);
  EXPECT_EQ(after.bands, cfg.bands);
  EXPECT_TRUE(desk.shared->params_dirty.load());
  for (std::size_t i = 0; i < 6; ++i) {
    const auto& s = desk.strips()[i];
    const bool active = static_cast<int>(i) < GetParam().n;
    EXPECT_EQ(s.freq_label->get_text().raw(), GetParam().texts[i]) << i;
    EXPECT_EQ(s.root->get_sensitive(), active) << i;
    EXPECT_NEAR(s.root->get_opacity(), active ? 1.0 : 0.22, kOpacityStep) << i;
    EXPECT_FLOAT_EQ(s.thr.value(), -18.0f) << "knobs are left alone";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, BandCount,
    ::testing::Values(CountCase{2, {800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
                      CountCase{3, {300, 3000, 0, 0, 0}, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
                      CountCase{4, {150, 1000, 6000, 0, 0}, {"<150", "150-1k", "1k-6k", ">6k", kDash, kDash}},
                      CountCase{5, {120, 400, 2000, 6000, 0}, {"<120", "120-400", "400-2k", "2k-6k", ">6k", kDash}},
                      CountCase{6, {80, 320, 1200, 4800, 12000},
                                {"<80", "80-320", "320-1k", "1k-5k", "5k-12k", ">12k"}}),
    [](const auto& info) { return std::to_string(info.param.n) + "bands"; });

TEST_F(BandStrips, PoisonedBandCountStillRestylesAndRaisesTheFlag) {
  Desk desk(ProcessorConfig{}, false);
  poison(*desk.config);
  desk.band.band_count->set_value(2);
  EXPECT_EQ(live(desk.config).num_bands, 5u);
  EXPECT_TRUE(desk.shared->params_dirty.load());
  EXPECT_EQ(desk.strips()[1].freq_label->get_text(), ">800");
  EXPECT_FALSE(desk.strips()[2].root->get_sensitive());
}

struct KnobCase {
  const char* name;
  ui::Knob ui::BandStrip::*knob;
  float BandConfig::*field;
  float after_one_notch_up;  // default value + range / 200
  bool raises_flag;
};

class StripKnob : public DeskEnv, public ::testing::WithParamInterface<KnobCase> {};

TEST_P(StripKnob, WritesItsFieldAndRaisesTheFlagOnlyWhereNeeded) {
  const auto& p = GetParam();
  Desk desk(ProcessorConfig{}, false);
  scroll(desk.strips()[2].*p.knob, -1.0);
  const auto after = live(desk.config);
  EXPECT_FLOAT_EQ(after.bands[2].*p.field, p.after_one_notch_up);
  EXPECT_EQ(after.bands[1], BandConfig{});
  EXPECT_EQ(desk.shared->params_dirty.load(), p.raises_flag);
}

TEST_P(StripKnob, PoisonedLockSkipsTheWriteButKeepsTheFlag) {
  const auto& p = GetParam();
  Desk desk(ProcessorConfig{}, false);
  poison(*desk.config);
  scroll(desk.strips()[2].*p.knob, -1.0);
  EXPECT_EQ(live(desk.config).bands[2], BandConfig{});
  EXPECT_EQ(desk.shared->params_dirty.load(), p.raises_flag);
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, StripKnob,
    ::testing::Values(KnobCase{"thr", &ui::BandStrip::thr, &BandConfig::threshold_db, -17.7f, false},
                      KnobCase{"ratio", &ui::BandStrip::ratio, &BandConfig::ratio, 3.095f, false},
                      KnobCase{"atk", &ui::BandStrip::atk, &BandConfig::attack_ms, 10.9995f, true},
                      KnobCase{"rel", &ui::BandStrip::rel, &BandConfig::release_ms, 159.95f, true},
                      KnobCase{"gain", &ui::BandStrip::gain, &BandConfig::makeup_db, 3.12f, false},
                      KnobCase{"lvl", &ui::BandStrip::clip_level, &BandConfig::clip_level_db, -0.44f, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct CheckCase {
  const char* name;
  Gtk::CheckButton* ui::BandStrip::*check;
  bool BandConfig::*field;
  bool raises_flag;
};

class StripCheck : public DeskEnv, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(StripCheck, WritesItsFieldAndRaisesTheFlagOnlyWhereNeeded) {
  const auto& p = GetParam();
  Desk desk(ProcessorConfig{}, false);
  (desk.strips()[4].*p.check)->set_active(false);
  EXPECT_FALSE(live(desk.config).bands[4].*p.field);
  EXPECT_EQ(desk.shared->params_dirty.load(), p.raises_flag);
}

TEST_P(StripCheck, PoisonedLockSkipsTheWriteButKeepsTheFlag) {
  const auto& p = GetParam();
  Desk desk(ProcessorConfig{}, false);
  poison(*desk.config);
  (desk.strips()[4].*p.check)->set_active(false);
  EXPECT_TRUE(live(desk.config).bands[4].*p.field);
  EXPECT_EQ(desk.shared->params_dirty.load(), p.raises_flag);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, StripCheck,
    ::testing::Values(CheckCase{"clip", &ui::BandStrip::clip_check, &BandConfig::clip_enable, false},
                      CheckCase{"on", &ui::BandStrip::on_check, &BandConfig::enabled, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BandStrips, RefreshRaisesTheFlagOnlyWhenAnOnCheckChanges) {
  Desk desk(ProcessorConfig{}, false);
  ProcessorConfig same;
  ui::refresh_strips(desk.strips(), same);
  EXPECT_FALSE(desk.shared->params_dirty.load());

  ProcessorConfig other;
  other.bands[0].enabled = false;
  other.bands[0].ratio = 7.5f;
  other.num_bands = 1;
  ui::refresh_strips(desk.strips(), other);
  EXPECT_TRUE(desk.shared->params_dirty.load());
  EXPECT_FLOAT_EQ(desk.strips()[0].ratio.value(), 7.5f);
  EXPECT_FALSE(live(desk.config).bands[0].enabled) << "the ON handler writes what it shows";
  EXPECT_TRUE(desk.strips()[1].root->get_sensitive()) << "0 or 1 bands activate two strips";
  EXPECT_FALSE(desk.strips()[2].root->get_sensitive());
}

}  // namespace
}  // namespace velmora::test
