#include "ui/mpx_panel.hpp"

#include <glibmm/main.h>
#include <gtkmm/separator.h>

#include "ui/knob.hpp"
#include "ui/meter.hpp"
#include "ui/style.hpp"

namespace velmora::ui {
namespace {

void choose_tau(const Gtk::CheckButton& button, Tau tau, const SharedConfig& config,
                const std::shared_ptr<SharedState>& shared) {
  if (!button.get_active()) return;
  config->with([&](ProcessorConfig& c) { c.mpx.tau = tau; });
  shared->params_dirty.store(true);
}

Gtk::Separator* separator() {
  return Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL);
}

}  // namespace

void on_mpx_switch_changed(const Gtk::Switch& sw, const SharedConfig& config) {
  config->with([&](ProcessorConfig& c) { c.mpx.enabled = sw.get_active(); });
}

void on_tau75_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared) {
  choose_tau(button, Tau::Us75, config, shared);
}

void on_tau50_toggled(const Gtk::CheckButton& button, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared) {
  choose_tau(button, Tau::Us50, config, shared);
}

MpxStatus mpx_status(std::uint32_t sample_rate) {
  const std::string khz = std::to_string(sample_rate / 1000);
  if (sample_rate >= kStereoMinRate) return {"ESTÉREO MPX\n" + khz + "kHz", "mpx-status-ok"};
  return {"MONO (" + khz + "kHz)\n≥96kHz p/estéreo", "mpx-status-off"};
}

Gtk::Box* build_mpx_panel(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                          DeskControls& controls) {
  auto* panel = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 5);
  panel->add_css_class("mpx-panel");
  panel->set_vexpand(true);

  auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
  auto* title = styled_label("MPX", "mpx-title");
  title->set_hexpand(true);
  header->append(*title);
  auto* sw = Gtk::make_managed<Gtk::Switch>();
  config->with([&](const ProcessorConfig& c) { sw->set_active(c.mpx.enabled); });
  controls.mpx_switch = {sw, sw->property_active().signal_changed().connect(
                                 [sw, config] { on_mpx_switch_changed(*sw, config); })};
  header->append(*sw);
  panel->append(*header);

  // Built once: sample_rate has no control in the window.
  std::uint32_t rate = ProcessorConfig{}.sample_rate;
  config->with([&](const ProcessorConfig& c) { rate = c.sample_rate; });
  const MpxStatus status = mpx_status(rate);
  auto* status_label = styled_label(status.text, status.css_class);
  status_label->set_halign(Gtk::Align::CENTER);
  panel->append(*status_label);

  panel->append(*separator());
  panel->append(*styled_label("PRE-EMPHASIS", "mpx-lbl"));
  auto* tau75 = Gtk::make_managed<Gtk::CheckButton>("75 µs (NRSC)");
  auto* tau50 = Gtk::make_managed<Gtk::CheckButton>("50 µs (ITU)");
  tau75->add_css_class("mpx-tau");
  tau50->add_css_class("mpx-tau");
  tau50->set_group(*tau75);
  config->with([&](const ProcessorConfig& c) {
    (c.mpx.tau == Tau::Us75 ? tau75 : tau50)->set_active(true);
  });
  controls.tau75 = {tau75, tau75->signal_toggled().connect([tau75, config, shared] {
                      on_tau75_toggled(*tau75, config, shared);
                    })};
  controls.tau50 = {tau50, tau50->signal_toggled().connect([tau50, config, shared] {
                      on_tau50_toggled(*tau50, config, shared);
                    })};
  panel->append(*tau75);
  panel->append(*tau50);

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
  auto* out_l = Meter::build(shared->out_l, false);
  auto* out_r = Meter::build(shared->out_r, false);
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
