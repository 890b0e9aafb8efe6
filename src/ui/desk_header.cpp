// The desk header: logo and title, then the INPUT / OUTPUT / LIM meter columns.
#include <gtkmm/image.h>
#include <gtkmm/separator.h>

#include "ui/meter.hpp"
#include "ui/style.hpp"
#include "ui/ventana.hpp"

namespace velmora::ui {

namespace {

Gtk::Box* build_brand(Gtk::Image* logo) {
  auto* brand = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
  brand->set_valign(Gtk::Align::CENTER);
  if (logo != nullptr) brand->append(*logo);

  auto* titles = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
  titles->append(*styled_label("VELMORA", "rack-title"));
  titles->append(*styled_label("MULTI-BAND BROADCAST PROCESSOR", "rack-subtitle"));
  brand->append(*titles);
  return brand;
}

}  // namespace

Gtk::Box* build_header(WindowFrame& f) {
  auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
  header->add_css_class("rack-top");
  header->append(*build_brand(logo_image()));
  header->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));

  const SharedState& s = *f.shared;
  Gtk::Widget* in_l = Meter::build(s.in_l, false);
  Gtk::Widget* in_r = Meter::build(s.in_r, false);
  Gtk::Widget* out_l = Meter::build(s.out_l, false);
  Gtk::Widget* out_r = Meter::build(s.out_r, false);
  Gtk::Widget* lim = Meter::build(s.limiter_gr, true);
  f.io_meters = std::make_shared<std::vector<Gtk::Widget*>>(
      std::vector<Gtk::Widget*>{in_l, in_r, out_l, out_r, lim});

  auto* meters = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
  meters->set_valign(Gtk::Align::CENTER);
  meters->append(*meter_col("INPUT", {in_l, in_r}));
  meters->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
  meters->append(*meter_col("OUTPUT", {out_l, out_r}));
  meters->append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::VERTICAL));
  meters->append(*meter_col("LIM", {lim}));
  header->append(*meters);
  return header;
}

}  // namespace velmora::ui
