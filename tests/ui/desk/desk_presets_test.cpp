// Desk preset section: first run, LOAD, and the save-preset dialog.
#include <gtest/gtest.h>
#include <gtkmm/entry.h>

#include <fstream>

#include "settings/presets.hpp"
#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

using Freqs = std::array<float, 5>;

class DeskPresets : public GuiEnv {
 protected:
  bool logged(const std::string& level, const std::string& message) const {
    return logs().find(level + " velmora::ui::ventana] " + message + "\n") != std::string::npos;
  }
  static int items(Gtk::ComboBoxText& selector) { return selector.get_model()->children().size(); }
  static std::vector<Gtk::Window*> dialogs() { return windows_titled("Guardar preset"); }
  // Opens the dialog from "● SAVE", types the name and presses "Guardar".
  static void save_as(Desk& desk, const Glib::ustring& typed) {
    click(find_button(*desk.view->header, "● SAVE"));
    ASSERT_EQ(dialogs().size(), 1u);
    find_all<Gtk::Entry>(*dialogs()[0]).at(0)->set_text(typed);
    click(find_button(*dialogs()[0], "Guardar"));
  }
  // A user preset file made from the defaults and `edit`.
  template <class F>
  static Preset user_preset(const std::string& name, F edit) {
    Preset p = Preset::from_config(name, ProcessorConfig{});
    edit(p);
    EXPECT_TRUE(p.save().ok());
    return p;
  }
};

TEST_F(DeskPresets, FirstRunAppliesAndSavesRock) {
  ASSERT_FALSE(std::filesystem::exists(config_path()));
  Desk desk(ProcessorConfig::cargar());
  const auto c = live(desk.config);
  EXPECT_EQ(c.last_preset, "ROCK");
  EXPECT_EQ(c.crossover_freqs, (Freqs{120, 400, 2000, 6000, 0}));
  EXPECT_EQ(ProcessorConfig::cargar(), c) << "config.json holds the applied preset";
  EXPECT_TRUE(desk.shared->params_dirty.load());

  const auto& b1 = desk.strips()[0];
  EXPECT_EQ((std::array{b1.knobs.thr.value(), b1.knobs.ratio.value(), b1.knobs.atk.value(), b1.knobs.rel.value(),
                        b1.knobs.gain.value(), b1.knobs.clip_level.value()}),
            (std::array{-24.0f, 4.0f, 15.0f, 200.0f, 4.0f, -0.5f}));
  EXPECT_EQ(desk.strips()[4].freq_label->get_text(), ">6k");
  EXPECT_EQ(desk.strips()[5].freq_label->get_text(), "\u2014");
  EXPECT_EQ(desk.selector().get_active_text(), "ROCK");
  EXPECT_TRUE(logged("INFO", "Primer arranque — preset ROCK aplicado y guardado"));
}

// "Borrado" names a preset whose file is gone: the first item is selected, the line still names it.
TEST_F(DeskPresets, LaterRunShowsTheStoredValuesAndSelectsTheStoredName) {
  for (auto [name, shown] : {std::pair{"BLUE", "BLUE"}, {"Borrado", "ROCK"}}) {
    ProcessorConfig stored;
    stored.last_preset = name;
    stored.bands[0].threshold_db = -7.0f;
    stored.num_bands = 3;
    stored.guardar();
    Desk desk(ProcessorConfig::cargar());
    EXPECT_EQ(live(desk.config), stored) << "nothing is applied again";
    EXPECT_FLOAT_EQ(desk.strips()[0].knobs.thr.value(), -7.0f);
    EXPECT_EQ(desk.band_count().get_value(), 3);
    EXPECT_EQ(desk.selector().get_active_text(), shown);
    EXPECT_TRUE(logged("INFO", std::string("Preset previo restaurado: ") + name));
  }
}

