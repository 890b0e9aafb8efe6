#pragma once
// GUI tests over a private configuration folder with the log captured, and the views
// built by their own builders in a real window.
#include <glib.h>
#include <gtest/gtest.h>
#include <gtkmm/button.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/window.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "settings/config.hpp"
#include "log.hpp"
#include "ui/render.hpp"
#include "ui/desk/desk_view.hpp"
#include "ui/rack/rack_view.hpp"

namespace velmora::test {

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
std::vector<W*> find_all(Gtk::Widget& root) {
  std::vector<W*> out;
  if (auto* w = dynamic_cast<W*>(&root)) out.push_back(w);
  for (auto* c = root.get_first_child(); c != nullptr; c = c->get_next_sibling()) {
    for (W* w : find_all<W>(*c)) out.push_back(w);
  }
  return out;
}

inline Gtk::Button& find_button(Gtk::Widget& root, const Glib::ustring& label) {
  for (auto* b : find_all<Gtk::Button>(root)) {
    if (b->get_label() == label) return *b;
  }
  throw std::runtime_error("no button " + label);
}

// Emits "clicked" as a pointer click does (keyboard activation would wait for a timeout).
inline void click(Gtk::Button& b) {
  g_signal_emit_by_name(b.gobj(), "clicked");
  pump();
}

// Open top-level windows titled `title`.
inline std::vector<Gtk::Window*> windows_titled(const Glib::ustring& title) {
  std::vector<Gtk::Window*> out;
  for (auto* w : Gtk::Window::list_toplevels()) {
    if (w->get_title() == title && w->get_visible()) out.push_back(w);
  }
  return out;
}

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// XDG_CONFIG_HOME and HOME pointed at a fresh folder, and every log line from info up kept.
class GuiEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velmora-gui-XXXXXX";
    home_ = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    setenv("HOME", home_.c_str(), 1);  // no user's ALSA settings either
    log::init({{"", spdlog::level::info}}, std::make_shared<spdlog::sinks::ostream_sink_mt>(log_));
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

// One of the two views, built by its own builder in a real window.
struct View {
  // The rack, or the desk with its first-run step only when asked.
  View(bool is_rack, ConfigLoad loaded, bool run_first_step = false)
      : config(make_shared_config(std::move(loaded.config))) {
    if (is_rack) {
      rack = ui::rack_view::build(config, shared);
    } else {
      desk = ui::DeskView::build(config, shared, window);
      if (run_first_step) desk->first_run(loaded.read);
    }
    window.set_child(desk ? *desk->root : *rack->root);
    window.present();
    pump();
  }
  View(bool is_rack, ProcessorConfig cfg) : View(is_rack, ConfigLoad{std::move(cfg)}) {}

  const ui::PresetControls& presets() const { return desk ? *desk->presets : *rack->presets; }
  const ui::PanelControls& panel() const { return desk ? desk->panel : rack->panel; }
  std::vector<ui::StripFace> faces() const { return desk ? desk->faces() : rack->strips; }
  // The knobs and checks of band b: the desk's strip, or the drawer, which starts on band 1
  // and is moved to another by its tab.
  const ui::BandKnobs& knobs(std::size_t b = 0) const {
    if (desk) return desk->strips[b].knobs;
    if (b != 0) press(*rack->drawer.tabs[b]);
    return rack->drawer.knobs;
  }
  const ui::BandChecks& checks(std::size_t b = 0) const {
    if (desk) return desk->strips[b].checks;
    if (b != 0) press(*rack->drawer.tabs[b]);
    return rack->drawer.checks;
  }
  bool mpx() const { return desk ? desk->mpx_switch->get_active() : rack->mpx->get_active(); }
  void set_mpx(bool on) const { desk ? desk->mpx_switch->set_active(on) : rack->mpx->set_active(on); }
  // The nineteen meters: each band's level and reduction, the input, output and limiter
  // meters, then the multiplex output meters.
  std::vector<Gtk::Widget*> meters() const {
    if (rack) return rack->meters;
    std::vector<Gtk::Widget*> out;
    for (const auto& s : desk->strips) out.insert(out.end(), {s.meter_vu, s.meter_gr});
    out.insert(out.end(), desk->io_meters.begin(), desk->io_meters.end());
    const auto areas = find_all<Gtk::DrawingArea>(*desk->main_row);  // the multiplex panel's come last
    out.insert(out.end(), areas.end() - 2, areas.end());
    return out;
  }
  // Selects `name` and presses the view's "▶ LOAD".
  void load(const Glib::ustring& name) const {
    presets().selector->set_active_id(name);
    click(*presets().load);
  }

  SharedConfig config;
  std::shared_ptr<SharedState> shared = SharedState::create();
  Gtk::Window window;
  std::shared_ptr<ui::DeskView> desk;
  std::shared_ptr<ui::RackView> rack;
};

inline void notch_up(const ui::Knob& k) { scroll(*k.widget, 0.0, -1.0); }

// Names the rows of a table that runs over both views.
inline std::string view_name(const ::testing::TestParamInfo<bool>& info) { return info.param ? "rack" : "desk"; }

using Texts = std::array<std::string, 6>;
inline const std::string kDash = "\u2014";

inline Texts range_texts(const View& v) {
  Texts out;
  const auto faces = v.faces();
  for (std::size_t i = 0; i < 6; ++i) out[i] = faces[i].range->get_text().raw();
  return out;
}

// Strips below n sensitive and opaque, the others insensitive and dimmed (opacity is kept in 8 bits).
inline void expect_active(const View& v, std::uint64_t n) {
  const auto faces = v.faces();
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(faces[i].root->get_sensitive(), i < n) << "strip " << i;
    EXPECT_NEAR(faces[i].root->get_opacity(), i < n ? 1.0 : 0.22, 1.0 / 255) << "strip " << i;
  }
}

}  // namespace velmora::test
