#pragma once
// The preset controls that each view has one set of: its own preset list, the selector,
// "▶ LOAD" and "● SAVE", and the save-preset dialog. The views differ in the handlers
// they connect and in the dialog's layout; the list rules are the same: a preset is
// found by name, byte for byte, first match, and a saved preset replaces every preset
// of its name at the end of the list.
#include <gtkmm/button.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/window.h>
#include <spdlog/logger.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.hpp"
#include "settings/presets.hpp"
#include "shared_state.hpp"

namespace velmora::ui {

using PresetList = std::shared_ptr<std::vector<Preset>>;

struct PresetControls {
  PresetList presets;
  // An item's id is the preset's name; its text is the name as one_line shows it, or when that
  // is wider than the widest built-in's name, its start followed by "…", so that no name widens
  // or heightens the selector (and the window). The selected item's tooltip then shows the whole
  // name, on one line too.
  Gtk::ComboBoxText* selector;
  Gtk::Button* load;
  Gtk::Button* save;
  // The other views' controls: a preset saved here is offered there too, so that a LOAD
  // there never applies an older copy of a preset overwritten here.
  std::vector<std::weak_ptr<PresetControls>> linked;
  int name_room = 0;  // pixels: the widest built-in name's width

  // The list from all_presets(), one selector item per preset, the stored last_preset
  // selected (the first item, "ROCK", when there is none or no item has that name).
  // `selector_tooltip` is the selector's tooltip while the selected name shows whole
  // (nullptr: none).
  static std::shared_ptr<PresetControls> create(const SharedConfig& config, const char* load_tooltip,
                                                const char* selector_tooltip);

  // The first preset of the list named `name`.
  std::optional<Preset> find(std::string_view name) const;
  // The selected preset, when the list holds its name.
  std::optional<Preset> chosen() const;
  // Selects the item named `name`, or the first item when no item has that name.
  void select(const std::string& name) const;
  // The list and the selector of this view and of every linked one offer `saved`;
  // this view's selector selects it.
  void offer(const Preset& saved) const;
  // Appends the item of the preset named `name` to the selector.
  void append_item(const std::string& name) const;
};

// Both lists offer each other's saves.
void link_presets(const std::shared_ptr<PresetControls>& a, const std::shared_ptr<PresetControls>& b);

// What the two save dialogs differ in.
struct SaveDialogLayout {
  Gtk::Window* parent;  // transient for this window; none when nullptr
  int width;
  int spacing;
  int margin_x;
  int margin_y;
};

// "Guardar" with the name trimmed of white space; true when the dialog may close.
using SaveConfirm = std::function<bool(const std::string& name)>;

// Presents the modal "Guardar preset" dialog and returns it at once. A blank name keeps
// it open without calling `confirm`.
Gtk::Window* present_save_dialog(const SaveDialogLayout& layout, SaveConfirm confirm);
void on_save_cancelled(Gtk::Window& dialog);

// The load of either view: copies the preset's processing fields into the live
// configuration, stores its name as last_preset and writes "config.json" while the lock
// is held, then raises the reload flag (also when a poisoned lock skipped the rest).
void load_preset(const SharedConfig& config, SharedState& shared, const Preset& preset);

// A preset named `name` from the live configuration, written to its file. Nothing when the
// lock is poisoned, or when the file could not be written or the save was refused (a built-in's
// name, one that passes for a built-in's or a `listed` name, a file holding another preset),
// which is logged on `log`.
std::optional<Preset> save_preset(const SharedConfig& config, const std::string& name,
                                  std::span<const Preset> listed, spdlog::logger& log);

// Unicode White_Space off both ends of UTF-8 text.
std::string trim_white_space(std::string_view s);

}  // namespace velmora::ui
