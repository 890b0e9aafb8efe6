#include "ui/rack/rack_view.hpp"

#include <glibmm/main.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/separator.h>
#include <sigc++/adaptors/track_obj.h>
#include <spdlog/fmt/fmt.h>

#include "ui/style.hpp"
#include "ui/widgets/meter.hpp"

namespace velmora::ui {

// Parts of the build that live beside their handlers.
void build_rack_presets(const std::shared_ptr<RackView>& v, Gtk::Box& right_panel);
void build_drawer(const std::shared_ptr<RackView>& v);

namespace {

constexpr int kRackHeight = 200;
constexpr int kRackMeterWidth = 20;
constexpr int kRackMeterHeight = 120;
constexpr int kZoneHeaderHeight = 30;
constexpr SliderRange kRackLimiterRange{-6.0, 0.0, 0.5};

Gtk::Widget* rack_meter(const MeterCell& cell, bool gr_mode) {
  Gtk::Widget* m = Meter::build(cell, gr_mode);
  m->set_size_request(kRackMeterWidth, kRackMeterHeight);
  return m;
}

Gtk::Box* box(Gtk::Orientation o, int spacing, const char* css = nullptr) {
  auto* b = Gtk::make_managed<Gtk::Box>(o, spacing);
  if (css != nullptr) b->add_css_class(css);
  return b;
}

// A centred header of the zone height holding an amber title.
Gtk::Box* zone_header(const Glib::ustring& title) {
  auto* header = box(Gtk::Orientation::HORIZONTAL, 0);
  header->set_size_request(-1, kZoneHeaderHeight);
  header->set_halign(Gtk::Align::CENTER);
  header->append(*styled_label(title, "rack-sml-amb"));
  return header;
}

Gtk::Box* build_left_zone(RackView& v) {
  auto* zone = box(Gtk::Orientation::VERTICAL, 4, "rack-left");
  zone->set_valign(Gtk::Align::CENTER);
  zone->set_halign(Gtk::Align::CENTER);
  if (Gtk::Image* logo = logo_image()) {
    logo->set_halign(Gtk::Align::CENTER);
    zone->append(*logo);
  }
  auto* name = styled_label("VELMORA", "rack-sml-amb");
  name->set_halign(Gtk::Align::CENTER);
  zone->append(*name);
  zone->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));

  auto* bands = box(Gtk::Orientation::HORIZONTAL, 4);
  bands->set_halign(Gtk::Align::CENTER);
  bands->append(*styled_label("BANDS", "rack-sml"));
  std::uint64_t n = ProcessorConfig{}.num_bands;
  v.config->with([&](const ProcessorConfig& c) { n = c.num_bands; });
  v.panel.band_count = make_band_count(active_band_count(n));
  bands->append(*v.panel.band_count);
  zone->append(*bands);

  auto* in = box(Gtk::Orientation::HORIZONTAL, 4);
  in->append(*styled_label("IN", "rack-sml"));
  v.panel.in_gain = make_scale(kGainRange);
  v.panel.in_gain->set_hexpand(true);
  v.panel.in_gain->set_tooltip_text("IN GAIN");
  bind_slider(v.bindings, *v.panel.in_gain, v.config, kInGain);
  in->append(*v.panel.in_gain);
  zone->append(*in);
  return zone;
}

// A strip: band number and range over its level and gain-reduction meters; a press of the
// primary button opens the drawer on this band.
Gtk::Box* build_strip(const std::shared_ptr<RackView>& v, std::size_t i, const std::string& range,
                      std::uint64_t n) {
  auto* strip = box(Gtk::Orientation::VERTICAL, 0);
  strip->set_hexpand(true);
  strip->set_vexpand(false);
  strip->set_valign(Gtk::Align::START);

  auto* header = box(Gtk::Orientation::VERTICAL, 1);
  header->set_halign(Gtk::Align::CENTER);
  header->set_size_request(-1, kZoneHeaderHeight);
  auto* number = styled_label(fmt::format("B{}", i + 1), "rack-bnum");
  number->set_halign(Gtk::Align::CENTER);
  auto* freq = styled_label(range, "rack-bfreq");
  freq->set_halign(Gtk::Align::CENTER);
  header->append(*number);
  header->append(*freq);
  strip->append(*header);

  auto* row = box(Gtk::Orientation::HORIZONTAL, 1);
  row->set_halign(Gtk::Align::CENTER);
  row->set_valign(Gtk::Align::START);
  const BandMeters& cells = v->shared->band_meters[i];
  for (bool gr : {false, true}) {
    Gtk::Widget* m = rack_meter(gr ? cells.gr : cells.level, gr);
    row->append(*m);
    v->meters.push_back(m);
  }
  strip->append(*row);

  auto click = Gtk::GestureClick::create();
  click->set_button(GDK_BUTTON_PRIMARY);
  click->signal_pressed().connect([v, i](int, double, double) {
    v->drawer.revealer->set_reveal_child(true);
    v->select_band(i);
  });
  strip->add_controller(click);

  show_band_active(*strip, i < n);
  v->strips.push_back({strip, freq});
  return strip;
}

