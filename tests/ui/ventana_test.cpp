// The main window (the program's own close, save and second start are run end to end).
#include <glibmm/main.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "settings/json_form.hpp"
#include "settings/presets.hpp"
#include "ui/gui_fixture.hpp"
#include "ui/ventana.hpp"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using Classes = std::vector<Glib::ustring>;

// Runs the main loop for `ms`.
void settle(int ms) { run_until([] { return false; }, std::chrono::milliseconds(ms)); }

// The toggles swap the views, their classes and the default size; stand-by flips the flag, label
// and class; neither is a setting. A view coming up shows what is in force and writes nothing. A
// name saved in one view is listed in the other, and loads in both what was saved last. Long
// names, one typed and one of megabytes from a file, are shortened in the selectors, whole in the
// tooltip (up to a thousand characters) while selected, and leave the window its width. A
// poisoned configuration is not saved at close.
TEST_F(GuiEnv, MainWindowSwitchesViewsThatShowWhatTheOtherLoadedOrSaved) {
  // Non-unique under its own ID: the test never hands over to a running Velmora.
  const auto app = Gtk::Application::create("org.velmora.VelmoraTest", Gio::Application::Flags::NON_UNIQUE);
  app->register_application();
  std::string huge_name;
  while (huge_name.size() < (3u << 20)) huge_name += "Morning Show ";
  fs::create_directories(presets_dir());
  std::ofstream(presets_dir() / "huge.json") << json_form::to_json(Preset::from_config(huge_name, ProcessorConfig{}));
  auto f = ui::build_window(*app);
  const ui::RackView& rack = *f->rack;
  const ui::DeskView& desk = *f->desk;
  // The first run applied "ROCK" after both views were built, saved it and raised the flag.
  EXPECT_EQ(rack.presets->selector->get_active_text(), "ROCK");
  EXPECT_FLOAT_EQ(rack.drawer.knobs.thr.value(), -24.0f);
  EXPECT_EQ(rack.strips[4].range->get_text(), ">6k");
  fs::remove(config_path());
  f->shared->params_dirty.store(false);

  const auto view = [&] {
    int w = 0, h = 0;
    f->window->get_default_size(w, h);
    return std::tuple{desk.root->get_visible(), rack.root->get_visible(), f->desk_toggle->get_css_classes(),
                      f->rack_toggle->get_css_classes(), w, h};
  };
  const Classes off{"rack-mode-btn"}, on{"rack-mode-btn", "rack-mode-btn-active"};
  EXPECT_EQ(view(), std::tuple(true, false, on, off, 1440, 700));  // before a shown window reports its real size
  const auto widths = [&] {  // ends in the rack view
    f->desk_toggle->set_active(true);
    f->window->present();
    settle(200);
    const int desk_width = f->window->get_width();
    f->rack_toggle->set_active(true);
    settle(200);
    return std::pair{desk_width, f->window->get_width()};
  };
  const auto normal = widths();
  f->desk_toggle->set_active(true);
  EXPECT_EQ(view(), std::tuple(true, false, on, off, 1440, 700));
  f->rack_toggle->set_active(true);
  EXPECT_EQ(view(), std::tuple(false, true, off, on, -1, -1));
  Gtk::ToggleButton& stby = *f->standby_toggle;
  const auto standby = [&] { return std::tuple{f->shared->bypass.load(), stby.get_label(), stby.get_css_classes()}; };
  stby.set_active(true);
  EXPECT_EQ(standby(), std::tuple(true, Glib::ustring("▶  BYPASS ON"), Classes{"rack-stby-on"}));
  stby.set_active(false);
  EXPECT_EQ(standby(), std::tuple(false, Glib::ustring("⏸  STAND BY"), Classes{"rack-stby-off"}));
  EXPECT_FALSE(fs::exists(config_path()));
  EXPECT_FALSE(f->shared->params_dirty.load());

  f->desk_toggle->set_active(true);
  desk.presets->selector->set_active_id("HARD BASS");
  click(*desk.presets->load);
  f->rack_toggle->set_active(true);
  EXPECT_EQ(rack.panel.band_count->get_value(), 6);
  EXPECT_EQ(rack.panel.out_gain->get_value(), -2.0);
  EXPECT_FLOAT_EQ(rack.drawer.knobs.gain.value(), 12.0f);

  rack.presets->selector->set_active_id("CLASIC");
  click(*rack.presets->load);
  const ProcessorConfig loaded = live(f->config);
  fs::remove(config_path());
  f->shared->params_dirty.store(false);
  f->desk_toggle->set_active(true);
  EXPECT_EQ(desk.panel.band_count->get_value(), 5);
  EXPECT_EQ(desk.panel.out_gain->get_value(), -1.0);
  EXPECT_FLOAT_EQ(desk.strips[0].knobs.thr.value(), loaded.bands[0].threshold_db);
  f->rack_toggle->set_active(true);
  EXPECT_EQ(live(f->config), loaded) << "showing wrote a value back";
  EXPECT_FALSE(fs::exists(config_path())) << "switching is not a save";
  EXPECT_FALSE(f->shared->params_dirty.load());

  const std::string long_name = huge_name.substr(0, 200);
  desk.panel.out_gain->set_value(4.0);
  save_as(*desk.presets->save, long_name);
  rack.panel.out_gain->set_value(-3.0);
  ASSERT_TRUE(rack.presets->selector->set_active_id(long_name)) << "a desk save is listed in the rack";
  click(*rack.presets->load);
  EXPECT_FLOAT_EQ(live(f->config).output_gain_db, 4.0f);
  EXPECT_EQ(rack.panel.out_gain->get_value(), 4.0);
  rack.panel.out_gain->set_value(5.0);
  save_as(*rack.presets->save, long_name);
  for (const auto& [p, tooltip] : {std::pair{desk.presets.get(), "Seleccionar preset"}, {rack.presets.get(), ""}}) {
    EXPECT_EQ(p->selector->get_model()->children().size(), 8u);
    EXPECT_EQ(p->selector->get_tooltip_text().raw(), long_name);
    EXPECT_TRUE(p->selector->get_active_text().raw().ends_with("…"));
    p->selector->set_active_id(huge_name);
    EXPECT_EQ(p->selector->get_tooltip_text().raw(), huge_name.substr(0, 1000) + "…");
    EXPECT_TRUE(p->selector->get_active_text().raw().ends_with("…"));
    p->selector->set_active_id("ROCK");
    EXPECT_EQ(p->selector->get_tooltip_text(), tooltip);
  }
  desk.panel.out_gain->set_value(-3.0);
  desk.presets->selector->set_active_id(long_name);
  click(*desk.presets->load);
  EXPECT_EQ(live(f->config).last_preset, long_name);
  EXPECT_FLOAT_EQ(live(f->config).output_gain_db, 5.0f);
  EXPECT_EQ(desk.panel.out_gain->get_value(), 5.0);
  EXPECT_EQ(widths(), normal);

  fs::remove(config_path());
  poison(*f->config);
  f->window->destroy();
  settle(50);
  EXPECT_FALSE(fs::exists(config_path()));
}

// A shutdown that comes while the program starts, before any window exists, still ends it.
TEST(CloseSignals, OneBeforeAnyWindowEndsTheRun) {
  const auto app = Gtk::Application::create("org.velmora.VelmoraSignalTest", Gio::Application::Flags::NON_UNIQUE);
  bool gave_up = false;
  sigc::connection guard;
  app->signal_activate().connect([&] {
    app->hold();
    ui::close_on_signals(*app);
    guard = Glib::signal_timeout().connect([&] { gave_up = true; app->quit(); return false; }, 5000);
    std::raise(SIGTERM);
  });
  EXPECT_EQ(app->run(), 0);
  guard.disconnect();
  EXPECT_FALSE(gave_up);
}

}  // namespace
}  // namespace velmora::test
