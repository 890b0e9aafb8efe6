// The desk's editing controls: strip knobs and checks, side-panel sliders, the multiplex
// switch and pre-emphasis buttons, the display-only knobs and the status text.
#include <gtest/gtest.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

Gtk::Widget& mpx_panel(Desk& desk) {
  for (auto* c = desk.view->main_row->get_first_child(); c != nullptr; c = c->get_next_sibling()) {
    if (c->has_css_class("mpx-panel")) return *c;
  }
  throw std::runtime_error("no multiplex panel");
}

class DeskControls : public GuiEnv {};

TEST_F(DeskControls, BuildShowsTheConfigurationAndRunsNoHandler) {
  ProcessorConfig cfg;
  cfg.bands[1].threshold_db = -33.0f;
  cfg.bands[2].enabled = false;
  cfg.bands[3].release_ms = 5000.0f;  // shown clamped, kept as stored
  cfg.input_gain_db = 1.5f;
  cfg.output_gain_db = -2.5f;
  cfg.limiter_threshold = -4.0f;
  cfg.mpx.enabled = true;
  cfg.mpx.tau = Tau::Us50;
  Desk desk(cfg, false);
  auto& s = desk.strips();
  EXPECT_FLOAT_EQ(s[1].knobs.thr.value(), -33.0f);
  EXPECT_FALSE(s[2].checks.on->get_active());
  EXPECT_FLOAT_EQ(s[3].knobs.rel.value(), 2000.0f);
  EXPECT_EQ(s[5].freq_label->get_text(), ">12k");
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(s[i].root->get_sensitive(), i < 5) << i;
    EXPECT_NEAR(s[i].root->get_opacity(), i < 5 ? 1.0 : 0.22, 1.0 / 255) << i;  // 8-bit opacity
  }
  const ui::DeskView& c = *desk.view;
  EXPECT_EQ(c.panel.band_count->get_value(), 5);
  EXPECT_EQ((std::array{c.panel.in_gain->get_value(), c.panel.out_gain->get_value(),
                        c.panel.limiter->get_value()}),
            (std::array{1.5, -2.5, -4.0}));
  EXPECT_TRUE(c.mpx_switch->get_active());
  EXPECT_TRUE(c.panel.tau.us50->get_active());
  EXPECT_FALSE(desk.shared->params_dirty.load()) << "building ran a handler";
  EXPECT_EQ(live(desk.config), cfg);
}

// One edit, then a second one with the lock poisoned: that one writes nothing, and the flag
// is raised again exactly where the first edit raised it.
struct EditCase {
  const char* name;
  void (*edit)(Desk&, bool again);
  float (*field)(const ProcessorConfig&);
  float after;  // the field after the first edit (a knob: default + range / 200)
  bool raises_flag;
};

ui::BandStrip& band3(Desk& d) { return d.strips()[2]; }
using Cfg = const ProcessorConfig&;

const EditCase kEdits[] = {
    {"thr", [](Desk& d, bool) { notch_up(band3(d).knobs.thr); }, [](Cfg c) { return c.bands[2].threshold_db; }, -17.7f, false},
    {"ratio", [](Desk& d, bool) { notch_up(band3(d).knobs.ratio); }, [](Cfg c) { return c.bands[2].ratio; }, 3.095f, false},
    {"atk", [](Desk& d, bool) { notch_up(band3(d).knobs.atk); }, [](Cfg c) { return c.bands[2].attack_ms; }, 10.9995f, true},
    {"rel", [](Desk& d, bool) { notch_up(band3(d).knobs.rel); }, [](Cfg c) { return c.bands[2].release_ms; }, 159.95f, true},
    {"gain", [](Desk& d, bool) { notch_up(band3(d).knobs.gain); }, [](Cfg c) { return c.bands[2].makeup_db; }, 3.12f, false},
    {"lvl", [](Desk& d, bool) { notch_up(band3(d).knobs.clip_level); }, [](Cfg c) { return c.bands[2].clip_level_db; }, -0.44f, false},
    {"clip", [](Desk& d, bool again) { band3(d).checks.clip->set_active(again); },
     [](Cfg c) { return float(c.bands[2].clip_enable); }, 0.0f, false},
    {"on", [](Desk& d, bool again) { band3(d).checks.on->set_active(again); },
     [](Cfg c) { return float(c.bands[2].enabled); }, 0.0f, true},
    {"in", [](Desk& d, bool again) { d.view->panel.in_gain->set_value(again ? -0.5 : 6.5); },
     [](Cfg c) { return c.input_gain_db; }, 6.5f, false},
    {"out", [](Desk& d, bool again) { d.view->panel.out_gain->set_value(again ? -0.5 : -11.5); },
     [](Cfg c) { return c.output_gain_db; }, -11.5f, false},
    {"lim", [](Desk& d, bool again) { d.view->panel.limiter->set_value(again ? -0.5 : -4.5); },
     [](Cfg c) { return c.limiter_threshold; }, -4.5f, false},
    {"mpx", [](Desk& d, bool again) { d.view->mpx_switch->set_active(!again); },
     [](Cfg c) { return float(c.mpx.enabled); }, 1.0f, false},
    {"tau", [](Desk& d, bool again) { (again ? d.view->panel.tau.us75 : d.view->panel.tau.us50)->set_active(true); },
     [](Cfg c) { return float(c.mpx.tau == Tau::Us50); }, 1.0f, true},
};

