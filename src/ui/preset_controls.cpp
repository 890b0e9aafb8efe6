#include "ui/preset_controls.hpp"

#include <gtkmm/box.h>
#include <gtkmm/entry.h>
#include <unicode/uchar.h>

#include <algorithm>

#include "ui/bindings.hpp"
#include "ui/style.hpp"
#include "utf8.hpp"

namespace velmora::ui {
namespace {

// A name's characters that are measured at most: many more than a selector has room for,
// and few enough that a name of megabytes costs no more to show than a short one.
constexpr std::size_t kMeasuredChars = 256;
// A name's characters that its tooltip shows at most.
constexpr std::size_t kTooltipChars = 1000;
constexpr std::string_view kEllipsis = "\u2026";

// Byte offsets at which the first characters of `text` end, for at most `n` characters.
std::vector<std::size_t> char_ends(std::string_view text, std::size_t n) {
  std::vector<std::size_t> ends;
  for_each_char(text, [&](UChar32, std::string_view bytes) {
    if (ends.size() < n) ends.push_back(static_cast<std::size_t>(bytes.data() + bytes.size() - text.data()));
  });
  return ends;
}

int text_width(Gtk::Widget& widget, const std::string& text) {
  int width = 0;
  int height = 0;
  widget.create_pango_layout(text)->get_pixel_size(width, height);
  return width;
}

// What an item shows of `full` in `widget`'s font: the name on one line when it is at most
// `room` pixels wide, else as many of its first characters as fit with "…" after them.
std::string shown_name(Gtk::Widget& widget, const std::string& full, int room) {
  const std::string name = one_line(full);
  const auto ends = char_ends(name, kMeasuredChars + 1);
  if (ends.size() <= kMeasuredChars && text_width(widget, name) <= room) return name;
  // The most characters that fit with the ellipsis (blanks before it left out); none when not even one does.
  const auto shortened = [&](std::size_t n) {
    std::string start = name.substr(0, n == 0 ? 0 : ends[n - 1]);
    while (start.ends_with(' ')) start.pop_back();
    return start + std::string(kEllipsis);
  };
  std::size_t fit = 0;
  for (std::size_t over = std::min(ends.size(), kMeasuredChars) + 1; over - fit > 1;) {
    const std::size_t mid = fit + (over - fit) / 2;
    if (text_width(widget, shortened(mid)) <= room) {
      fit = mid;
    } else {
      over = mid;
    }
  }
  return shortened(fit);
}

// The selected name whole in the tooltip when the item shows it shortened, else the view's own tooltip.
void show_full_name(Gtk::ComboBoxText& selector, const char* tooltip) {
  const std::string name = one_line(selector.get_active_id().raw());
  if (selector.get_active_row_number() >= 0 && selector.get_active_text().raw() != name) {
    const auto ends = char_ends(name, kTooltipChars + 1);
    selector.set_tooltip_text(ends.size() <= kTooltipChars ? name
                                                           : name.substr(0, ends[kTooltipChars - 1]) +
                                                                 std::string(kEllipsis));
  } else {
    gtk_widget_set_tooltip_text(GTK_WIDGET(selector.gobj()), tooltip);
  }
}

Gtk::Button* button(const Glib::ustring& text, const Glib::ustring& css) {
  auto* b = Gtk::make_managed<Gtk::Button>(text);
  b->add_css_class(css);
  return b;
}

// Into one view's list and selector: a new name gets an item at the end.
void take_in(const PresetControls& c, const Preset& saved) {
  if (!holds_preset_named(*c.presets, saved.name)) c.append_item(saved.name);
  remove_presets_named(*c.presets, saved.name);
  c.presets->push_back(saved);
}

}  // namespace

std::shared_ptr<PresetControls> PresetControls::create(const SharedConfig& config, const char* load_tooltip,
                                                       const char* selector_tooltip) {
  auto c = std::make_shared<PresetControls>(PresetControls{
      std::make_shared<std::vector<Preset>>(all_presets()), Gtk::make_managed<Gtk::ComboBoxText>(),
      button("▶ LOAD", "btn-load"), button("● SAVE", "btn-save"), {}});
  for (const Preset& p : builtin_presets()) c->name_room = std::max(c->name_room, text_width(*c->selector, p.name));
  for (const Preset& p : *c->presets) c->append_item(p.name);
  c->selector->signal_changed().connect(
      [selector = c->selector, selector_tooltip] { show_full_name(*selector, selector_tooltip); });
  std::string last;
  config->with([&](const ProcessorConfig& cfg) { last = cfg.last_preset; });
  c->select(last);
  c->load->set_tooltip_text(load_tooltip);
  c->save->set_tooltip_text("Guardar configuración actual como preset");
  return c;
}

std::optional<Preset> PresetControls::find(std::string_view name) const {
  const auto it = std::find_if(presets->begin(), presets->end(),
                               [&](const Preset& p) { return p.name == name; });
  if (it == presets->end()) return std::nullopt;
  return *it;
}

std::optional<Preset> PresetControls::chosen() const {
  if (selector->get_active_row_number() < 0) return std::nullopt;
  return find(selector->get_active_id().raw());
}

void PresetControls::select(const std::string& name) const {
  // Every list starts with the built-ins, so the first item is "ROCK".
  if (name.empty() || !selector->set_active_id(name)) selector->set_active(0);
}

void PresetControls::offer(const Preset& saved) const {
  take_in(*this, saved);
  for (const auto& weak : linked) {
    if (auto other = weak.lock()) take_in(*other, saved);
  }
  selector->set_active_id(saved.name);
}

void PresetControls::append_item(const std::string& name) const {
  selector->append(name, shown_name(*selector, name, name_room));
}

void link_presets(const std::shared_ptr<PresetControls>& a, const std::shared_ptr<PresetControls>& b) {
  a->linked.push_back(b);
  b->linked.push_back(a);
}

Gtk::Window* present_save_dialog(const SaveDialogLayout& layout, SaveConfirm confirm) {
  auto* dialog = Gtk::make_managed<Gtk::Window>();
  if (layout.parent != nullptr) dialog->set_transient_for(*layout.parent);
  dialog->set_modal(true);
  dialog->set_title("Guardar preset");
  dialog->set_default_size(layout.width, -1);

  auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, layout.spacing);
  content->set_margin_start(layout.margin_x);
  content->set_margin_end(layout.margin_x);
  content->set_margin_top(layout.margin_y);
  content->set_margin_bottom(layout.margin_y);
  auto* prompt = styled_label("Nombre del preset:", "side-lbl");
  prompt->set_halign(Gtk::Align::START);
  auto* entry = Gtk::make_managed<Gtk::Entry>();
  entry->set_text("Mi preset");
  entry->set_hexpand(true);
  auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
  buttons->set_halign(Gtk::Align::END);
  auto* cancel = button("Cancelar", "btn-cancel");
  auto* confirm_button = button("Guardar", "btn-save");
  buttons->append(*cancel);
  buttons->append(*confirm_button);
  content->append(*prompt);
  content->append(*entry);
  content->append(*buttons);
  dialog->set_child(*content);

  cancel->signal_clicked().connect([dialog] { on_save_cancelled(*dialog); });
  confirm_button->signal_clicked().connect([entry, dialog, confirm = std::move(confirm)] {
    const std::string name = trim_white_space(entry->get_text().raw());
    if (!name.empty() && confirm(name)) dialog->destroy();
  });
  dialog->present();
  return dialog;
}

void on_save_cancelled(Gtk::Window& dialog) { dialog.destroy(); }

void load_preset(const SharedConfig& config, SharedState& shared, const Preset& preset) {
  edit_config(config, &shared, [&](ProcessorConfig& c) {
    preset.apply(c);
    c.last_preset = preset.name;
    c.guardar();
  });
}

std::optional<Preset> save_preset(const SharedConfig& config, const std::string& name,
                                  std::span<const Preset> listed, spdlog::logger& log) {
  std::optional<Preset> preset;
  config->with([&](const ProcessorConfig& c) { preset = Preset::from_config(name, c); });
  if (!preset) return std::nullopt;
  if (auto saved = preset->save(listed); !saved) {
    log.error("Error guardando preset: {}", saved.error());
    return std::nullopt;
  }
  return preset;
}

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

}  // namespace velmora::ui
