// The rack's preset controls: LOAD shows what it applied, and the save dialog.
#include <gtest/gtest.h>
#include <gtkmm/entry.h>

#include <fstream>

#include "settings/presets.hpp"
#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

class RackPresets : public GuiEnv {
 protected:
  static std::vector<Gtk::Window*> dialogs() { return windows_titled("Guardar preset"); }
  static int items(Gtk::ComboBoxText& selector) { return selector.get_model()->children().size(); }
  static void save_as(Rack& rack, const Glib::ustring& typed) {
    click(*rack.view->presets->save);
    ASSERT_EQ(dialogs().size(), 1u);
    find_all<Gtk::Entry>(*dialogs()[0]).at(0)->set_text(typed);
    click(find_button(*dialogs()[0], "Guardar"));
  }
  static Preset user_preset(const std::string& name, std::uint64_t bands, Crossovers freqs) {
    Preset p = Preset::from_config(name, ProcessorConfig{});
    p.num_bands = bands;
    p.crossover_freqs = freqs;
    EXPECT_TRUE(p.save().ok());
    return p;
  }
  bool logged_rack(const std::string& level, const std::string& message) const {
    return logs().find(level + " velmora::ui::rack_view] " + message + "\n") != std::string::npos;
  }
};

TEST_F(RackPresets, LoadOfHardBassShowsItEverywhereAndLogsNothing) {
  Rack rack(ProcessorConfig{});
  rack.load("HARD BASS");
  const ProcessorConfig c = live(rack.config);
  EXPECT_EQ(c.num_bands, 6u);
  EXPECT_EQ(c.crossover_freqs, (Crossovers{80, 320, 1200, 4800, 12000}));
  EXPECT_TRUE(rack.shared->params_dirty.load());
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "HARD BASS");

  const ui::RackView& v = *rack.view;
  EXPECT_EQ(v.panel.band_count->get_value(), 6);
  EXPECT_EQ(v.panel.out_gain->get_value(), -2.0);
  EXPECT_EQ(v.panel.limiter->get_value(), static_cast<double>(-0.2f));
  EXPECT_EQ(v.strips[5].range->get_text(), ">12k");
  EXPECT_TRUE(v.strips[5].root->get_sensitive());
  EXPECT_FLOAT_EQ(v.drawer.knobs.thr.value(), -16.0f);
  EXPECT_FLOAT_EQ(v.drawer.knobs.gain.value(), 12.0f);
  EXPECT_EQ(c, ProcessorConfig::cargar()) << "showing it wrote nothing back";
  EXPECT_EQ(logs().find("velmora::ui"), std::string::npos) << logs();
}

// The band-count control is shown, not run: the preset's own crossovers stay in force.
TEST_F(RackPresets, LoadKeepsAPresetsOwnCrossovers) {
  user_preset("Tres", 3, {250, 2500, 0, 0, 0});
  Rack rack(ProcessorConfig{});
  rack.load("Tres");
  EXPECT_EQ(live(rack.config).crossover_freqs, (Crossovers{250, 2500, 0, 0, 0}));
  EXPECT_EQ(rack.view->panel.band_count->get_value(), 3);
  EXPECT_EQ(rack.view->strips[1].range->get_text(), "250-2k");
  EXPECT_FALSE(rack.view->strips[3].root->get_sensitive());
}

TEST_F(RackPresets, PoisonedLoadOnlyRaisesTheFlag) {
  Rack rack(ProcessorConfig{});
  poison(*rack.config);
  rack.load("HARD BASS");
  EXPECT_EQ(live(rack.config), ProcessorConfig{});
  EXPECT_TRUE(rack.shared->params_dirty.load());
  EXPECT_EQ(rack.view->panel.band_count->get_value(), 5);
  EXPECT_FALSE(std::filesystem::exists(config_path()));
}

TEST_F(RackPresets, SaveStoresTheNameAsLastPresetAndMovesRepeatsToTheEnd) {
  Rack rack(ProcessorConfig{});
  save_as(rack, " Mi preset ");
  EXPECT_TRUE(std::filesystem::exists(presets_dir() / "Mi_preset.json"));
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "Mi preset");
  EXPECT_EQ(rack.selector().get_active_text(), "Mi preset");
  EXPECT_TRUE(logged_rack("INFO", "Preset 'Mi preset' guardado desde modo Rack"));
  EXPECT_TRUE(dialogs().empty());

  rack.view->panel.out_gain->set_value(4.0);
  save_as(rack, "Mi preset");
  EXPECT_EQ(items(rack.selector()), 7);
  EXPECT_EQ(rack.view->presets->presets->back().name, "Mi preset");
  EXPECT_FLOAT_EQ(rack.view->presets->presets->back().output_gain_db, 4.0f);
}

TEST_F(RackPresets, BlankNamePoisonedLockOrCancelSaveNothing) {
  Rack rack(ProcessorConfig{});
  save_as(rack, "  ");
  EXPECT_EQ(dialogs().size(), 1u);
  click(find_button(*dialogs().at(0), "Cancelar"));
  EXPECT_TRUE(dialogs().empty());

  poison(*rack.config);
  save_as(rack, "Nuevo");
  EXPECT_EQ(dialogs().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(presets_dir()));
  EXPECT_FALSE(std::filesystem::exists(config_path()));
}

// A preset that never reached its file is not reported as saved, nor stored as last_preset.
TEST_F(RackPresets, UnwritablePresetsFolderChangesNothingAndKeepsTheDialogOpen) {
  std::filesystem::create_directories(presets_dir().parent_path());
  std::ofstream(presets_dir()) << "not a folder";
  Rack rack(ProcessorConfig{});
  save_as(rack, "Nuevo");
  EXPECT_TRUE(logs().find("ERROR velmora::ui::rack_view] Error guardando preset: ") != std::string::npos);
  EXPECT_EQ(logs().find("guardado"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(config_path()));
  EXPECT_EQ(live(rack.config).last_preset, "");
  EXPECT_EQ(items(rack.selector()), 6);
  EXPECT_EQ(dialogs().size(), 1u);
}

TEST_F(RackPresets, SelectorStartsOnTheStoredNameElseRock) {
  for (const auto& [stored, shown] : {std::pair{"", "ROCK"}, {"BLUE", "BLUE"}, {"Borrado", "ROCK"}}) {
    ProcessorConfig cfg;
    cfg.last_preset = stored;
    Rack rack(cfg);
    EXPECT_EQ(rack.selector().get_active_text(), shown) << stored;
  }
}

}  // namespace
}  // namespace velmora::test