class DeskEdit : public GuiEnv, public ::testing::WithParamInterface<EditCase> {};

TEST_P(DeskEdit, WritesItsFieldAndRaisesTheFlagOnlyWhereNeeded) {
  const EditCase& p = GetParam();
  Desk desk(ProcessorConfig{}, false);
  p.edit(desk, false);
  EXPECT_FLOAT_EQ(p.field(live(desk.config)), p.after);
  EXPECT_EQ(desk.shared->params_dirty.load(), p.raises_flag);

  desk.shared->params_dirty.store(false);
  poison(*desk.config);
  p.edit(desk, true);
  EXPECT_FLOAT_EQ(p.field(live(desk.config)), p.after) << "a poisoned lock skips the write";
  EXPECT_EQ(desk.shared->params_dirty.load(), p.raises_flag);
}

INSTANTIATE_TEST_SUITE_P(Table, DeskEdit, ::testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeskControls, ChoosingFiftyWritesItOnceAndRaisesTheFlag) {
  Desk desk(ProcessorConfig{}, false);
  ui::DeskView& c = *desk.view;
  int toggles = 0;
  c.panel.tau.us75->signal_toggled().connect([&] { ++toggles; });
  c.panel.tau.us50->signal_toggled().connect([&] { ++toggles; });

  c.panel.tau.us75->set_active(true);
  EXPECT_EQ(toggles, 0) << "choosing the active button emits nothing";
  EXPECT_FALSE(desk.shared->params_dirty.load());

  c.panel.tau.us50->set_active(true);
  EXPECT_EQ(toggles, 2);
  EXPECT_FALSE(c.panel.tau.us75->get_active());
  EXPECT_EQ(live(desk.config).mpx.tau, Tau::Us50);
  EXPECT_TRUE(desk.shared->params_dirty.load());
}

TEST_F(DeskControls, DeactivatedPreEmphasisButtonWritesNothing) {
  auto config = make_shared_config(ProcessorConfig{});
  auto shared = SharedState::create();
  Gtk::CheckButton off("75 µs (NRSC)");
  ui::on_tau75_toggled(off, config, shared);
  ui::on_tau50_toggled(off, config, shared);
  EXPECT_EQ(live(config), ProcessorConfig{});
  EXPECT_FALSE(shared->params_dirty.load());
}

TEST_F(DeskControls, LevelKnobsAreBoundToNothing) {
  Desk desk(ProcessorConfig{}, false);
  auto areas = find_all<Gtk::DrawingArea>(mpx_panel(desk));
  ASSERT_EQ(areas.size(), 4u);  // two knobs, two meters
  scroll(*areas[0], 0.0, -20.0);
  scroll(*areas[1], 0.0, -20.0);
  EXPECT_EQ(live(desk.config), ProcessorConfig{});
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

TEST_F(DeskControls, StatusTextShowsWhatTheRateAllows) {
  const std::tuple<std::uint32_t, const char*, const char*> rows[] = {
      {44100, "MONO (44kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
      {48000, "MONO (48kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
      {95999, "MONO (95kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
      {96000, "ESTÉREO MPX\n96kHz", "mpx-status-ok"},
      {192000, "ESTÉREO MPX\n192kHz", "mpx-status-ok"}};
  for (const auto& [rate, text, css] : rows) {
    ProcessorConfig cfg;
    cfg.sample_rate = rate;
    Desk desk(cfg, false);
    std::vector<Glib::ustring> shown;
    for (auto* l : find_all<Gtk::Label>(mpx_panel(desk))) {
      if (l->has_css_class(css)) shown.push_back(l->get_text());
    }
    EXPECT_EQ(shown, std::vector<Glib::ustring>{text}) << rate;
  }
}

}  // namespace
}  // namespace velmora::test