TEST_F(DeskPresets, LoadOfHardBassFromFiveBands) {
  Desk desk(ProcessorConfig::cargar());
  ASSERT_EQ(desk.band_count().get_value(), 5);
  desk.load("HARD BASS");
  const auto c = live(desk.config);
  EXPECT_EQ(c.num_bands, 6u);
  EXPECT_EQ(c.crossover_freqs, (Freqs{80, 320, 1200, 4800, 12000}));
  EXPECT_FLOAT_EQ(c.output_gain_db, -2.0f);
  EXPECT_EQ(desk.band_count().get_value(), 6);
  for (const auto& s : desk.strips()) EXPECT_TRUE(s.root->get_sensitive());
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "HARD BASS");
  EXPECT_TRUE(logged("INFO", "Preset 'HARD BASS' cargado y guardado"));
}

// The band-count handler must not swap a preset's own crossovers for the default table.
TEST_F(DeskPresets, LoadKeepsAPresetsOwnCrossovers) {
  const Preset user = user_preset("Tres", [](Preset& p) {
    p.num_bands = 3;
    p.crossover_freqs = {250, 2500, 0, 0, 0};
  });
  Desk desk(ProcessorConfig::cargar());
  ASSERT_EQ(desk.band_count().get_value(), 5);
  desk.load("Tres");

  const auto c = live(desk.config);
  EXPECT_EQ(c.num_bands, 3u);
  EXPECT_EQ(c.crossover_freqs, user.crossover_freqs);
  EXPECT_EQ(ProcessorConfig::cargar().crossover_freqs, user.crossover_freqs);
  EXPECT_EQ(desk.band_count().get_value(), 3);
  const std::array<std::string, 6> texts{"<250", "250-2k", ">2k", "\u2014", "\u2014", "\u2014"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(desk.strips()[i].freq_label->get_text().raw(), texts[i]) << i;
    EXPECT_EQ(desk.strips()[i].root->get_sensitive(), i < 3) << i;
  }
  // The spin button still edits: its handler was only held back during the load.
  desk.band_count().set_value(4);
  EXPECT_EQ(live(desk.config).crossover_freqs, (Freqs{150, 1000, 6000, 0, 0}));
}

TEST_F(DeskPresets, LoadOfClasicMovesTheOutGainAndLimiterSliders) {
  Desk desk(ProcessorConfig::cargar());
  desk.load("CLASIC");
  EXPECT_DOUBLE_EQ(desk.view->panel.out_gain->get_value(), -1.0);
  EXPECT_DOUBLE_EQ(desk.view->panel.limiter->get_value(), -1.0);
  EXPECT_FLOAT_EQ(live(desk.config).limiter_threshold, -1.0f);
}

// Values past a slider's range are shown clamped but never written back clamped.
TEST_F(DeskPresets, LoadShowsEveryPanelControlAndWritesOnlyTheLoadedValues) {
  const Preset user = user_preset("Fuera", [](Preset& p) {
    p.input_gain_db = 30.0f;
    p.output_gain_db = -20.0f;
    p.limiter_threshold = -9.0f;
    p.mpx.enabled = true;
    p.mpx.tau = Tau::Us50;
  });
  Desk desk(ProcessorConfig::cargar());
  desk.load("Fuera");

  const ui::DeskView& c = *desk.view;
  EXPECT_DOUBLE_EQ(c.panel.in_gain->get_value(), 12.0);
  EXPECT_DOUBLE_EQ(c.panel.out_gain->get_value(), -12.0);
  EXPECT_DOUBLE_EQ(c.panel.limiter->get_value(), -6.0);
  EXPECT_TRUE(c.mpx_switch->get_active());
  EXPECT_TRUE(c.panel.tau.us50->get_active());
  ProcessorConfig expected = ProcessorConfig::cargar();
  expected.last_preset = "Fuera";
  user.apply(expected);
  EXPECT_EQ(live(desk.config), expected);
}

TEST_F(DeskPresets, PoisonedLoadOnlyRaisesTheFlag) {
  Desk desk(ProcessorConfig::cargar());
  const auto before = live(desk.config);
  desk.shared->params_dirty.store(false);
  poison(*desk.config);
  desk.load("HARD BASS");
  EXPECT_EQ(live(desk.config), before);
  EXPECT_TRUE(desk.shared->params_dirty.load());
  EXPECT_EQ(desk.band_count().get_value(), 5);
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "ROCK");
}

