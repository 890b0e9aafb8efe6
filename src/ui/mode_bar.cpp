// The mode bar above both views: the two view toggles and the stand-by toggle.
#include <gtkmm/label.h>

#include "ui/ventana.hpp"

namespace velmora::ui {

namespace {
const std::vector<Glib::ustring> kModeClasses{"rack-mode-btn"};
const std::vector<Glib::ustring> kModeActiveClasses{"rack-mode-btn", "rack-mode-btn-active"};
}  // namespace

Gtk::Box* build_mode_bar(WindowFrame& f) {
  auto* bar = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  bar->set_margin_bottom(4);

  f.desk_toggle = Gtk::make_managed<Gtk::ToggleButton>("⊞ ESCRITORIO");
  f.desk_toggle->set_css_classes(kModeActiveClasses);
  f.desk_toggle->set_active(true);

  // Grouped, so that exactly one of the two views is chosen.
  f.rack_toggle = Gtk::make_managed<Gtk::ToggleButton>("▣ RACK 3U");
  f.rack_toggle->set_css_classes(kModeClasses);
  f.rack_toggle->set_group(*f.desk_toggle);

  auto* spacer = Gtk::make_managed<Gtk::Label>("");
  spacer->set_hexpand(true);

  f.standby_toggle = Gtk::make_managed<Gtk::ToggleButton>("⏸  STAND BY");
  f.standby_toggle->set_css_classes({"rack-stby-off"});
  f.standby_toggle->set_tooltip_text("Bypass: compara entrada sin procesar con la salida");
  f.standby_toggle->signal_toggled().connect(
      [t = f.standby_toggle, shared = f.shared] { on_standby_toggled(*t, *shared); });

  bar->append(*f.desk_toggle);
  bar->append(*f.rack_toggle);
  bar->append(*spacer);
  bar->append(*f.standby_toggle);
  return bar;
}

void on_view_toggled(const WindowFrame& f) {
  // The view that comes up shows the settings in force, whichever view changed them.
  if (f.rack_toggle->get_active()) {
    f.rack->show_live();
    f.desk->root->set_visible(false);
    f.rack->root->set_visible(true);
    // The rack takes its own natural size.
    f.window->set_default_size(-1, -1);
    f.rack_toggle->set_css_classes(kModeActiveClasses);
    f.desk_toggle->set_css_classes(kModeClasses);
  } else {
    f.desk->show_live();
    f.rack->root->set_visible(false);
    f.desk->root->set_visible(true);
    f.window->set_default_size(kDeskWidth, kDeskHeight);
    f.rack_toggle->set_css_classes(kModeClasses);
    f.desk_toggle->set_css_classes(kModeActiveClasses);
  }
}

void on_standby_toggled(Gtk::ToggleButton& toggle, SharedState& shared) {
  const bool on = toggle.get_active();
  shared.bypass.store(on);
  if (on) {
    toggle.set_css_classes({"rack-stby-on"});
    toggle.set_label("▶  BYPASS ON");
  } else {
    toggle.set_css_classes({"rack-stby-off"});
    toggle.set_label("⏸  STAND BY");
  }
}

}  // namespace velmora::ui
