#pragma once
// A desk assembled as the window build assembles it, in a real window, over a
// private configuration folder, with the log captured.
#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/window.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config.hpp"
#include "log.hpp"
#include "shared_state.hpp"
#include "ui/band_strip.hpp"
#include "ui/desk_controls.hpp"
#include "ui/desk_presets.hpp"
#include "ui/mpx_panel.hpp"
#include "ui/side_panels.hpp"

namespace velmora::test {

inline void pump() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// A throw inside a lock scope leaves the cell poisoned for good.
inline void poison(ConfigCell& cell) {
  try {
    auto held = cell.lock();
    throw 1;
  } catch (int) {
  }
}

// The live record, read even when poisoned.
inline ProcessorConfig live(const SharedConfig& config) { return *config->lock(); }

// Every widget of type W under root, depth first.
template <class W>
void collect(Gtk::Widget& root, std::vector<W*>& out) {
  if (auto* w = dynamic_cast<W*>(&root)) out.push_back(w);
  for (auto* c = root.get_first_child(); c != nullptr; c = c->get_next_sibling()) collect(*c, out);
}
template <class W>
std::vector<W*> find_all(Gtk::Widget& root) {
  std::vector<W*> out;
  collect(root, out);
  return out;
}

inline Gtk::Button* find_button(Gtk::Widget& root, const Glib::ustring& label) {
  for (auto* b : find_all<Gtk::Button>(root)) {
    if (b->get_label() == label) return b;
  }
  return nullptr;
}

// Emits "clicked" as a pointer click does (keyboard activation would wait for a timeout).
inline void click(Gtk::Button& b) {
  g_signal_emit_by_name(b.gobj(), "clicked");
  pump();
}

// Drives a knob through its own scroll controller, as a mouse wheel does.
inline void scroll(Gtk::Widget& widget, double dy) {
  GListModel* controllers = gtk_widget_observe_controllers(widget.gobj());
  for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
    auto* c = static_cast<GObject*>(g_list_model_get_item(controllers, i));
    if (GTK_IS_EVENT_CONTROLLER_SCROLL(c)) {
      gboolean handled = FALSE;
      g_signal_emit_by_name(c, "scroll", 0.0, dy, &handled);
    }
    g_object_unref(c);
  }
  g_object_unref(controllers);
}
inline void scroll(const ui::Knob& knob, double dy) { scroll(*knob.widget, dy); }

// Open top-level windows titled `title`.
inline std::vector<Gtk::Window*> windows_titled(const Glib::ustring& title) {
  std::vector<Gtk::Window*> out;
  for (auto* w : Gtk::Window::list_toplevels()) {
    if (w->get_title() == title && w->get_visible()) out.push_back(w);
  }
  return out;
}

// XDG_CONFIG_HOME pointed at a fresh folder, and every log line kept.
class DeskEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velmora-desk-XXXXXX";
    home_ = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    log::init({{"", spdlog::level::trace}}, std::make_shared<spdlog::sinks::ostream_sink_mt>(log_));
  }
  void TearDown() override {
    for (auto* d : windows_titled("Guardar preset")) d->destroy();
    pump();
    log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>());
    std::filesystem::remove_all(home_);
    unsetenv("XDG_CONFIG_HOME");
  }
  std::string logs() const { return log_.str(); }
  std::filesystem::path home_;
  std::ostringstream log_;
};

// Steps 9, 10, 11 and 15 of the window build, in a presented window.
struct Desk {
  explicit Desk(ProcessorConfig cfg, bool run_first_step = true)
      : config(make_shared_config(std::move(cfg))),
        band(ui::build_band_area(config, shared)),
        controls(std::make_shared<ui::DeskControls>()),
        section(ui::build_preset_section(config, shared, band.strips, controls, window)) {
    controls->band_count = {band.band_count, band.band_count_changed};
    auto* root = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
    root->append(*section.box);
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
    row->append(*ui::build_left_panel(config, *band.band_count, *controls));
    row->append(*band.area);
    mpx = ui::build_mpx_panel(config, shared, *controls);
    row->append(*mpx);
    row->append(*ui::build_right_panel(config, *controls));
    root->append(*row);
    if (run_first_step) {
      ui::first_run(config, shared, *band.strips, *controls, *section.selector, section.presets);
    }
    window.set_child(*root);
    window.present();
    pump();
  }

  std::vector<ui::BandStrip>& strips() { return *band.strips; }
  void load(const Glib::ustring& name) {
    section.selector->set_active_id(name);
    click(*find_button(*section.box, "▶ LOAD"));
  }

  SharedConfig config;
  std::shared_ptr<SharedState> shared = SharedState::create();
  Gtk::Window window;
  ui::BandArea band;
  std::shared_ptr<ui::DeskControls> controls;
  ui::PresetSection section;
  Gtk::Box* mpx = nullptr;
};

}  // namespace velmora::test
