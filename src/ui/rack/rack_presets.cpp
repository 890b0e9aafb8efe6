// The rack's preset controls at the top of its right panel: a narrow selector, "▶ LOAD"
// and "● SAVE", and its own save dialog.
#include <gtkmm/box.h>

#include "log.hpp"
#include "ui/rack/rack_view.hpp"

namespace velmora::ui {
namespace {

constexpr int kSelectorWidth = 80;

spdlog::logger& rack_log() { return log::get("velmora::ui::rack_view"); }

}  // namespace

void build_rack_presets(const std::shared_ptr<RackView>& v, Gtk::Box& right_panel) {
  v->presets = PresetControls::create(v->config, "Cargar preset seleccionado", nullptr);
  const PresetControls& p = *v->presets;
  p.selector->set_size_request(kSelectorWidth, -1);
  p.load->signal_clicked().connect([v] { on_rack_load_clicked(*v); });
  p.save->signal_clicked().connect([v] { show_save_dialog_rack(*v); });

  right_panel.append(*p.selector);
  auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 3);
  buttons->append(*p.load);
  buttons->append(*p.save);
  right_panel.append(*buttons);
}

// Applies the preset as stored, its own crossovers included, and shows it.
void on_rack_load_clicked(const RackView& v) {
  const auto preset = v.presets->chosen();
  if (!preset) return;
  load_preset(v.config, *v.shared, *preset);
  v.show_live();
}

Gtk::Window* show_save_dialog_rack(const RackView& v) {
  return present_save_dialog({nullptr, 260, 8, 14, 12},
                             [self = v.shared_from_this()](const std::string& name) {
                               return on_rack_save_confirmed(name, *self);
                             });
}

// A preset that didn't reach its file is not reported as saved: last_preset stays, and the
// dialog stays open.
bool on_rack_save_confirmed(const std::string& name, const RackView& v) {
  const auto saved = save_preset(v.config, name, *v.presets->presets, rack_log());
  if (!saved) return false;
  v.config->with([&](ProcessorConfig& c) {
    c.last_preset = name;
    c.guardar();
  });
  v.presets->offer(*saved);
  rack_log().info("Preset '{}' guardado desde modo Rack", name);
  return true;
}

}  // namespace velmora::ui
