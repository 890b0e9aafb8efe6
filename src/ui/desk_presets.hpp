#pragma once
// The desk header's preset section ("PRESET", selector, "▶ LOAD", "● SAVE"), the
// save-preset dialog and the first-run step that ends the desk's part of the build.
#include <gtkmm/box.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/entry.h>
#include <gtkmm/window.h>

#include <memory>
#include <vector>

#include "settings/config.hpp"
#include "settings/presets.hpp"
#include "shared_state.hpp"
#include "ui/band_strip.hpp"
#include "ui/desk_controls.hpp"

namespace velmora::ui {

// The desk's own preset list; GUI thread only, never synchronised with the rack's.
using PresetList = std::shared_ptr<std::vector<Preset>>;

struct PresetSection {
  Gtk::Box* box;  // the header's last child
  Gtk::ComboBoxText* selector;
  PresetList presets;
};

// `controls` may still be filling in: LOAD reads it only when clicked.
PresetSection build_preset_section(const SharedConfig& config,
                                   const std::shared_ptr<SharedState>& shared, const Strips& strips,
                                   const std::shared_ptr<DeskControls>& controls,
                                   Gtk::Window& window);

void on_load_clicked(const Gtk::ComboBoxText& selector, const PresetList& presets,
                     const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                     const std::vector<BandStrip>& strips, const DeskControls& controls);
void on_save_clicked(Gtk::Window& window, const SharedConfig& config, const PresetList& presets,
                     Gtk::ComboBoxText& selector);
// Presents the dialog and returns it at once, without waiting for the user.
Gtk::Window* show_save_dialog(Gtk::Window& window, const SharedConfig& config,
                              const PresetList& presets, Gtk::ComboBoxText& selector);
void on_save_confirmed(const Gtk::Entry& entry, const SharedConfig& config,
                       const PresetList& presets, Gtk::ComboBoxText& selector,
                       Gtk::Window& dialog);
void on_save_cancelled(Gtk::Window& dialog);

// First run (empty last_preset): apply and save "ROCK". Later runs: show the stored
// configuration and select the stored preset name.
void first_run(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
               const std::vector<BandStrip>& strips, const DeskControls& controls,
               Gtk::ComboBoxText& selector, const PresetList& presets);

}  // namespace velmora::ui
