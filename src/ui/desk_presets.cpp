#include "ui/desk_presets.hpp"

#include <gtkmm/button.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "log.hpp"
#include "ui/style.hpp"
#include "utf8.hpp"

namespace velmora::ui {
namespace {

spdlog::logger& ventana_log() { return log::get("velmora::ui::ventana"); }

std::optional<Preset> find_preset(const std::vector<Preset>& list, std::string_view name) {
  auto it = std::find_if(list.begin(), list.end(), [&](const Preset& p) { return p.name == name; });
  if (it == list.end()) return std::nullopt;
  return *it;
}

bool holds_name(const std::vector<Preset>& list, std::string_view name) {
  return std::any_of(list.begin(), list.end(), [&](const Preset& p) { return p.name == name; });
}

void select_or_first(Gtk::ComboBoxText& selector, const std::string& name) {
  if (name.empty() || !selector.set_active_id(name)) selector.set_active(0);
}

// Unicode White_Space off both ends; the text is UTF-8.
std::string trim_white_space(std::string_view s) {
  std::size_t begin = s.size();
  std::size_t end = 0;
  for_each_char(s, [&](UChar32 c, std::string_view bytes) {
    if (c >= 0 && u_isUWhiteSpace(c)) return;
    const auto at = static_cast<std::size_t>(bytes.data() - s.data());
    begin = std::min(begin, at);
    end = at + bytes.size();
  });
  return begin < end ? std::string(s.substr(begin, end - begin)) : std::string();
}

Gtk::Button* button(const Glib::ustring& text, const Glib::ustring& css) {
  auto* b = Gtk::make_managed<Gtk::Button>(text);
  b->add_css_class(css);
  return b;
}

}  // namespace

PresetSection build_preset_section(const SharedConfig& config,
                                   const std::shared_ptr<SharedState>& shared, const Strips& strips,
                                   const std::shared_ptr<DeskControls>& controls,
                                   Gtk::Window& window) {
  auto presets = std::make_shared<std::vector<Preset>>(all_presets());
  auto* selector = Gtk::make_managed<Gtk::ComboBoxText>();
  for (const Preset& p : *presets) selector->append(p.name, p.name);
  std::string last;
  config->with([&](const ProcessorConfig& c) { last = c.last_preset; });
  select_or_first(*selector, last);
  selector->add_css_class("preset-combo");
  selector->set_tooltip_text("Seleccionar preset");

  auto* load = button("▶ LOAD", "btn-load");
  load->set_tooltip_text("Aplicar preset seleccionado");
  auto* save = button("● SAVE", "btn-save");
  save->set_tooltip_text("Guardar configuración actual como preset");
  load->signal_clicked().connect([selector, presets, config, shared, strips, controls] {
    on_load_clicked(*selector, presets, config, shared, *strips, *controls);
  });
  save->signal_clicked().connect([&window, config, presets, selector] {
    on_save_clicked(window, config, presets, *selector);
  });

  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 5);
  box->set_halign(Gtk::Align::END);
  box->set_hexpand(true);
  box->set_valign(Gtk::Align::CENTER);
  box->add_css_class("preset-section");
  box->append(*styled_label("PRESET", "preset-lbl"));
  box->append(*selector);
  box->append(*load);
  box->append(*save);
  return {box, selector, presets};
}

void on_load_clicked(const Gtk::ComboBoxText& selector, const PresetList& presets,
                     const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                     const std::vector<BandStrip>& strips, const DeskControls& controls) {
  if (selector.get_active_row_number() < 0) return;
  const std::string name = selector.get_active_text();
  const auto preset = find_preset(*presets, name);
  if (!preset) return;

  config->with([&](ProcessorConfig& c) {
    preset->apply(c);
    c.last_preset = name;
    c.guardar();
  });
  shared->params_dirty.store(true);

  // Shown from a copy: the refresh runs handlers that take the lock.
  const auto loaded = copy_config(config);
  if (!loaded) return;
  show_loaded_config(controls, strips, *loaded);
  ventana_log().info("Preset '{}' cargado y guardado", preset->name);
}

