// The desk's side panels (band count and input gain on the left, output gain and limiter
// on the right) and its multiplex panel.
#include <glibmm/main.h>
#include <gtkmm/separator.h>
#include <sigc++/adaptors/track_obj.h>

#include "ui/desk/desk_view.hpp"
#include "ui/style.hpp"
#include "ui/widgets/knob.hpp"
#include "ui/widgets/meter.hpp"

namespace velmora::ui {
namespace {

constexpr int kSliderWidth = 80;
constexpr SliderRange kDeskLimiterRange{-6.0, 0.0, 0.1};

Gtk::Scale* desk_slider(DeskView& v, SliderRange range, const SliderField& field) {
  Gtk::Scale* scale = make_scale(range);
  bind_slider(v.bindings, *scale, v.config, field);
  scale->set_size_request(kSliderWidth, -1);
  return scale;
}

Gtk::Box* side_panel() {
  auto* panel = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
  panel->add_css_class("side-panel");
  panel->set_vexpand(true);
  return panel;
}

Gtk::Separator* separator() { return Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL); }

}  // namespace

Gtk::Box* build_left_panel(DeskView& v) {
  auto* panel = side_panel();
  panel->append(*styled_label("BANDS", "side-lbl"));
  panel->append(*v.panel.band_count);
  panel->append(*separator());
  panel->append(*styled_label("IN GAIN", "side-lbl"));
  v.panel.in_gain = desk_slider(v, kGainRange, kInGain);
  panel->append(*v.panel.in_gain);
  return panel;
}

Gtk::Box* build_right_panel(DeskView& v) {
  auto* panel = side_panel();
  panel->append(*styled_label("OUT GAIN", "side-lbl"));
  v.panel.out_gain = desk_slider(v, kGainRange, kOutGain);
  panel->append(*v.panel.out_gain);
  panel->append(*separator());
  panel->append(*styled_label("LIMITER", "side-lbl"));
  v.panel.limiter = desk_slider(v, kDeskLimiterRange, kLimiter);
  panel->append(*v.panel.limiter);
  return panel;
}

MpxStatus mpx_status(std::uint32_t sample_rate) {
  const std::string khz = std::to_string(sample_rate / 1000);
  if (sample_rate >= kStereoMinRate) return {"ESTÉREO MPX\n" + khz + "kHz", "mpx-status-ok"};
  return {"MONO (" + khz + "kHz)\n≥96kHz p/estéreo", "mpx-status-off"};
}

Gtk::Box* build_mpx_panel(DeskView& v) {
  auto* panel = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 5);
  panel->add_css_class("mpx-panel");
  panel->set_vexpand(true);

  auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
  auto* title = styled_label("MPX", "mpx-title");
  title->set_hexpand(true);
  header->append(*title);
  v.mpx_switch = Gtk::make_managed<Gtk::Switch>();
  v.config->with([&](const ProcessorConfig& c) { v.mpx_switch->set_active(c.mpx.enabled); });
  v.bindings.add(v.mpx_switch->property_active().signal_changed().connect(
      [sw = v.mpx_switch, config = v.config] { on_mpx_switch_changed(*sw, config); }));
  header->append(*v.mpx_switch);
  panel->append(*header);

  // Built once: sample_rate has no control in the window.
  std::uint32_t rate = ProcessorConfig{}.sample_rate;
  v.config->with([&](const ProcessorConfig& c) { rate = c.sample_rate; });
  const MpxStatus status = mpx_status(rate);
  auto* status_label = styled_label(status.text, status.css_class);
  status_label->set_halign(Gtk::Align::CENTER);
  panel->append(*status_label);

  panel->append(*separator());
  panel->append(*styled_label("PRE-EMPHASIS", "mpx-lbl"));
  v.panel.tau = make_tau_buttons(v.bindings, v.config, v.shared, "75 µs (NRSC)", "50 µs (ITU)", "mpx-tau");
  panel->append(*v.panel.tau.us75);
  panel->append(*v.panel.tau.us50);

  // Shown but bound to no setting.
  panel->append(*separator());
  panel->append(*styled_label("MPX LEVEL", "mpx-lbl"));
  panel->append(*Knob("LEVEL", "dB", -12.0f, 0.0f, -1.0f).widget);
  panel->append(*styled_label("PILOT 19kHz", "mpx-lbl"));
  panel->append(*Knob("LEVEL", "%", 5.0f, 15.0f, 9.0f).widget);

  panel->append(*separator());
  panel->append(*styled_label("MPX OUT", "mpx-lbl"));
  auto* meters = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 2);
  meters->set_halign(Gtk::Align::CENTER);
  auto* out_l = Meter::build(v.shared->out_l, false);
  auto* out_r = Meter::build(v.shared->out_r, false);
  meters->append(*out_l);
  meters->append(*out_r);
  panel->append(*meters);

  // redraw_mpx_meters. Tracking the meters ends the timer if they are ever destroyed
  // before the main loop, so it never touches a freed widget.
  Glib::signal_timeout().connect(sigc::track_obj(
                                     [out_l, out_r] {
                                       out_l->queue_draw();
                                       out_r->queue_draw();
                                       return true;
                                     },
                                     *out_l, *out_r),
                                 kMeterRedrawMs);
  return panel;
}

}  // namespace velmora::ui
