// The desk's multiplex panel: the pre-emphasis button that was just deactivated, the
// display-only knobs and the status text.
#include <gtest/gtest.h>
#include <gtkmm/label.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

TEST_F(GuiEnv, DeactivatedPreEmphasisButtonWritesNothing) {
  auto config = make_shared_config(ProcessorConfig{});
  auto shared = SharedState::create();
  Gtk::CheckButton off("75 µs (NRSC)");
  ui::on_tau75_toggled(off, config, shared);
  ui::on_tau50_toggled(off, config, shared);
  EXPECT_EQ(live(config), ProcessorConfig{});
  EXPECT_FALSE(shared->params_dirty.load());
}

// The status names what the rate allows, and the panel shows it; its level knobs only display.
TEST_F(GuiEnv, MpxPanelShowsWhatTheRateAllowsAndItsKnobsEditNothing) {
  const std::tuple<std::uint32_t, const char*, const char*> rows[] = {
      {44100, "MONO (44kHz)\n≥96kHz p/estéreo", "mpx-status-off"}, {95999, "MONO (95kHz)\n≥96kHz p/estéreo", "mpx-status-off"},
      {96000, "ESTÉREO MPX\n96kHz", "mpx-status-ok"}, {192000, "ESTÉREO MPX\n192kHz", "mpx-status-ok"}};
  for (const auto& [rate, text, css] : rows) {
    const ui::MpxStatus status = ui::mpx_status(rate);
    EXPECT_EQ(std::tie(status.text, status.css_class), std::make_tuple(std::string(text), std::string(css)));
  }
  ProcessorConfig cfg;
  cfg.sample_rate = 96000;
  const View v(false, cfg);
  std::vector<Glib::ustring> shown;
  for (auto* l : find_all<Gtk::Label>(*v.desk->root)) {
    if (l->has_css_class("mpx-status-ok")) shown.push_back(l->get_text());
  }
  EXPECT_EQ(shown, std::vector<Glib::ustring>{"ESTÉREO MPX\n96kHz"});
  // The multiplex panel's two knobs stand before its two meters, last in the main row.
  const auto areas = find_all<Gtk::DrawingArea>(*v.desk->main_row);
  for (auto k = areas.end() - 4; k != areas.end() - 2; ++k) EXPECT_TRUE(scroll(**k, 0.0, -20.0));
  EXPECT_EQ(live(v.config), cfg);
  EXPECT_FALSE(v.shared->params_dirty.load());
}

}  // namespace
}  // namespace velmora::test
