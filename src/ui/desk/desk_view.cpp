#include "ui/desk/desk_view.hpp"

#include <gtkmm/separator.h>

#include "ui/style.hpp"
#include "ui/widgets/meter.hpp"

namespace velmora::ui {

std::shared_ptr<DeskView> DeskView::build(const SharedConfig& config,
                                          const std::shared_ptr<SharedState>& shared,
                                          Gtk::Window& window) {
  auto v = std::make_shared<DeskView>();
  v->config = config;
  v->shared = shared;
  v->window = &window;
  v->root = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
  v->header = build_header(*v);
  v->main_row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  v->main_row->set_vexpand(true);

  auto* band_area = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 3);
  build_band_area(*v, *band_area);
  v->header->append(*build_preset_section(v));

  v->main_row->append(*build_left_panel(*v));
  v->main_row->append(*band_area);
  v->main_row->append(*build_mpx_panel(*v));
  v->main_row->append(*build_right_panel(*v));
  v->root->append(*v->header);
  v->root->append(*v->main_row);
  return v;
}

std::vector<StripFace> DeskView::faces() const {
  std::vector<StripFace> out;
  for (const BandStrip& s : strips) out.push_back(s.face());
  return out;
}

void DeskView::show(const ProcessorConfig& c) const {
  bindings.quietly([&] {
    refresh_strips(strips, c);
    panel.show(c);
    mpx_switch->set_active(c.mpx.enabled);
  });
}

void DeskView::show_live() const {
  if (const auto live = copy_config(config)) show(*live);
}

bool DeskView::redraw_meters() const {
  for (Gtk::Widget* m : io_meters) m->queue_draw();
  for (const BandStrip& s : strips) {
    s.meter_vu->queue_draw();
    s.meter_gr->queue_draw();
  }
  return true;
}

Gtk::Box* build_header(DeskView& v) {
  auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
  header->add_css_class("rack-top");

  auto* brand = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
  brand->set_valign(Gtk::Align::CENTER);
  if (Gtk::Image* logo = logo_image()) brand->append(*logo);
  auto* titles = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
  titles->append(*styled_label("VELMORA", "rack-title"));
  titles->append(*styled_label("MULTI-BAND BROADCAST PROCESSOR", "rack-subtitle"));
  brand->append(*titles);
  header->append(*brand);
  header->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));

  const SharedState& s = *v.shared;
  v.io_meters = {Meter::build(s.in_l, false), Meter::build(s.in_r, false),
                 Meter::build(s.out_l, false), Meter::build(s.out_r, false),
                 Meter::build(s.limiter_gr, true)};
  const auto& m = v.io_meters;
  auto* meters = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
  meters->set_valign(Gtk::Align::CENTER);
  meters->append(*meter_col("INPUT", {m[0], m[1]}));
  meters->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
  meters->append(*meter_col("OUTPUT", {m[2], m[3]}));
  meters->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
  meters->append(*meter_col("LIM", {m[4]}));
  header->append(*meters);
  return header;
}

void build_band_area(DeskView& v, Gtk::Box& area) {
  // The lock can't be poisoned yet while the window is being built; defaults stand in if it were.
  const ProcessorConfig initial = copy_config(v.config).value_or(ProcessorConfig{});
  const std::uint64_t n = active_band_count(initial.num_bands);
  const auto texts = band_freq_labels(initial.crossover_freqs);

  for (std::size_t i = 0; i < kMaxBands; ++i) {
    v.strips.push_back(BandStrip::create(i, texts[i], v.shared->band_meters[i]));
  }
  for (std::size_t i = 0; i < kMaxBands; ++i) {
    wire_strip(v.strips[i], i, v.config, v.shared, v.bindings, n);
  }

  area.set_hexpand(true);
  area.set_vexpand(true);
  area.add_css_class("rack-center");
  for (const BandStrip& s : v.strips) area.append(*s.root);

  v.panel.band_count = make_band_count(n);
  v.bindings.add(v.panel.band_count->signal_value_changed().connect(
      [spin = v.panel.band_count, config = v.config, shared = v.shared, faces = v.faces()] {
        on_band_count_changed(*spin, config, shared, faces);
      }));
}

}  // namespace velmora::ui
