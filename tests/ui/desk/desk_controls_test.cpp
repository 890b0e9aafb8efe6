// The desk's multiplex panel: the pre-emphasis button that was just deactivated, the
// display-only knobs and the status text.
#include <gtest/gtest.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

Gtk::Widget& mpx_panel(const View& desk) {
  for (auto* c = desk.desk->main_row->get_first_child(); c != nullptr; c = c->get_next_sibling()) {
    if (c->has_css_class("mpx-panel")) return *c;
  }
  throw std::runtime_error("no multiplex panel");
}

class DeskControls : public GuiEnv {};

TEST_F(DeskControls, DeactivatedPreEmphasisButtonWritesNothing) {
  auto config = make_shared_config(ProcessorConfig{});
  auto shared = SharedState::create();
  Gtk::CheckButton off("75 µs (NRSC)");
  ui::on_tau75_toggled(off, config, shared);
  ui::on_tau50_toggled(off, config, shared);
  EXPECT_EQ(live(config), ProcessorConfig{});
  EXPECT_FALSE(shared->params_dirty.load());
}

// The status names what the rate allows, and the panel shows it; its level knobs only display.
TEST_F(DeskControls, MpxPanelShowsWhatTheRateAllowsAndItsKnobsEditNothing) {
  const std::tuple<std::uint32_t, const char*, const char*> rows[] = {
      {44100, "MONO (44kHz)\n≥96kHz p/estéreo", "mpx-status-off"}, {95999, "MONO (95kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
      {96000, "ESTÉREO MPX\n96kHz", "mpx-status-ok"}, {192000, "ESTÉREO MPX\n192kHz", "mpx-status-ok"}};
  for (const auto& [rate, text, css] : rows) {
    const ui::MpxStatus status = ui::mpx_status(rate);
    EXPECT_EQ(std::tie(status.text, status.css_class), std::make_tuple(std::string(text), std::string(css)));
  }
  ProcessorConfig cfg;
  cfg.sample_rate = 96000;
  const View desk(false, cfg);
  std::vector<Glib::ustring> shown;
  for (auto* l : find_all<Gtk::Label>(mpx_panel(desk))) {
    if (l->has_css_class("mpx-status-ok")) shown.push_back(l->get_text());
  }
  EXPECT_EQ(shown, std::vector<Glib::ustring>{"ESTÉREO MPX\n96kHz"});
  auto areas = find_all<Gtk::DrawingArea>(mpx_panel(desk));
  ASSERT_EQ(areas.size(), 4u);  // two knobs, two meters
  scroll(*areas[0], 0.0, -20.0);
  scroll(*areas[1], 0.0, -20.0);
  EXPECT_EQ(live(desk.config), cfg);
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

}  // namespace
}  // namespace velmora::test