Gtk::Box* build_io(RackView& v) {
  auto* zone = box(Gtk::Orientation::HORIZONTAL, 5, "rack-io-zone");
  zone->set_valign(Gtk::Align::START);
  const SharedState& s = *v.shared;
  Gtk::Widget* in_l = rack_meter(s.in_l, false);
  Gtk::Widget* in_r = rack_meter(s.in_r, false);
  Gtk::Widget* out_l = rack_meter(s.out_l, false);
  Gtk::Widget* out_r = rack_meter(s.out_r, false);
  Gtk::Widget* lim = rack_meter(s.limiter_gr, true);
  zone->append(*rack_view::build_io_zone("INPUT", *in_l, in_r));
  zone->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
  zone->append(*rack_view::build_io_zone("OUTPUT", *out_l, out_r));
  zone->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
  zone->append(*rack_view::build_io_zone("LIM", *lim, nullptr));
  v.meters.insert(v.meters.end(), {in_l, in_r, out_l, out_r, lim});
  return zone;
}

Gtk::Box* build_mpx(RackView& v) {
  auto* zone = box(Gtk::Orientation::VERTICAL, 4, "rack-mpx-zone");
  zone->set_valign(Gtk::Align::CENTER);
  v.mpx = Gtk::make_managed<Gtk::ToggleButton>("◉ MPX");
  v.mpx->add_css_class("rack-mpx-btn");
  v.config->with([&](const ProcessorConfig& c) { v.mpx->set_active(c.mpx.enabled); });
  v.bindings.add(v.mpx->signal_toggled().connect(
      [t = v.mpx, config = v.config] { on_rack_mpx_toggled(*t, config); }));
  zone->append(*v.mpx);
  zone->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  zone->append(*styled_label("PRE-EMPH", "rack-sml"));
  v.panel.tau = make_tau_buttons(v.bindings, v.config, v.shared, "75µs", "50µs", "rack-sml");
  zone->append(*v.panel.tau.us75);
  zone->append(*v.panel.tau.us50);
  return zone;
}

// The same output cells as the OUTPUT group.
Gtk::Box* build_mpx_out(RackView& v) {
  auto* zone = box(Gtk::Orientation::VERTICAL, 0, "rack-mpxout-zone");
  zone->set_valign(Gtk::Align::START);
  zone->append(*zone_header("MPX OUT"));
  auto* row = box(Gtk::Orientation::HORIZONTAL, 1);
  row->set_valign(Gtk::Align::START);
  for (const MeterCell* cell : {&v.shared->out_l, &v.shared->out_r}) {
    Gtk::Widget* m = rack_meter(*cell, false);
    row->append(*m);
    v.meters.push_back(m);
  }
  zone->append(*row);
  return zone;
}

Gtk::Box* build_right(const std::shared_ptr<RackView>& v) {
  auto* panel = box(Gtk::Orientation::VERTICAL, 4, "rack-right");
  panel->set_valign(Gtk::Align::CENTER);
  build_rack_presets(v, *panel);
  panel->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));

  auto out = rack_view::build_right_panel("OUT");
  bind_slider(v->bindings, *out.scale, v->config, kOutGain);
  out.row->append(*out.scale);
  v->panel.out_gain = out.scale;
  panel->append(*out.row);

  auto lim = rack_view::build_right_panel("LIM");
  lim.scale->set_range(kRackLimiterRange.min, kRackLimiterRange.max);
  bind_slider(v->bindings, *lim.scale, v->config, kLimiter);
  lim.row->append(*lim.scale);
  v->panel.limiter = lim.scale;
  panel->append(*lim.row);
  return panel;
}

}  // namespace

void RackView::show(const ProcessorConfig& c) const {
  const BandConfig band = c.bands[*drawer.selected_band];
  bindings.quietly([&] {
    panel.show(c);
    mpx->set_active(c.mpx.enabled);
    show_band_layout(strips, c.crossover_freqs, active_band_count(c.num_bands));
    drawer.knobs.show(band);
    drawer.checks.show(band);
  });
}

