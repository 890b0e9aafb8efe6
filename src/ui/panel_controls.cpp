#include "ui/panel_controls.hpp"

#include <gtkmm/adjustment.h>

namespace velmora::ui {
namespace {

void store(const Gtk::Range& scale, const SharedConfig& config, float ProcessorConfig::*field) {
  edit_config(config, nullptr,
              [&](ProcessorConfig& c) { c.*field = static_cast<float>(scale.get_value()); });
}

void store_mpx_enabled(const SharedConfig& config, bool on) {
  edit_config(config, nullptr, [&](ProcessorConfig& c) { c.mpx.enabled = on; });
}

void choose_tau(const Gtk::CheckButton& button, Tau tau, const SharedConfig& config,
                const std::shared_ptr<SharedState>& shared) {
  if (!button.get_active()) return;
  edit_config(config, shared.get(), [&](ProcessorConfig& c) { c.mpx.tau = tau; });
}

}  // namespace

void on_input_gain_changed(const Gtk::Range& scale, const SharedConfig& config) {
  store(scale, config, &ProcessorConfig::input_gain_db);
}

void on_output_gain_changed(const Gtk::Range& scale, const SharedConfig& config) {
  store(scale, config, &ProcessorConfig::output_gain_db);
}

void on_limiter_changed(const Gtk::Range& scale, const SharedConfig& config) {
  store(scale, config, &ProcessorConfig::limiter_threshold);
}

void on_mpx_switch_changed(const Gtk::Switch& sw, const SharedConfig& config) {
  store_mpx_enabled(config, sw.get_active());
}

void on_rack_mpx_toggled(const Gtk::ToggleButton& toggle, const SharedConfig& config) {
  store_mpx_enabled(config, toggle.get_active());
}

void on_tau75_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared) {
  choose_tau(button, Tau::Us75, config, shared);
}

void on_tau50_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared) {
  choose_tau(button, Tau::Us50, config, shared);
}

Gtk::Scale* make_scale(SliderRange range) {
  auto adjustment =
      Gtk::Adjustment::create(range.min, range.min, range.max, range.step, 10 * range.step);
  auto* scale = Gtk::make_managed<Gtk::Scale>(adjustment, Gtk::Orientation::HORIZONTAL);
  scale->set_digits(1);
  scale->set_draw_value(false);
  return scale;
}

void bind_slider(Bindings& bindings, Gtk::Scale& scale, const SharedConfig& config,
                 const SliderField& slider) {
  config->with([&](const ProcessorConfig& c) { scale.set_value(c.*slider.field); });
  bindings.add(scale.signal_value_changed().connect(
      [&scale, config, handler = slider.handler] { handler(scale, config); }));
}

void PanelControls::show(const ProcessorConfig& c) const {
  band_count->set_value(static_cast<double>(c.num_bands));
  in_gain->set_value(c.input_gain_db);
  out_gain->set_value(c.output_gain_db);
  limiter->set_value(c.limiter_threshold);
  tau.show(c.mpx.tau);
}

TauButtons make_tau_buttons(Bindings& bindings, const SharedConfig& config,
                            const std::shared_ptr<SharedState>& shared, const char* label75,
                            const char* label50, const char* css_class) {
  TauButtons b{Gtk::make_managed<Gtk::CheckButton>(label75),
               Gtk::make_managed<Gtk::CheckButton>(label50)};
  b.us75->add_css_class(css_class);
  b.us50->add_css_class(css_class);
  b.us50->set_group(*b.us75);
  config->with([&](const ProcessorConfig& c) { b.show(c.mpx.tau); });
  bindings.add(b.us75->signal_toggled().connect(
      [button = b.us75, config, shared] { on_tau75_toggled(*button, config, shared); }));
  bindings.add(b.us50->signal_toggled().connect(
      [button = b.us50, config, shared] { on_tau50_toggled(*button, config, shared); }));
  return b;
}

}  // namespace velmora::ui
