// Desk preset section: first run, LOAD, and the save-preset dialog.
#include <gtest/gtest.h>
#include <gtkmm/entry.h>

#include <fstream>

#include "presets.hpp"
#include "ui/desk_fixture.hpp"

namespace velmora::test {
namespace {

constexpr const char* kLog = "velmora::ui::ventana] ";

class DeskPresets : public DeskEnv {
 protected:
  bool logged(const std::string& level, const std::string& message) const {
    return logs().find(level + " " + kLog + message + "\n") != std::string::npos;
  }
  static std::vector<std::string> selector_items(Gtk::ComboBoxText& selector) {
    std::vector<std::string> out;
    auto model = selector.get_model();
    for (auto it = model->children().begin(); it != model->children().end(); ++it) {
      Glib::ustring text;
      it->get_value(0, text);
      out.push_back(text);
    }
    return out;
  }
  static std::vector<std::string> names(const std::vector<Preset>& list) {
    std::vector<std::string> out;
    for (const auto& p : list) out.push_back(p.name);
    return out;
  }
  // Opens the dialog from "● SAVE", types the name and presses "Guardar".
  static void save_as(Desk& desk, const Glib::ustring& typed) {
    click(*find_button(*desk.section.box, "● SAVE"));
    auto dialogs = windows_titled("Guardar preset");
    ASSERT_EQ(dialogs.size(), 1u);
    find_all<Gtk::Entry>(*dialogs[0]).at(0)->set_text(typed);
    click(*find_button(*dialogs[0], "Guardar"));
  }
};

TEST_F(DeskPresets, FirstRunAppliesAndSavesRock) {
  ASSERT_FALSE(std::filesystem::exists(config_path()));
  Desk desk(ProcessorConfig::cargar());
  const auto c = live(desk.config);
  EXPECT_EQ(c.last_preset, "ROCK");
  EXPECT_EQ(c.crossover_freqs, (std::array<float, 5>{120, 400, 2000, 6000, 0}));
  EXPECT_EQ(ProcessorConfig::cargar(), c) << "config.json holds the applied preset";
  EXPECT_TRUE(desk.shared->params_dirty.load());

  const auto& b1 = desk.strips()[0];
  EXPECT_FLOAT_EQ(b1.thr.value(), -24.0f);
  EXPECT_FLOAT_EQ(b1.ratio.value(), 4.0f);
  EXPECT_FLOAT_EQ(b1.atk.value(), 15.0f);
  EXPECT_FLOAT_EQ(b1.rel.value(), 200.0f);
  EXPECT_FLOAT_EQ(b1.gain.value(), 4.0f);
  EXPECT_FLOAT_EQ(b1.clip_level.value(), -0.5f);
  EXPECT_EQ(desk.strips()[4].freq_label->get_text(), ">6k");
  EXPECT_EQ(desk.strips()[5].freq_label->get_text(), "\u2014");
  EXPECT_EQ(desk.section.selector->get_active_text(), "ROCK");
  EXPECT_TRUE(logged("INFO", "Primer arranque — preset ROCK aplicado y guardado"));
}

TEST_F(DeskPresets, LaterRunShowsTheStoredValuesAndSelectsTheStoredName) {
  ProcessorConfig stored;
  stored.last_preset = "BLUE";
  stored.bands[0].threshold_db = -7.0f;
  stored.num_bands = 3;
  stored.guardar();
  Desk desk(ProcessorConfig::cargar());
  EXPECT_EQ(live(desk.config), stored) << "nothing is applied again";
  EXPECT_FLOAT_EQ(desk.strips()[0].thr.value(), -7.0f);
  EXPECT_EQ(desk.band.band_count->get_value(), 3);
  EXPECT_EQ(desk.section.selector->get_active_text(), "BLUE");
  EXPECT_TRUE(logged("INFO", "Preset previo restaurado: BLUE"));
}

TEST_F(DeskPresets, LaterRunWithAMissingPresetSelectsTheFirstItem) {
  ProcessorConfig stored;
  stored.last_preset = "Borrado";
  stored.guardar();
  Desk desk(ProcessorConfig::cargar());
  EXPECT_EQ(desk.section.selector->get_active_text(), "ROCK");
  EXPECT_EQ(live(desk.config), stored);
  EXPECT_TRUE(logged("INFO", "Preset previo restaurado: Borrado"));
}

TEST_F(DeskPresets, LoadOfHardBassFromFiveBands) {
  Desk desk(ProcessorConfig::cargar());
  ASSERT_EQ(desk.band.band_count->get_value(), 5);
  desk.load("HARD BASS");
  const auto c = live(desk.config);
  EXPECT_EQ(c.num_bands, 6u);
  EXPECT_EQ(c.crossover_freqs, (std::array<float, 5>{80, 320, 1200, 4800, 12000}));
  EXPECT_FLOAT_EQ(c.output_gain_db, -2.0f);
  EXPECT_EQ(desk.band.band_count->get_value(), 6);
  for (const auto& s : desk.strips()) EXPECT_TRUE(s.root->get_sensitive());
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "HARD BASS");
  EXPECT_TRUE(logged("INFO", "Preset 'HARD BASS' cargado y guardado"));
}

// The band-count handler must not swap a preset's own crossovers for the default table.
TEST_F(DeskPresets, LoadKeepsAPresetsOwnCrossovers) {
  Preset user = Preset::from_config("Tres", ProcessorConfig{});
  user.num_bands = 3;
  user.crossover_freqs = {250, 2500, 0, 0, 0};
  ASSERT_TRUE(user.save().ok());
  Desk desk(ProcessorConfig::cargar());
  ASSERT_EQ(desk.band.band_count->get_value(), 5);
  desk.load("Tres");

  const auto c = live(desk.config);
  EXPECT_EQ(c.num_bands, 3u);
  EXPECT_EQ(c.crossover_freqs, user.crossover_freqs);
  EXPECT_EQ(ProcessorConfig::cargar().crossover_freqs, user.crossover_freqs);
  EXPECT_EQ(desk.band.band_count->get_value(), 3);
  const std::array<std::string, 6> texts{"<250", "250-2k", ">2k", "\u2014", "\u2014", "\u2014"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(desk.strips()[i].freq_label->get_text().raw(), texts[i]) << i;
    EXPECT_EQ(desk.strips()[i].root->get_sensitive(), i < 3) << i;
  }
  // The spin button still edits: its handler was only held back during the load.
  desk.band.band_count->set_value(4);
  EXPECT_EQ(live(desk.config).crossover_freqs, (std::array<float, 5>{150, 1000, 6000, 0, 0}));
}

TEST_F(DeskPresets, LoadOfClasicMovesTheOutGainAndLimiterSliders) {
  Desk desk(ProcessorConfig::cargar());
  desk.load("CLASIC");
  EXPECT_DOUBLE_EQ(desk.controls->out_gain.widget->get_value(), -1.0);
  EXPECT_DOUBLE_EQ(desk.controls->limiter.widget->get_value(), -1.0);
  EXPECT_FLOAT_EQ(live(desk.config).limiter_threshold, -1.0f);
}

// Values past a slider's range are shown clamped but never written back clamped.
TEST_F(DeskPresets, LoadShowsEveryPanelControlAndWritesOnlyTheLoadedValues) {
  Preset user = Preset::from_config("Fuera", ProcessorConfig{});
  user.input_gain_db = 30.0f;
  user.output_gain_db = -20.0f;
  user.limiter_threshold = -9.0f;
  user.mpx.enabled = true;
  user.mpx.tau = Tau::Us50;
  ASSERT_TRUE(user.save().ok());
  Desk desk(ProcessorConfig::cargar());
  desk.load("Fuera");

  const auto& c = *desk.controls;
  EXPECT_DOUBLE_EQ(c.in_gain.widget->get_value(), 12.0);
  EXPECT_DOUBLE_EQ(c.out_gain.widget->get_value(), -12.0);
  EXPECT_DOUBLE_EQ(c.limiter.widget->get_value(), -6.0);
  EXPECT_TRUE(c.mpx_switch.widget->get_active());
  EXPECT_TRUE(c.tau50.widget->get_active());
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
  EXPECT_EQ(desk.band.band_count->get_value(), 5);
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "ROCK");
}