TEST_F(DeskPresets, SaveTrimsTheNameAndAppendsIt) {
  Desk desk(ProcessorConfig::cargar());
  save_as(desk, " \t\u00a0Mi preset\u2003 ");
  EXPECT_TRUE(std::filesystem::exists(presets_dir() / "Mi_preset.json"));
  EXPECT_EQ(items(desk.selector()), 7);
  EXPECT_EQ(desk.selector().get_active_text(), "Mi preset");
  EXPECT_EQ(desk.selector().get_active_row_number(), 6);
  EXPECT_EQ(desk.presets().back().name, "Mi preset");
  EXPECT_TRUE(dialogs().empty());
  EXPECT_TRUE(logged("INFO", "Preset 'Mi preset' guardado"));
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "ROCK") << "the dialog leaves last_preset";
}

TEST_F(DeskPresets, BlankNameOrPoisonedLockLeavesTheDialogOpen) {
  Desk desk(ProcessorConfig::cargar());
  save_as(desk, "  \t ");
  EXPECT_EQ(dialogs().size(), 1u);
  EXPECT_EQ(desk.presets().size(), 6u);
  click(find_button(*dialogs().at(0), "Cancelar"));
  EXPECT_TRUE(dialogs().empty());

  poison(*desk.config);
  save_as(desk, "Nuevo");
  EXPECT_EQ(dialogs().size(), 1u);
  EXPECT_EQ(desk.presets().size(), 6u);
  EXPECT_FALSE(std::filesystem::exists(presets_dir()));
}

TEST_F(DeskPresets, SavingAnExistingNameMovesItToTheEnd) {
  Desk desk(ProcessorConfig::cargar());
  desk.view->panel.out_gain->set_value(4.0);
  save_as(desk, "BLUE");
  EXPECT_EQ(items(desk.selector()), 6);
  EXPECT_EQ(desk.selector().get_active_text(), "BLUE");
  std::vector<std::string> names;
  for (const auto& p : desk.presets()) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ROCK", "CLASIC", "VOICE", "HARD BASS", "STRONG", "BLUE"}));
  EXPECT_FLOAT_EQ(desk.presets().back().output_gain_db, 4.0f);
}

TEST_F(DeskPresets, SavedRockShadowsTheBuiltInForTheRun) {
  Desk desk(ProcessorConfig::cargar());
  desk.strips()[0].knobs.thr.set_value(-5.0f);
  scroll(*desk.strips()[0].knobs.thr.widget, 0.0, 0.0);  // a zero step writes the shown value
  save_as(desk, "ROCK");
  desk.load("BLUE");
  desk.load("ROCK");
  EXPECT_FLOAT_EQ(live(desk.config).bands[0].threshold_db, -5.0f);
  EXPECT_FLOAT_EQ(desk.strips()[0].knobs.thr.value(), -5.0f);
}

// A preset that never reached its file is not offered as saved.
TEST_F(DeskPresets, UnwritablePresetsFolderKeepsTheDialogOpenAndListsNothing) {
  std::filesystem::create_directories(presets_dir().parent_path());
  std::ofstream(presets_dir()) << "not a folder";
  Desk desk(ProcessorConfig::cargar());
  save_as(desk, "Nuevo");
  EXPECT_NE(logs().find("ERROR velmora::ui::ventana] Error guardando preset: "), std::string::npos);
  EXPECT_FALSE(logged("INFO", "Preset 'Nuevo' guardado"));
  EXPECT_EQ(items(desk.selector()), 6);
  EXPECT_EQ(desk.presets().size(), 6u);
  EXPECT_EQ(desk.selector().get_active_text(), "ROCK");
  EXPECT_EQ(dialogs().size(), 1u);
}

}  // namespace
}  // namespace velmora::test