void RackView::show_live() const {
  if (const auto live = copy_config(config)) show(*live);
}

void RackView::select_band(std::size_t i) const {
  *drawer.selected_band = i;
  for (std::size_t k = 0; k < drawer.tabs.size(); ++k) {
    if (k == i) {
      drawer.tabs[k]->add_css_class("rack-tab-sel");
    } else {
      drawer.tabs[k]->remove_css_class("rack-tab-sel");
    }
  }
  // A copy of the band, shown after the lock is released; a poisoned lock leaves the controls.
  std::optional<BandConfig> band;
  config->with([&](const ProcessorConfig& c) { band = c.bands[i]; });
  if (!band) return;
  bindings.quietly([&] {
    drawer.knobs.show(*band);
    drawer.checks.show(*band);
  });
}

bool RackView::redraw_meters() const {
  for (Gtk::Widget* m : meters) m->queue_draw();
  return true;
}

namespace rack_view {

std::shared_ptr<RackView> build(const SharedConfig& config, const std::shared_ptr<SharedState>& shared) {
  auto v = std::make_shared<RackView>();
  v->config = config;
  v->shared = shared;
  v->root = box(Gtk::Orientation::VERTICAL, 0);
  v->root->set_valign(Gtk::Align::START);
  v->root->set_vexpand(false);
  auto* unit = box(Gtk::Orientation::HORIZONTAL, 0, "rack-3u");
  unit->set_vexpand(false);
  unit->set_size_request(-1, kRackHeight);

  unit->append(*build_left_zone(*v));

  // The lock can't be poisoned yet while the window is being built; defaults stand in if it were.
  const ProcessorConfig initial = copy_config(config).value_or(ProcessorConfig{});
  const std::uint64_t n = active_band_count(initial.num_bands);
  const auto texts = band_freq_labels(initial.crossover_freqs);

  // The strips' clicks open the drawer, so it exists first.
  v->drawer.revealer = Gtk::make_managed<Gtk::Revealer>();
  v->drawer.revealer->set_transition_type(Gtk::RevealerTransitionType::SLIDE_DOWN);
  v->drawer.revealer->set_transition_duration(220);
  v->drawer.revealer->set_reveal_child(false);

  auto* bands = box(Gtk::Orientation::HORIZONTAL, 0, "rack-bands-zone");
  bands->set_hexpand(true);
  for (std::size_t i = 0; i < kMaxBands; ++i) bands->append(*build_strip(v, i, texts[i], n));
  unit->append(*bands);
  unit->append(*build_io(*v));
  unit->append(*build_mpx(*v));
  unit->append(*build_mpx_out(*v));
  unit->append(*build_right(v));

  // on_rack_band_count_changed: the desk's handler, on the rack's strips.
  v->bindings.add(v->panel.band_count->signal_value_changed().connect(
      [spin = v->panel.band_count, config, shared, strips = v->strips] {
        on_band_count_changed(*spin, config, shared, strips);
      }));

  v->root->append(*unit);
  build_drawer(v);
  v->root->append(*v->drawer.revealer);
  v->select_band(0);

  // redraw_rack_meters, tied to the view so that it never touches meters that are gone.
  Glib::signal_timeout().connect(sigc::track_obj([v] { return v->redraw_meters(); }, *v->root),
                                 kMeterRedrawMs);
  return v;
}

Gtk::Box* build_io_zone(const Glib::ustring& title, Gtk::Widget& meter_a, Gtk::Widget* meter_b) {
  auto* group = box(Gtk::Orientation::VERTICAL, 0);
  group->set_halign(Gtk::Align::CENTER);
  group->set_valign(Gtk::Align::START);
  group->append(*zone_header(title));
  auto* row = box(Gtk::Orientation::HORIZONTAL, 1);
  row->set_valign(Gtk::Align::START);
  for (Gtk::Widget* m : {&meter_a, meter_b}) {
    if (m == nullptr) continue;
    m->set_size_request(kRackMeterWidth, kRackMeterHeight);
    row->append(*m);
  }
  group->append(*row);
  return group;
}

SliderRow build_right_panel(const Glib::ustring& caption) {
  auto* row = box(Gtk::Orientation::HORIZONTAL, 4);
  row->append(*styled_label(caption, "rack-sml"));
  Gtk::Scale* scale = make_scale(kGainRange);
  scale->set_hexpand(true);
  scale->set_tooltip_text(caption);
  return {row, scale};
}

}  // namespace rack_view
}  // namespace velmora::ui
