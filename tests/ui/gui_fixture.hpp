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

// A view's shared objects and a real window to show it in.
struct ViewWindow {
  explicit ViewWindow(ProcessorConfig cfg) : config(make_shared_config(std::move(cfg))) {}
  virtual ~ViewWindow() = default;
  // What both views have: presets, the panel controls and the strips' faces.
  virtual const ui::PresetControls& preset_controls() const = 0;
  virtual const ui::PanelControls& panel() const = 0;
  virtual std::vector<ui::StripFace> faces() const = 0;
  // The knobs and checks that show band 1 (the rack's drawer starts on it).
  virtual const ui::BandKnobs& band1() const = 0;
  virtual const ui::BandChecks& band1_checks() const = 0;
  virtual bool mpx_on() const = 0;
  // The knobs and checks that edit band b (the rack's drawer, after choosing its tab).
  virtual const ui::BandKnobs& knobs_of(std::size_t b) = 0;
  virtual const ui::BandChecks& checks_of(std::size_t b) = 0;
  virtual void set_mpx(bool on) = 0;
  // The nineteen meters: each band's level and reduction, the input, output and limiter
  // meters, then the multiplex output meters.
  virtual std::vector<Gtk::Widget*> meters() const = 0;
  void show(Gtk::Widget& root) {
    window.set_child(root);
    window.present();
    pump();
  }
  // Selects `name` and presses the view's "▶ LOAD".
  void load(const Glib::ustring& name) {
    preset_controls().selector->set_active_id(name);
    click(*preset_controls().load);
  }

  SharedConfig config;
  std::shared_ptr<SharedState> shared = SharedState::create();
  Gtk::Window window;
};

// The desk view built from what a load found; the first-run step only when asked.
struct Desk : ViewWindow {
  explicit Desk(ConfigLoad loaded, bool run_first_step = true)
      : ViewWindow(std::move(loaded.config)), view(ui::DeskView::build(config, shared, window)) {
    if (run_first_step) view->first_run(loaded.read);
    show(*view->root);
  }
  Desk(ProcessorConfig cfg, bool run_first_step) : Desk(ConfigLoad{std::move(cfg)}, run_first_step) {}

  std::vector<ui::BandStrip>& strips() { return view->strips; }
  Gtk::SpinButton& band_count() { return *view->panel.band_count; }
  Gtk::ComboBoxText& selector() { return *view->presets->selector; }
  const std::vector<Preset>& presets() { return *view->presets->presets; }
  const ui::PresetControls& preset_controls() const override { return *view->presets; }
  const ui::PanelControls& panel() const override { return view->panel; }
  std::vector<ui::StripFace> faces() const override { return view->faces(); }
  const ui::BandKnobs& band1() const override { return view->strips[0].knobs; }
  const ui::BandChecks& band1_checks() const override { return view->strips[0].checks; }
  bool mpx_on() const override { return view->mpx_switch->get_active(); }
  const ui::BandKnobs& knobs_of(std::size_t b) override { return view->strips[b].knobs; }
  const ui::BandChecks& checks_of(std::size_t b) override { return view->strips[b].checks; }
  void set_mpx(bool on) override { view->mpx_switch->set_active(on); }
  std::vector<Gtk::Widget*> meters() const override {
    std::vector<Gtk::Widget*> out;
    for (const auto& s : view->strips) out.insert(out.end(), {s.meter_vu, s.meter_gr});
    out.insert(out.end(), view->io_meters.begin(), view->io_meters.end());
    const auto areas = find_all<Gtk::DrawingArea>(*view->main_row);  // the multiplex panel's come last
    out.insert(out.end(), areas.end() - 2, areas.end());
    return out;
  }

  std::shared_ptr<ui::DeskView> view;
};

// The rack view built from `cfg`.
struct Rack : ViewWindow {
  explicit Rack(ProcessorConfig cfg) : ViewWindow(std::move(cfg)), view(ui::rack_view::build(config, shared)) {
    show(*view->root);
  }

  ui::RackDrawer& drawer() { return view->drawer; }
  Gtk::ComboBoxText& selector() { return *view->presets->selector; }
  const ui::PresetControls& preset_controls() const override { return *view->presets; }
  const ui::PanelControls& panel() const override { return view->panel; }
  std::vector<ui::StripFace> faces() const override { return view->strips; }
  const ui::BandKnobs& band1() const override { return view->drawer.knobs; }
  const ui::BandChecks& band1_checks() const override { return view->drawer.checks; }
  bool mpx_on() const override { return view->mpx->get_active(); }
  const ui::BandKnobs& knobs_of(std::size_t b) override {
    press(*view->drawer.tabs[b]);
    return view->drawer.knobs;
  }
  const ui::BandChecks& checks_of(std::size_t b) override {
    press(*view->drawer.tabs[b]);
    return view->drawer.checks;
  }
  void set_mpx(bool on) override { view->mpx->set_active(on); }
  std::vector<Gtk::Widget*> meters() const override { return view->meters; }

  std::shared_ptr<ui::RackView> view;
};

inline void notch_up(const ui::Knob& k) { scroll(*k.widget, 0.0, -1.0); }

// Both views, for tables that run over each.
using MakeView = std::unique_ptr<ViewWindow> (*)(ProcessorConfig);
inline std::unique_ptr<ViewWindow> make_desk(ProcessorConfig c) { return std::make_unique<Desk>(std::move(c), false); }
inline std::unique_ptr<ViewWindow> make_rack(ProcessorConfig c) { return std::make_unique<Rack>(std::move(c)); }

using Texts = std::array<std::string, 6>;
inline const std::string kDash = "\u2014";

inline Texts range_texts(const ViewWindow& v) {
  Texts out;
  const auto faces = v.faces();
  for (std::size_t i = 0; i < 6; ++i) out[i] = faces[i].range->get_text().raw();
  return out;
}

// Strips below n sensitive and opaque, the others insensitive and dimmed (opacity is kept in 8 bits).
inline void expect_active(const ViewWindow& v, std::uint64_t n) {
  const auto faces = v.faces();
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(faces[i].root->get_sensitive(), i < n) << "strip " << i;
    EXPECT_NEAR(faces[i].root->get_opacity(), i < n ? 1.0 : 0.22, 1.0 / 255) << "strip " << i;
  }
}

}  // namespace velmora::test