void on_save_clicked(Gtk::Window& window, const SharedConfig& config, const PresetList& presets,
                     Gtk::ComboBoxText& selector) {
  show_save_dialog(window, config, presets, selector);
}

Gtk::Window* show_save_dialog(Gtk::Window& window, const SharedConfig& config,
                              const PresetList& presets, Gtk::ComboBoxText& selector) {
  auto* dialog = Gtk::make_managed<Gtk::Window>();
  dialog->set_transient_for(window);
  dialog->set_modal(true);
  dialog->set_title("Guardar preset");
  dialog->set_default_size(300, -1);

  auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 10);
  content->set_margin_start(16);
  content->set_margin_end(16);
  content->set_margin_top(14);
  content->set_margin_bottom(14);
  auto* prompt = styled_label("Nombre del preset:", "side-lbl");
  prompt->set_halign(Gtk::Align::START);
  auto* entry = Gtk::make_managed<Gtk::Entry>();
  entry->set_text("Mi preset");
  entry->set_hexpand(true);
  auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
  buttons->set_halign(Gtk::Align::END);
  auto* cancel = button("Cancelar", "btn-cancel");
  auto* confirm = button("Guardar", "btn-save");
  buttons->append(*cancel);
  buttons->append(*confirm);
  content->append(*prompt);
  content->append(*entry);
  content->append(*buttons);
  dialog->set_child(*content);

  cancel->signal_clicked().connect([dialog] { on_save_cancelled(*dialog); });
  confirm->signal_clicked().connect([entry, config, presets, &selector, dialog] {
    on_save_confirmed(*entry, config, presets, selector, *dialog);
  });
  dialog->present();
  return dialog;
}

void on_save_cancelled(Gtk::Window& dialog) { dialog.destroy(); }

void on_save_confirmed(const Gtk::Entry& entry, const SharedConfig& config,
                       const PresetList& presets, Gtk::ComboBoxText& selector,
                       Gtk::Window& dialog) {
  const std::string name = trim_white_space(entry.get_text().raw());
  if (name.empty()) return;
  std::optional<Preset> preset;
  config->with([&](const ProcessorConfig& c) { preset = Preset::from_config(name, c); });
  if (!preset) return;  // poisoned: nothing saved, the dialog stays open

  // A preset that didn't reach its file is not reported as saved: the dialog stays
  // open and the list and selector don't offer it for the rest of the run.
  if (auto saved = preset->save(); !saved) {
    ventana_log().error("Error guardando preset: {}", saved.error());
    return;
  }
  if (!holds_name(*presets, name)) selector.append(name, name);
  remove_presets_named(*presets, name);
  presets->push_back(std::move(*preset));
  selector.set_active_id(name);
  ventana_log().info("Preset '{}' guardado", name);
  dialog.destroy();
}

void first_run(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
               const std::vector<BandStrip>& strips, const DeskControls& controls,
               Gtk::ComboBoxText& selector, const PresetList& presets) {
  std::string last;
  config->with([&](const ProcessorConfig& c) { last = c.last_preset; });

  if (last.empty()) {
    const auto rock = find_preset(*presets, "ROCK");
    if (!rock) return;
    config->with([&](ProcessorConfig& c) {
      rock->apply(c);
      c.last_preset = "ROCK";
      c.guardar();
    });
    shared->params_dirty.store(true);
    if (const auto loaded = copy_config(config)) show_loaded_config(controls, strips, *loaded);
    selector.set_active_id("ROCK");
    ventana_log().info("Primer arranque — preset ROCK aplicado y guardado");
    return;
  }

  if (const auto stored = copy_config(config)) show_loaded_config(controls, strips, *stored);
  select_or_first(selector, last);
  ventana_log().info("Preset previo restaurado: {}", last);
}

}  // namespace velmora::ui
