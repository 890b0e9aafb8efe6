// The rack's band drawer: the tab row (B1 to B6, "▲") above the knobs and checks of the
// selected band. Strip clicks open it; only "▲" closes it.
#include <gtkmm/button.h>
#include <gtkmm/gestureclick.h>
#include <spdlog/fmt/fmt.h>

#include "ui/rack/rack_view.hpp"
#include "ui/style.hpp"

namespace velmora::ui {

void build_drawer(const std::shared_ptr<RackView>& v) {
  RackDrawer& d = v->drawer;
  const BandPick selected = [sel = d.selected_band] { return *sel; };
  d.knobs.bind(v->config, v->shared, selected);
  // The drawer's "ON" is read from every snapshot, so it asks for no rebuild.
  d.checks.bind(v->bindings, v->config, v->shared, selected, false);

  auto* tabs = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 3);
  tabs->add_css_class("rack-drawer-tabs");
  for (std::size_t k = 0; k < kMaxBands; ++k) {
    auto* tab = styled_label(fmt::format("B{}", k + 1), "rack-tab");
    auto click = Gtk::GestureClick::create();
    click->set_button(GDK_BUTTON_PRIMARY);
    click->signal_pressed().connect([v, k](int, double, double) { v->select_band(k); });
    tab->add_controller(click);
    tabs->append(*tab);
    d.tabs.push_back(tab);
  }
  auto* spacer = Gtk::make_managed<Gtk::Label>("");
  spacer->set_hexpand(true);
  tabs->append(*spacer);
  d.collapse = Gtk::make_managed<Gtk::Button>("▲");
  d.collapse->add_css_class("rack-sml");
  d.collapse->signal_clicked().connect([revealer = d.revealer] { revealer->set_reveal_child(false); });
  tabs->append(*d.collapse);

  auto* knobs = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  knobs->set_halign(Gtk::Align::CENTER);
  for (const Knob* k : d.knobs.all()) knobs->append(*k->widget);
  knobs->append(*d.checks.clip);
  knobs->append(*d.checks.on);

  auto* drawer = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 3);
  drawer->add_css_class("rack-drawer");
  drawer->append(*tabs);
  drawer->append(*knobs);
  d.revealer->set_child(*drawer);
}

}  // namespace velmora::ui