TEST_F(DeskPresets, SaveTrimsTheNameAndAppendsIt) {
  Desk desk(ProcessorConfig::cargar());
  save_as(desk, " \t\u00a0Mi preset\u2003 ");
  EXPECT_TRUE(std::filesystem::exists(presets_dir() / "Mi_preset.json"));
  EXPECT_EQ(selector_items(*desk.section.selector).back(), "Mi preset");
  EXPECT_EQ(desk.section.selector->get_active_text(), "Mi preset");
  EXPECT_EQ(desk.section.presets->back().name, "Mi preset");
  EXPECT_TRUE(windows_titled("Guardar preset").empty());
  EXPECT_TRUE(logged("INFO", "Preset 'Mi preset' guardado"));
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "ROCK") << "the dialog leaves last_preset";
}

TEST_F(DeskPresets, BlankNameLeavesTheDialogOpen) {
  Desk desk(ProcessorConfig::cargar());
  save_as(desk, "  \t ");
  EXPECT_EQ(windows_titled("Guardar preset").size(), 1u);
  EXPECT_EQ(desk.section.presets->size(), 6u);
  EXPECT_FALSE(std::filesystem::exists(presets_dir()));
  click(*find_button(*windows_titled("Guardar preset").at(0), "Cancelar"));
  EXPECT_TRUE(windows_titled("Guardar preset").empty());
}

