// Desk side panels and multiplex panel: sliders, switch, pre-emphasis, status text.
#include <gtest/gtest.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>

#include "ui/desk_fixture.hpp"

namespace velmora::test {
namespace {

struct SliderCase {
  const char* name;
  ui::Handled<Gtk::Scale> ui::DeskControls::*slider;
  float ProcessorConfig::*field;
  float moved_to;
};

class Slider : public DeskEnv, public ::testing::WithParamInterface<SliderCase> {};

TEST_P(Slider, StartsAtItsFieldAndWritesItWithoutRaisingTheFlag) {
  const auto& p = GetParam();
  ProcessorConfig cfg;
  cfg.*p.field = -2.5f;
  Desk desk(cfg, false);
  auto& scale = *(desk.controls.get()->*p.slider).widget;
  EXPECT_DOUBLE_EQ(scale.get_value(), -2.5);
  EXPECT_EQ(live(desk.config), cfg) << "building ran a handler";

  scale.set_value(p.moved_to);
  EXPECT_FLOAT_EQ(live(desk.config).*p.field, p.moved_to);
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

TEST_P(Slider, PoisonedLockSkipsTheWrite) {
  const auto& p = GetParam();
  Desk desk(ProcessorConfig{}, false);
  poison(*desk.config);
  (desk.controls.get()->*p.slider).widget->set_value(p.moved_to);
  EXPECT_EQ(live(desk.config), ProcessorConfig{});
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

INSTANTIATE_TEST_SUITE_P(
    Sliders, Slider,
    ::testing::Values(SliderCase{"in", &ui::DeskControls::in_gain, &ProcessorConfig::input_gain_db, 6.5f},
                      SliderCase{"out", &ui::DeskControls::out_gain, &ProcessorConfig::output_gain_db, -11.5f},
                      SliderCase{"lim", &ui::DeskControls::limiter, &ProcessorConfig::limiter_threshold, -4.5f}),
    [](const auto& info) { return std::string(info.param.name); });

class MpxPanel : public DeskEnv {};

TEST_F(MpxPanel, SwitchWritesEnabledWithoutTheFlag) {
  Desk desk(ProcessorConfig{}, false);
  auto* sw = desk.controls->mpx_switch.widget;
  EXPECT_FALSE(sw->get_active());
  sw->set_active(true);
  EXPECT_TRUE(live(desk.config).mpx.enabled);
  EXPECT_FALSE(desk.shared->params_dirty.load());
  poison(*desk.config);
  sw->set_active(false);
  EXPECT_TRUE(live(desk.config).mpx.enabled);
}

TEST_F(MpxPanel, ChoosingFiftyWritesItOnceAndRaisesTheFlag) {
  Desk desk(ProcessorConfig{}, false);
  auto& c = *desk.controls;
  EXPECT_TRUE(c.tau75.widget->get_active());
  int toggles = 0;
  c.tau75.widget->signal_toggled().connect([&] { ++toggles; });
  c.tau50.widget->signal_toggled().connect([&] { ++toggles; });

  c.tau75.widget->set_active(true);
  EXPECT_EQ(toggles, 0) << "choosing the active button emits nothing";
  EXPECT_FALSE(desk.shared->params_dirty.load());

  c.tau50.widget->set_active(true);
  EXPECT_EQ(toggles, 2);
  EXPECT_FALSE(c.tau75.widget->get_active());
  EXPECT_EQ(live(desk.config).mpx.tau, Tau::Us50);
  EXPECT_TRUE(desk.shared->params_dirty.load());
}

TEST_F(MpxPanel, DeactivatedButtonWritesNothing) {
  auto config = make_shared_config(ProcessorConfig{});
  auto shared = SharedState::create();
  Gtk::CheckButton off("75 µs (NRSC)");
  ui::on_tau75_toggled(off, config, shared);
  ui::on_tau50_toggled(off, config, shared);
  EXPECT_EQ(live(config), ProcessorConfig{});
  EXPECT_FALSE(shared->params_dirty.load());
}

TEST_F(MpxPanel, PoisonedPreEmphasisStillRaisesTheFlag) {
  ProcessorConfig cfg;
  cfg.mpx.tau = Tau::Us50;
  Desk desk(cfg, false);
  EXPECT_TRUE(desk.controls->tau50.widget->get_active());
  poison(*desk.config);
  desk.controls->tau75.widget->set_active(true);
  EXPECT_EQ(live(desk.config).mpx.tau, Tau::Us50);
  EXPECT_TRUE(desk.shared->params_dirty.load());
}

TEST_F(MpxPanel, LevelKnobsAreBoundToNothing) {
  Desk desk(ProcessorConfig{}, false);
  auto areas = find_all<Gtk::DrawingArea>(*desk.mpx);
  ASSERT_EQ(areas.size(), 4u);  // two knobs, two meters
  scroll(*areas[0], -20.0);
  scroll(*areas[1], -20.0);
  EXPECT_EQ(live(desk.config), ProcessorConfig{});
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

struct StatusCase {
  std::uint32_t rate;
  const char* text;
  const char* css;
};

class MpxStatusText : public DeskEnv, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(MpxStatusText, ShowsWhatTheRateAllows) {
  ProcessorConfig cfg;
  cfg.sample_rate = GetParam().rate;
  Desk desk(cfg, false);
  Gtk::Label* status = nullptr;
  for (auto* l : find_all<Gtk::Label>(*desk.mpx)) {
    if (l->has_css_class("mpx-status-ok") || l->has_css_class("mpx-status-off")) status = l;
  }
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->get_text(), GetParam().text);
  EXPECT_TRUE(status->has_css_class(GetParam().css));
}

INSTANTIATE_TEST_SUITE_P(
    Rates, MpxStatusText,
    ::testing::Values(StatusCase{44100, "MONO (44kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
                      StatusCase{48000, "MONO (48kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
                      StatusCase{95999, "MONO (95kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
                      StatusCase{96000, "ESTÉREO MPX\n96kHz", "mpx-status-ok"},
                      StatusCase{192000, "ESTÉREO MPX\n192kHz", "mpx-status-ok"}),
    [](const auto& info) { return std::to_string(info.param.rate); });

}  // namespace
}  // namespace velmora::test
