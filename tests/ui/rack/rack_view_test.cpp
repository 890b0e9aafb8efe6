// The rack view in a real window: what the build shows, the meter wiring, every edit, and
// the drawer's band selection.
#include <gtest/gtest.h>
#include <gtkmm/drawingarea.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

using Texts = std::array<std::string, 6>;
const std::string kDash = "\u2014";
constexpr double kOpacityStep = 1.0 / 255;  // GTK keeps opacity in 8 bits

class RackViewTest : public GuiEnv {};

Texts range_texts(Rack& r) {
  Texts out;
  for (std::size_t i = 0; i < 6; ++i) out[i] = r.view->strips[i].range->get_text().raw();
  return out;
}

void expect_active(Rack& r, std::uint64_t n) {
  for (std::size_t i = 0; i < 6; ++i) {
    const Gtk::Widget& s = *r.view->strips[i].root;
    EXPECT_EQ(s.get_sensitive(), i < n) << "strip " << i;
    EXPECT_NEAR(s.get_opacity(), i < n ? 1.0 : 0.22, kOpacityStep) << "strip " << i;
  }
}

// Everything the view shows, read back from its controls.
struct Shown {
  double bands, in, out, lim;
  bool mpx, us50;
  std::array<float, 6> drawer;  // thr ratio atk rel gain lvl of the drawer's band
  bool clip, on;
};

Shown shown(Rack& r) {
  const ui::RackView& v = *r.view;
  Shown s{v.panel.band_count->get_value(), v.panel.in_gain->get_value(), v.panel.out_gain->get_value(),
          v.panel.limiter->get_value(),    v.mpx->get_active(),    v.panel.tau.us50->get_active(),
          {},                        v.drawer.checks.clip->get_active(), v.drawer.checks.on->get_active()};
  const auto knobs = v.drawer.knobs.all();
  for (std::size_t k = 0; k < 6; ++k) s.drawer[k] = knobs[k]->value();
  return s;
}

struct BuildCase {
  const char* name;
  void (*edit)(ProcessorConfig&);
  double bands, in, out, lim;  // on screen, clamped to each control's range
  bool mpx, us50;
  std::uint64_t active;
  Texts texts;
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

class RackBuild : public GuiEnv, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(RackBuild, ShowsTheConfigurationClampedOnScreenOnlyAndRunsNoHandler) {
  const BuildCase& p = GetParam();
  ProcessorConfig cfg;
  p.edit(cfg);
  cfg.bands[0].threshold_db = -33.0f;
  cfg.bands[0].release_ms = 5000.0f;
  cfg.bands[0].clip_enable = false;
  Rack rack(cfg);

  const Shown s = shown(rack);
  EXPECT_EQ((std::array{s.bands, s.in, s.out, s.lim}), (std::array{p.bands, p.in, p.out, p.lim}));
  EXPECT_EQ(s.mpx, p.mpx);
  EXPECT_EQ(s.us50, p.us50);
  EXPECT_NE(s.us50, rack.view->panel.tau.us75->get_active());
  EXPECT_EQ(range_texts(rack), p.texts);
  expect_active(rack, p.active);
  // The drawer starts on band 1, B1 highlighted.
  EXPECT_FALSE(rack.drawer().revealer->get_reveal_child());
  EXPECT_EQ(s.drawer, (std::array<float, 6>{-33.0f, 3.0f, 10.0f, 2000.0f, 3.0f, -0.5f}));
  EXPECT_FALSE(s.clip);
  EXPECT_TRUE(s.on);
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(rack.drawer().tabs[k]->has_css_class("rack-tab-sel"), k == 0) << k;
  }
  EXPECT_EQ(live(rack.config), cfg) << "the build wrote a clamped value back";
  EXPECT_FALSE(rack.shared->params_dirty.load());
}

const Texts kDefaultTexts{"<120", "120-400", "400-2k", "2k-6k", "6k-12k", ">12k"};

