#pragma once
// Handles of the desk's one-of-a-kind controls, filled in as the window build makes
// them, so that a preset load can show the loaded settings on every one of them.
#include <gtkmm/checkbutton.h>
#include <gtkmm/scale.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/switch.h>
#include <sigc++/connection.h>

#include <vector>

#include "settings/config.hpp"
#include "ui/band_strip.hpp"

namespace velmora::ui {

// A control and the connection of its edit handler.
template <class W>
struct Handled {
  W* widget = nullptr;
  sigc::connection changed;
};

struct DeskControls {
  Handled<Gtk::SpinButton> band_count;
  Handled<Gtk::Scale> in_gain;
  Handled<Gtk::Scale> out_gain;
  Handled<Gtk::Scale> limiter;
  Handled<Gtk::Switch> mpx_switch;
  Handled<Gtk::CheckButton> tau75;
  Handled<Gtk::CheckButton> tau50;
};

// Shows a configuration that was just loaded into the live one: the strips through
// refresh_strips, every other control with its handler blocked, so that neither the
// band-count handler's default crossovers nor a slider's range clamp is written back.
// Call without holding the configuration lock.
void show_loaded_config(const DeskControls& controls, const std::vector<BandStrip>& strips,
                        const ProcessorConfig& config);

}  // namespace velmora::ui
