#pragma once
// The desk view: the header (brand, INPUT / OUTPUT / LIM meters, preset section) above
// the main row (left side panel, six band strips, multiplex panel, right side panel).
// The window holds it as one object and shows or hides its root as one.
#include <gtkmm/box.h>
#include <gtkmm/scale.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/switch.h>
#include <gtkmm/window.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/band_controls.hpp"
#include "ui/bindings.hpp"
#include "ui/desk/band_strip.hpp"
#include "ui/panel_controls.hpp"
#include "ui/preset_controls.hpp"

namespace velmora::ui {

struct DeskView : std::enable_shared_from_this<DeskView> {
  SharedConfig config;
  std::shared_ptr<SharedState> shared;
  Gtk::Window* window = nullptr;  // the save dialog's parent
  Bindings bindings;

  Gtk::Box* root = nullptr;  // the desk view box: header, main row
  Gtk::Box* header = nullptr;
  Gtk::Box* main_row = nullptr;
  std::vector<Gtk::Widget*> io_meters;  // input L, input R, output L, output R, limiter
  std::vector<BandStrip> strips;        // band 1 first
  PanelControls panel;  // band count, gains, limiter, pre-emphasis
  Gtk::Switch* mpx_switch = nullptr;
  std::shared_ptr<PresetControls> presets;

  // Builds the whole view from the configuration; every handler is connected after its
  // control shows its value, so the build writes nothing.
  static std::shared_ptr<DeskView> build(const SharedConfig& config,
                                         const std::shared_ptr<SharedState>& shared,
                                         Gtk::Window& window);

  std::vector<StripFace> faces() const;
  // Shows a configuration that is now the live one, with every handler held back.
  void show(const ProcessorConfig& config) const;
  // Shows the live configuration; nothing when the lock is poisoned.
  void show_live() const;
  // First run (no configuration was read: "config.json" missing, rejected or unreadable):
  // apply and save "ROCK". Later runs, whatever last_preset holds: show the stored
  // configuration and select the stored preset name, or the first item.
  void first_run(bool config_read) const;
  // Queues a repaint of the header meters and of every strip's meters, active or not.
  bool redraw_meters() const;
};

// The parts of the build, in the order they are made.
Gtk::Box* build_header(DeskView& v);
void build_band_area(DeskView& v, Gtk::Box& main_row);
Gtk::Box* build_preset_section(const std::shared_ptr<DeskView>& v);
Gtk::Box* build_left_panel(DeskView& v);
Gtk::Box* build_mpx_panel(DeskView& v);
Gtk::Box* build_right_panel(DeskView& v);

// The multiplex status text and its class: whether the sample rate carries stereo.
struct MpxStatus {
  std::string text;
  std::string css_class;
};
MpxStatus mpx_status(std::uint32_t sample_rate);

// The desk's preset handlers.
void on_load_clicked(const DeskView& v);
Gtk::Window* show_save_dialog(const DeskView& v);
bool on_save_confirmed(const std::string& name, const DeskView& v);

}  // namespace velmora::ui
