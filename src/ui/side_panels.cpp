#include "ui/side_panels.hpp"

#include <gtkmm/adjustment.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>
#include <gtkmm/separator.h>

#include "ui/style.hpp"

namespace velmora::ui {
namespace {

using GainField = float ProcessorConfig::*;
using SliderHandler = void (*)(const Gtk::Range&, const SharedConfig&);

void store(const Gtk::Range& scale, const SharedConfig& config, GainField field) {
  config->with([&](ProcessorConfig& c) { c.*field = static_cast<float>(scale.get_value()); });
}

struct SliderSpec {
  double min;
  double max;
  double step;
  GainField field;
  SliderHandler handler;
};

constexpr int kSliderWidth = 80;
constexpr SliderSpec kInGain{-12.0, 12.0, 0.5, &ProcessorConfig::input_gain_db, on_input_gain_changed};
constexpr SliderSpec kOutGain{-12.0, 12.0, 0.5, &ProcessorConfig::output_gain_db,
                              on_output_gain_changed};
constexpr SliderSpec kLimiter{-6.0, 0.0, 0.1, &ProcessorConfig::limiter_threshold, on_limiter_changed};

Handled<Gtk::Scale> make_slider(const SharedConfig& config, const SliderSpec& spec) {
  auto adjustment = Gtk::Adjustment::create(spec.min, spec.min, spec.max, spec.step, 10 * spec.step);
  auto* scale = Gtk::make_managed<Gtk::Scale>(adjustment, Gtk::Orientation::HORIZONTAL);
  scale->set_digits(1);
  config->with([&](const ProcessorConfig& c) { scale->set_value(c.*spec.field); });
  scale->set_size_request(kSliderWidth, -1);
  auto changed = scale->signal_value_changed().connect(
      [scale, config, handler = spec.handler] { handler(*scale, config); });
  return {scale, changed};
}

Gtk::Label* caption(const Glib::ustring& text) { return styled_label(text, "side-lbl"); }

Gtk::Box* side_panel() {
  auto* panel = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
  panel->add_css_class("side-panel");
  panel->set_vexpand(true);
  return panel;
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

Gtk::Box* build_left_panel(const SharedConfig& config, DeskControls& controls) {
  auto* panel = side_panel();
  panel->append(*caption("BANDS"));
  panel->append(*controls.band_count.widget);
  panel->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  panel->append(*caption("IN GAIN"));
  controls.in_gain = make_slider(config, kInGain);
  panel->append(*controls.in_gain.widget);
  return panel;
}

Gtk::Box* build_right_panel(const SharedConfig& config, DeskControls& controls) {
  auto* panel = side_panel();
  panel->append(*caption("OUT GAIN"));
  controls.out_gain = make_slider(config, kOutGain);
  panel->append(*controls.out_gain.widget);
  panel->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  panel->append(*caption("LIMITER"));
  controls.limiter = make_slider(config, kLimiter);
  panel->append(*controls.limiter.widget);
  return panel;
}

}  // namespace velmora::ui
