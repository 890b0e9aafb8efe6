// The desk's controls as built, the pre-emphasis button that was just deactivated, the
// display-only knobs and the multiplex status text.
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
