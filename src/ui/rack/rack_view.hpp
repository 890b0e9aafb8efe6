#pragma once
// The rack view: a 3U unit of the same settings as the desk. From left to right a left
// zone (logo, name, band count, input gain), six narrow band strips (a click opens the
// band drawer), the input, output and limiter meters, the multiplex switch with its
// pre-emphasis choice, the multiplex output meters and a right panel (presets, output
// gain, limiter threshold); below the unit hangs the drawer that edits one band.
#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/revealer.h>
#include <gtkmm/scale.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/togglebutton.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/band_controls.hpp"
#include "ui/bindings.hpp"
#include "ui/panel_controls.hpp"
#include "ui/preset_controls.hpp"

namespace velmora::ui {

// The drawer below the unit: tabs B1 to B6 with "▲", then the six knobs, "CLIP" and "ON"
// of the selected band.
struct RackDrawer {
  Gtk::Revealer* revealer = nullptr;
  std::vector<Gtk::Label*> tabs;  // B1 first
  Gtk::Button* collapse = nullptr;
  BandKnobs knobs;
  BandChecks checks;
  // The band the drawer edits, 0..5; the knob handlers read it on every edit.
  std::shared_ptr<std::size_t> selected_band = std::make_shared<std::size_t>(0);
};

struct RackView : std::enable_shared_from_this<RackView> {
  SharedConfig config;
  std::shared_ptr<SharedState> shared;
  Bindings bindings;

  std::vector<Gtk::Widget*> meters;  // the nineteen meters, in display-table order
  Gtk::Box* root = nullptr;          // the 3U unit, then the drawer
  PanelControls panel;            // band count, gains, limiter, pre-emphasis
  std::vector<StripFace> strips;  // band 1 first
  Gtk::ToggleButton* mpx = nullptr;
  std::shared_ptr<PresetControls> presets;
  RackDrawer drawer;

  // Shows a configuration that is now the live one on every control, the drawer's band
  // included, with every handler held back.
  void show(const ProcessorConfig& config) const;
  // Shows the live configuration; nothing when the lock is poisoned.
  void show_live() const;
  // Makes band i the drawer's band: tab highlight, knobs and checks follow it.
  void select_band(std::size_t i) const;
  bool redraw_meters() const;
};

namespace rack_view {

// Builds the whole view from the configuration and starts its 33 ms meter timer; every
// handler is connected after its control shows its value, so the build writes nothing.
std::shared_ptr<RackView> build(const SharedConfig& config, const std::shared_ptr<SharedState>& shared);

// One titled group of the IO zone: the title above one or two 20 × 120 meters.
Gtk::Box* build_io_zone(const Glib::ustring& title, Gtk::Widget& meter_a, Gtk::Widget* meter_b);

// One captioned row of the right panel and its scale (−12..12, step 0.5), which the
// caller ranges, binds and appends.
struct SliderRow {
  Gtk::Box* row;
  Gtk::Scale* scale;
};
SliderRow build_right_panel(const Glib::ustring& caption);

}  // namespace rack_view

// The rack's preset handlers.
void on_rack_load_clicked(const RackView& v);
Gtk::Window* show_save_dialog_rack(const RackView& v);
bool on_rack_save_confirmed(const std::string& name, const RackView& v);

}  // namespace velmora::ui
