#pragma once
// The desk's side panels: band count and input gain on the left, output gain and
// limiter threshold on the right. The slider handlers also serve the rack view's
// sliders, each connection capturing its own SharedConfig.
#include <gtkmm/box.h>
#include <gtkmm/range.h>

#include "settings/config.hpp"
#include "ui/desk_controls.hpp"

namespace velmora::ui {

// "value-changed" of a gain or limiter scale: writes the field, raises no flag, saves nothing.
void on_input_gain_changed(const Gtk::Range& scale, const SharedConfig& config);
void on_output_gain_changed(const Gtk::Range& scale, const SharedConfig& config);
void on_limiter_changed(const Gtk::Range& scale, const SharedConfig& config);

// "BANDS" with the band-count spin button of `controls`, then "IN GAIN". Records the slider.
Gtk::Box* build_left_panel(const SharedConfig& config, DeskControls& controls);
// "OUT GAIN" and "LIMITER". Records both sliders in `controls`.
Gtk::Box* build_right_panel(const SharedConfig& config, DeskControls& controls);

}  // namespace velmora::ui