TEST_F(DeskPresets, SavingAnExistingNameMovesItToTheEnd) {
  Desk desk(ProcessorConfig::cargar());
  desk.controls->out_gain.widget->set_value(4.0);
  save_as(desk, "BLUE");
  EXPECT_EQ(selector_items(*desk.section.selector).size(), 6u);
  EXPECT_EQ(desk.section.selector->get_active_text(), "BLUE");
  EXPECT_EQ(names(*desk.section.presets),
            (std::vector<std::string>{"ROCK", "CLASIC", "VOICE", "HARD BASS", "STRONG", "BLUE"}));
  EXPECT_FLOAT_EQ(desk.section.presets->back().output_gain_db, 4.0f);
}

TEST_F(DeskPresets, SavedRockShadowsTheBuiltInForTheRun) {
  Desk desk(ProcessorConfig::cargar());
  desk.strips()[0].thr.set_value(-5.0f);
  scroll(desk.strips()[0].thr, 0.0);  // a zero step writes the shown value
  save_as(desk, "ROCK");
  desk.load("BLUE");
  desk.load("ROCK");
  EXPECT_FLOAT_EQ(live(desk.config).bands[0].threshold_db, -5.0f);
  EXPECT_FLOAT_EQ(desk.strips()[0].thr.value(), -5.0f);
}

// A preset that never reached its file is not offered as saved.
TEST_F(DeskPresets, UnwritablePresetsFolderKeepsTheDialogOpenAndListsNothing) {
  std::filesystem::create_directories(presets_dir().parent_path());
  std::ofstream(presets_dir()) << "not a folder";
  Desk desk(ProcessorConfig::cargar());
  save_as(desk, "Nuevo");
  EXPECT_NE(logs().find("ERROR " + std::string(kLog) + "Error guardando preset: "), std::string::npos);
  EXPECT_FALSE(logged("INFO", "Preset 'Nuevo' guardado"));
  EXPECT_EQ(selector_items(*desk.section.selector).size(), 6u);
  EXPECT_EQ(desk.section.presets->size(), 6u);
  EXPECT_EQ(desk.section.selector->get_active_text(), "ROCK");
  EXPECT_EQ(windows_titled("Guardar preset").size(), 1u);
}

TEST_F(DeskPresets, PoisonedSaveLeavesTheDialogOpen) {
  Desk desk(ProcessorConfig::cargar());
  poison(*desk.config);
  save_as(desk, "Nuevo");
  EXPECT_EQ(windows_titled("Guardar preset").size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(presets_dir()));
}

}  // namespace
}  // namespace velmora::test
