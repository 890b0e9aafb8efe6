#pragma once
// The controls of both views that edit the gains, the limiter threshold and the
// multiplex settings. Each handler writes the same field whichever view its control
// belongs to; each connection captures its own references.
#include <gtkmm/checkbutton.h>
#include <gtkmm/range.h>
#include <gtkmm/scale.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/switch.h>
#include <gtkmm/togglebutton.h>

#include <memory>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/bindings.hpp"

namespace velmora::ui {

// "value-changed" of a gain or limiter scale: writes the field, raises no flag, saves nothing.
void on_input_gain_changed(const Gtk::Range& scale, const SharedConfig& config);
void on_output_gain_changed(const Gtk::Range& scale, const SharedConfig& config);
void on_limiter_changed(const Gtk::Range& scale, const SharedConfig& config);

// "notify::active" of the desk's switch and "toggled" of the rack's "◉ MPX": write
// mpx.enabled, which the audio side takes from its next snapshot, so no flag.
void on_mpx_switch_changed(const Gtk::Switch& sw, const SharedConfig& config);
void on_rack_mpx_toggled(const Gtk::ToggleButton& toggle, const SharedConfig& config);

// "toggled" of a pre-emphasis button: only the button that became active writes its Tau
// and raises the reload flag; the one that was just deactivated does nothing.
void on_tau75_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared);
void on_tau50_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared);

// A slider's range and step.
struct SliderRange {
  double min;
  double max;
  double step;
};

inline constexpr SliderRange kGainRange{-12.0, 12.0, 0.5};

// What a slider shows and which handler writes it back.
struct SliderField {
  float ProcessorConfig::*field;
  void (*handler)(const Gtk::Range&, const SharedConfig&);
};

inline constexpr SliderField kInGain{&ProcessorConfig::input_gain_db, on_input_gain_changed};
inline constexpr SliderField kOutGain{&ProcessorConfig::output_gain_db, on_output_gain_changed};
inline constexpr SliderField kLimiter{&ProcessorConfig::limiter_threshold, on_limiter_changed};

// A horizontal scale over `range`, its value not drawn.
Gtk::Scale* make_scale(SliderRange range);
// Shows the field on the scale, then connects the slider's handler, so that setting the
// value runs nothing.
void bind_slider(Bindings& bindings, Gtk::Scale& scale, const SharedConfig& config,
                 const SliderField& slider);

// The two pre-emphasis choices, grouped so that exactly one is active.
struct TauButtons {
  Gtk::CheckButton* us75;
  Gtk::CheckButton* us50;

  void show(Tau tau) const { (tau == Tau::Us75 ? us75 : us50)->set_active(true); }
};

// The controls that both views have one of each and show alike.
struct PanelControls {
  Gtk::SpinButton* band_count = nullptr;
  Gtk::Scale* in_gain = nullptr;
  Gtk::Scale* out_gain = nullptr;
  Gtk::Scale* limiter = nullptr;
  TauButtons tau{};

  // Call inside the view's Bindings::quietly: the spin button would otherwise write its
  // crossover table over the loaded one.
  void show(const ProcessorConfig& config) const;
};

// Both buttons with their labels and class, showing the configured choice, then connected.
TauButtons make_tau_buttons(Bindings& bindings, const SharedConfig& config,
                            const std::shared_ptr<SharedState>& shared, const char* label75,
                            const char* label50, const char* css_class);

}  // namespace velmora::ui
