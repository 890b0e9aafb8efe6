#pragma once
// The desk's multiplex panel: on/off switch, the stereo status for the sample rate,
// the pre-emphasis choice, two display-only level knobs and the multiplex output
// meters with their own redraw timer. The pre-emphasis handlers also serve the
// rack view's buttons, each connection capturing its own references.
#include <gtkmm/box.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/switch.h>

#include <cstdint>
#include <memory>
#include <string>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/desk_controls.hpp"

namespace velmora::ui {

// "notify::active" of the switch: writes mpx.enabled; no flag, no save.
void on_mpx_switch_changed(const Gtk::Switch& sw, const SharedConfig& config);
// "toggled" of a pre-emphasis button: only the button that became active writes its Tau
// and raises params_dirty; the one that was just deactivated does nothing.
void on_tau75_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared);
void on_tau50_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared);

struct MpxStatus {
  std::string text;
  std::string css_class;
};
// Whether the sample rate can carry the stereo multiplex signal, as the panel says it.
MpxStatus mpx_status(std::uint32_t sample_rate);

// Records the switch and both pre-emphasis buttons in `controls`.
Gtk::Box* build_mpx_panel(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                          DeskControls& controls);

}  // namespace velmora::ui
