// The desk header's preset section ("PRESET", selector, "▶ LOAD", "● SAVE"), its save
// dialog and the first-run step that ends the desk's part of the window build.
#include "log.hpp"
#include "ui/desk/desk_view.hpp"
#include "ui/style.hpp"

namespace velmora::ui {
namespace {

spdlog::logger& ventana_log() { return log::get("velmora::ui::ventana"); }

}  // namespace

Gtk::Box* build_preset_section(const std::shared_ptr<DeskView>& v) {
  v->presets = PresetControls::create(v->config, "Aplicar preset seleccionado", "Seleccionar preset");
  const PresetControls& p = *v->presets;
  p.selector->add_css_class("preset-combo");
  p.load->signal_clicked().connect([v] { on_load_clicked(*v); });
  p.save->signal_clicked().connect([v] { show_save_dialog(*v); });

  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 5);
  box->set_halign(Gtk::Align::END);
  box->set_hexpand(true);
  box->set_valign(Gtk::Align::CENTER);
  box->add_css_class("preset-section");
  box->append(*styled_label("PRESET", "preset-lbl"));
  box->append(*p.selector);
  box->append(*p.load);
  box->append(*p.save);
  return box;
}

void on_load_clicked(const DeskView& v) {
  const auto preset = v.presets->chosen();
  if (!preset) return;
  load_preset(v.config, *v.shared, *preset);
  // Shown from a copy, after the lock is released.
  const auto loaded = copy_config(v.config);
  if (!loaded) return;
  v.show(*loaded);
  ventana_log().info("Preset '{}' cargado y guardado", preset->name);
}

Gtk::Window* show_save_dialog(const DeskView& v) {
  return present_save_dialog({v.window, 300, 10, 16, 14},
                             [self = v.shared_from_this()](const std::string& name) {
                               return on_save_confirmed(name, *self);
                             });
}

// A preset that didn't reach its file is not reported as saved: the dialog stays open
// and no list offers it.
bool on_save_confirmed(const std::string& name, const DeskView& v) {
  const auto saved = save_preset(v.config, name, *v.presets->presets, ventana_log());
  if (!saved) return false;
  v.presets->offer(*saved);
  ventana_log().info("Preset '{}' guardado", name);
  return true;
}

// A file that was read keeps its values, also without a last_preset (an older version's, a
// provisioned one): only a start with nothing read is a first run.
void DeskView::first_run(bool config_read) const {
  std::string last;
  config->with([&](const ProcessorConfig& c) { last = c.last_preset; });

  if (!config_read) {
    const auto rock = presets->find("ROCK");
    if (!rock) return;
    load_preset(config, *shared, *rock);
    show_live();
    presets->select("ROCK");
    ventana_log().info("Primer arranque — preset ROCK aplicado y guardado");
    return;
  }
  show_live();
  presets->select(last);
  ventana_log().info("Preset previo restaurado: {}", last);
}

}  // namespace velmora::ui