INSTANTIATE_TEST_SUITE_P(
    Table, RackBuild,
    ::testing::Values(
        BuildCase{"defaults", [](ProcessorConfig&) {}, 5, 0, 0, -0.3f, false, false, 5, kDefaultTexts},
        BuildCase{"bands0", [](ProcessorConfig& c) { c.num_bands = 0; }, 2, 0, 0, -0.3f, false, false, 2, kDefaultTexts},
        BuildCase{"bands3", [](ProcessorConfig& c) {
                    c.num_bands = 3;
                    c.crossover_freqs = {300, 3000, 0, 0, 0};
                  }, 3, 0, 0, -0.3f, false, false, 3, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
        BuildCase{"bands9", [](ProcessorConfig& c) { c.num_bands = 9; }, 6, 0, 0, -0.3f, false, false, 6, kDefaultTexts},
        BuildCase{"gainsOutOfRange", [](ProcessorConfig& c) {
                    c.input_gain_db = 30.0f;
                    c.output_gain_db = -20.0f;
                    c.limiter_threshold = 3.0f;
                  }, 5, 12, -12, 0, false, false, 5, kDefaultTexts},
        BuildCase{"mpxOn50us", [](ProcessorConfig& c) {
                    c.mpx.enabled = true;
                    c.mpx.tau = Tau::Us50;
                  }, 5, 0, 0, -0.3f, true, true, 5, kDefaultTexts}),
    [](const auto& info) { return std::string(info.param.name); });

// Bright enough to be a lit segment of either mode, not a dimmed or unlit one.
bool lit(Px p) { return std::max({p.r, p.g, p.b}) > 100; }

// Each cell holds its own value, so each meter's lit run tells which cell it reads.
TEST_F(RackViewTest, MetersReadTheirCellsInTableOrder) {
  Rack rack(ProcessorConfig{});
  SharedState& s = *rack.shared;
  struct Wired {
    const MeterCell* cell;
    bool gr;
  };
  std::vector<Wired> table;
  for (const BandMeters& b : s.band_meters) table.insert(table.end(), {{&b.level, false}, {&b.gr, true}});
  table.insert(table.end(), {{&s.in_l, false}, {&s.in_r, false}, {&s.out_l, false}, {&s.out_r, false},
                             {&s.limiter_gr, true}, {&s.out_l, false}, {&s.out_r, false}});
  // (2k + 1) / 40 lights round(0.75 (2k + 1)) segments: 1, 2, 4, 5, 7, … all different.
  std::map<const MeterCell*, int> segments;
  for (std::size_t k = 0; k < 17; ++k) {
    const MeterCell* cell = k < 12 ? (k % 2 ? &s.band_meters[k / 2].gr : &s.band_meters[k / 2].level)
                                   : std::array{&s.in_l, &s.in_r, &s.out_l, &s.out_r, &s.limiter_gr}[k - 12];
    cell->store(static_cast<float>(2 * k + 1) / 40.0f);
    segments[cell] = static_cast<int>(std::lround(0.75 * static_cast<double>(2 * k + 1)));
  }
  ASSERT_EQ(rack.view->meters.size(), 19u);
  for (std::size_t m = 0; m < 19; ++m) {
    auto image = render(*rack.view->meters[m]);
    ASSERT_EQ(image->get_height(), 120) << m;
    const int want = segments[table[m].cell];
    for (int i = 0; i < 30; ++i) {
      // Levels light from the bottom, gain reduction hangs from the top.
      const bool on = table[m].gr ? i >= 30 - want : i < want;
      EXPECT_EQ(lit(pixel_at(image, 8, 120 - 4 * i - 2)), on) << "meter " << m << " segment " << i;
    }
  }
}

TEST_F(RackViewTest, BandCountWritesTheTableAndShowsItsRanges) {
  Rack rack(ProcessorConfig{});
  EXPECT_EQ(rack.view->panel.limiter->get_adjustment()->get_step_increment(), 0.5);
  rack.view->panel.band_count->set_value(3);
  const ProcessorConfig c = live(rack.config);
  EXPECT_EQ(c.num_bands, 3u);
  EXPECT_EQ(c.crossover_freqs, (Crossovers{300, 3000, 0, 0, 0}));
  EXPECT_TRUE(rack.shared->params_dirty.load());
  expect_active(rack, 3);
  EXPECT_EQ(range_texts(rack)[1], "300-3k");
  EXPECT_EQ(range_texts(rack)[3], kDash);

  // A poisoned lock keeps the configuration but still shows the choice and asks for a rebuild.
  rack.shared->params_dirty.store(false);
  poison(*rack.config);
  rack.view->panel.band_count->set_value(2);
  EXPECT_EQ(live(rack.config).num_bands, 3u);
  EXPECT_TRUE(rack.shared->params_dirty.load());
  EXPECT_EQ(range_texts(rack)[1], ">800");
  expect_active(rack, 2);
}

TEST_F(RackViewTest, DrawerEditsAndShowsTheSelectedBand) {
  ProcessorConfig cfg;
  for (std::size_t b = 0; b < 6; ++b) cfg.bands[b].makeup_db = static_cast<float>(b);
  cfg.bands[2].clip_enable = false;
  cfg.bands[4].enabled = false;
  Rack rack(cfg);
  ui::RackDrawer& d = rack.drawer();
  const auto highlighted = [&] {
    std::vector<std::size_t> out;
    for (std::size_t k = 0; k < 6; ++k) {
      if (d.tabs[k]->has_css_class("rack-tab-sel")) out.push_back(k);
    }
    return out;
  };

  press(*rack.view->strips[2].root);
  EXPECT_TRUE(d.revealer->get_reveal_child());
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{2});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 2.0f);
  EXPECT_FALSE(d.checks.clip->get_active());
  EXPECT_TRUE(d.checks.on->get_active());
  notch_up(d.knobs.gain);
  ProcessorConfig expected = cfg;
  expected.bands[2].makeup_db = live(rack.config).bands[2].makeup_db;
  EXPECT_FLOAT_EQ(expected.bands[2].makeup_db, 2.12f);
  EXPECT_EQ(live(rack.config), expected) << "GAIN changes band 3 only";

  press(*d.tabs[4]);
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{4});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 4.0f);
  EXPECT_TRUE(d.checks.clip->get_active());
  EXPECT_FALSE(d.checks.on->get_active());
  EXPECT_EQ(live(rack.config), expected) << "selecting writes nothing";
  EXPECT_FALSE(rack.shared->params_dirty.load());

  click(*d.collapse);
  EXPECT_FALSE(d.revealer->get_reveal_child());
  notch_up(d.knobs.gain);
  EXPECT_FLOAT_EQ(live(rack.config).bands[4].makeup_db, 4.12f) << "hiding keeps the selection";
  press(*rack.view->strips[4].root);
  EXPECT_TRUE(d.revealer->get_reveal_child());

  // A poisoned lock still moves the selection, but leaves the controls as they are.
  poison(*rack.config);
  press(*d.tabs[0]);
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{0});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 4.12f);
}

}  // namespace
}  // namespace velmora::test
