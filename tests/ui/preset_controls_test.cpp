// The preset controls as both views use them: a load applies the preset as stored and shows
// it, the save dialog offers only what reached its file; and the desk's first-run step.
#include <gtest/gtest.h>
#include <gtkmm/entry.h>

#include <fstream>

#include "settings/json_form.hpp"
#include "settings/presets.hpp"
#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

struct ViewKind {
  const char* name;
  std::unique_ptr<ViewWindow> (*make)(ProcessorConfig);
  const char* target;       // log target of its save lines
  const char* saved;        // the info line after "Preset 'Mi preset' guardado"
  bool saves_last_preset;   // the rack's dialog stores the name and writes "config.json"
  const char* loaded;       // the line a load logs, if any
};

void PrintTo(const ViewKind& k, std::ostream* os) { *os << k.name; }

const ViewKind kViews[] = {
    {"desk", [](ProcessorConfig c) { return std::unique_ptr<ViewWindow>(new Desk(std::move(c), false)); },
     "velmora::ui::ventana", "", false, "INFO velmora::ui::ventana] Preset 'HARD BASS' cargado y guardado\n"},
    {"rack", [](ProcessorConfig c) { return std::unique_ptr<ViewWindow>(new Rack(std::move(c))); },
     "velmora::ui::rack_view", " desde modo Rack", true, ""},
};

class PresetControls : public GuiEnv, public ::testing::WithParamInterface<ViewKind> {
 protected:
  static std::vector<Gtk::Window*> dialogs() { return windows_titled("Guardar preset"); }
  static int items(const ui::PresetControls& p) { return p.selector->get_model()->children().size(); }
  // Opens the dialog from "● SAVE", types the name and presses "Guardar".
  static void save_as(const ViewWindow& v, const Glib::ustring& typed) {
    click(*v.preset_controls().save);
    ASSERT_EQ(dialogs().size(), 1u);
    find_all<Gtk::Entry>(*dialogs()[0]).at(0)->set_text(typed);
    click(find_button(*dialogs()[0], "Guardar"));
  }
  std::string line(const char* level, const std::string& message) const {
    return std::string(level) + " " + GetParam().target + "] " + message + "\n";
  }
};

TEST_P(PresetControls, SelectorStartsOnTheStoredNameElseTheFirst) {
  for (const auto& [stored, shown] : {std::pair{"", "ROCK"}, {"BLUE", "BLUE"}, {"Borrado", "ROCK"}}) {
    ProcessorConfig cfg;
    cfg.last_preset = stored;
    EXPECT_EQ(GetParam().make(cfg)->preset_controls().selector->get_active_text(), shown) << stored;
  }
}

// A load applies the preset as stored and shows it: the band-count control is shown, not run,
// so the preset's own crossovers stay in force. Only the desk logs the load.
TEST_P(PresetControls, LoadAppliesThePresetAsStoredAndShowsIt) {
  Preset three = Preset::from_config("Tres", ProcessorConfig{});
  three.num_bands = 3;
  three.crossover_freqs = {250, 2500, 0, 0, 0};
  three.output_gain_db = -20.0f;
  three.mpx.tau = Tau::Us50;
  ASSERT_TRUE(three.save().ok());
  auto v = GetParam().make(ProcessorConfig{});
  v->load("Tres");

  ProcessorConfig expected;
  three.apply(expected);
  expected.last_preset = "Tres";
  EXPECT_EQ(live(v->config), expected) << "showing wrote a value back";
  EXPECT_EQ(ProcessorConfig::cargar(), expected);
  EXPECT_TRUE(v->shared->params_dirty.load());
  EXPECT_EQ(v->panel().band_count->get_value(), 3);
  EXPECT_EQ(v->panel().out_gain->get_value(), -12.0) << "clamped on screen only";
  EXPECT_TRUE(v->panel().tau.us50->get_active());
  EXPECT_EQ(range_texts(*v), (Texts{"<250", "250-2k", ">2k", kDash, kDash, kDash}));
  expect_active(*v, 3);

  v->load("HARD BASS");
  const ProcessorConfig c = live(v->config);
  EXPECT_EQ(std::tie(c.num_bands, c.crossover_freqs, c.last_preset),
            std::make_tuple(6u, Crossovers{80, 320, 1200, 4800, 12000}, std::string("HARD BASS")));
  EXPECT_EQ(ProcessorConfig::cargar(), c);
  EXPECT_EQ(v->band1().thr.value(), -16.0f);
  EXPECT_EQ(range_texts(*v)[5], ">12k");
  expect_active(*v, 6);
  const bool logs_load = *GetParam().loaded != '\0';
  EXPECT_EQ(count(logs(), "velmora::ui::"), logs_load ? 2 : 0) << logs();
  if (logs_load) {
    EXPECT_EQ(count(logs(), GetParam().loaded), 1) << logs();
  }
}

TEST_P(PresetControls, PoisonedLoadOnlyRaisesTheFlag) {
  auto v = GetParam().make(ProcessorConfig{});
  poison(*v->config);
  v->load("HARD BASS");
  EXPECT_EQ(live(v->config), ProcessorConfig{});
  EXPECT_TRUE(v->shared->params_dirty.load());
  EXPECT_EQ(v->panel().band_count->get_value(), 5);
  EXPECT_FALSE(std::filesystem::exists(config_path()));
}

TEST_P(PresetControls, SaveTrimsTheNameAndMovesARepeatToTheEnd) {
  auto v = GetParam().make(ProcessorConfig{});
  const ui::PresetControls& p = v->preset_controls();
  save_as(*v, " \t\u00a0Mi preset\u2003 ");
  EXPECT_TRUE(std::filesystem::exists(presets_dir() / "Mi_preset.json"));
  EXPECT_EQ(p.selector->get_active_text(), "Mi preset");
  EXPECT_EQ(p.selector->get_active_row_number(), 6);
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(count(logs(), line("INFO", std::string("Preset 'Mi preset' guardado") + GetParam().saved)), 1);
  EXPECT_EQ(live(v->config).last_preset, GetParam().saves_last_preset ? "Mi preset" : "");
  EXPECT_EQ(std::filesystem::exists(config_path()), GetParam().saves_last_preset);

  // The same name again: one item, the entry moved to the end with the new values.
  v->panel().out_gain->set_value(4.0);
  save_as(*v, "Otro");
  save_as(*v, "Mi preset");
  EXPECT_EQ(items(p), 8);
  std::vector<std::string> names;
  for (const Preset& preset : *p.presets) names.push_back(preset.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ROCK", "BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG", "Otro",
                                             "Mi preset"}));
  EXPECT_FLOAT_EQ(p.presets->back().output_gain_db, 4.0f);
}

TEST_P(PresetControls, BlankNamePoisonedLockOrCancelSaveNothing) {
  auto v = GetParam().make(ProcessorConfig{});
  save_as(*v, "  \t ");
  EXPECT_EQ(dialogs().size(), 1u);
  click(find_button(*dialogs().at(0), "Cancelar"));
  EXPECT_TRUE(dialogs().empty());

  poison(*v->config);
  save_as(*v, "Nuevo");
  EXPECT_EQ(dialogs().size(), 1u);
  EXPECT_EQ(items(v->preset_controls()), 6);
  EXPECT_FALSE(std::filesystem::exists(presets_dir()));
  EXPECT_FALSE(std::filesystem::exists(config_path()));
}

// A preset that never reached its file is not reported as saved, listed or stored.
TEST_P(PresetControls, UnwritablePresetsFolderChangesNothingAndKeepsTheDialogOpen) {
  std::filesystem::create_directories(presets_dir().parent_path());
  std::ofstream(presets_dir()) << "not a folder";
  auto v = GetParam().make(ProcessorConfig{});
  save_as(*v, "Nuevo");
  EXPECT_NE(logs().find(std::string("ERROR ") + GetParam().target + "] Error guardando preset: "), std::string::npos);
  EXPECT_EQ(logs().find("guardado"), std::string::npos);
  EXPECT_EQ(items(v->preset_controls()), 6);
  EXPECT_EQ(v->preset_controls().selector->get_active_text(), "ROCK");
  EXPECT_EQ(live(v->config).last_preset, "");
  EXPECT_FALSE(std::filesystem::exists(config_path()));
  EXPECT_EQ(dialogs().size(), 1u);
}

// A save that would replace another preset, a built-in or the one in the name's file, is refused
// as a failed one, with its reason.
TEST_P(PresetControls, SaveOverAnotherPresetIsRefusedAndChangesNothing) {
  ASSERT_TRUE(Preset::from_config("Morning Show", ProcessorConfig{}).save().ok());
  auto v = GetParam().make(ProcessorConfig{});
  for (const char* name : {"Morning.Show", "ROCK"}) {
    save_as(*v, name);
    ASSERT_EQ(dialogs().size(), 1u) << name;
    click(find_button(*dialogs()[0], "Cancelar"));
  }
  for (const char* reason : {"el archivo Morning_Show.json ya guarda el preset \"Morning Show\"",
                             "\"ROCK\" es el nombre de un preset de fábrica"}) {
    const std::string error = std::string("Error guardando preset: ") + reason + "; elija otro nombre";
    EXPECT_EQ(count(logs(), line("ERROR", error)), 1) << logs();
  }
  EXPECT_EQ(logs().find("guardado"), std::string::npos);
  EXPECT_EQ(*v->preset_controls().presets, all_presets());
  EXPECT_EQ(items(v->preset_controls()), 7);
  EXPECT_EQ(v->preset_controls().selector->get_active_text(), "ROCK");
  EXPECT_EQ(live(v->config).last_preset, "");
  EXPECT_FALSE(std::filesystem::exists(config_path()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(presets_dir()), {}), 1);
}

class DeskFirstRun : public GuiEnv {};

// A rejected "config.json" is no configuration read, whatever it names.
TEST_F(DeskFirstRun, AppliesAndSavesRockOnce) {
  std::filesystem::create_directories(config_path().parent_path());
  std::ofstream(config_path()) << "{\"num_bands\": 3, \"last_preset\": \"BLUE\"}";
  Desk desk(ProcessorConfig::leer());
  const auto c = live(desk.config);
  EXPECT_EQ(c.last_preset, "ROCK");
  EXPECT_EQ(c.crossover_freqs, (Crossovers{120, 400, 2000, 6000, 0}));
  EXPECT_EQ(ProcessorConfig::cargar(), c) << "config.json holds the applied preset";
  EXPECT_TRUE(desk.shared->params_dirty.load());
  const auto& b1 = desk.strips()[0].knobs;
  EXPECT_EQ((std::array{b1.thr.value(), b1.ratio.value(), b1.atk.value(), b1.rel.value(), b1.gain.value(),
                        b1.clip_level.value()}),
            (std::array{-24.0f, 4.0f, 15.0f, 200.0f, 4.0f, -0.5f}));
  EXPECT_EQ(desk.strips()[4].freq_label->get_text(), ">6k");
  EXPECT_EQ(desk.selector().get_active_text(), "ROCK");
  EXPECT_EQ(count(logs(), "INFO velmora::ui::ventana] Primer arranque — preset ROCK aplicado y guardado\n"), 1);
}

// "Borrado" names a preset whose file is gone; a file that names none, with "" or without the key
// (an older version's), is read all the same: the first item is selected, the line names what is stored.
TEST_F(DeskFirstRun, LaterRunShowsTheStoredValuesAndSelectsTheStoredName) {
  const std::tuple<const char*, const char*, bool> rows[] = {  // stored name, shown, key left out
      {"BLUE", "BLUE", false}, {"Borrado", "ROCK", false}, {"", "ROCK", false}, {"", "ROCK", true}};
  for (auto [name, shown, left_out] : rows) {
    log_.str("");
    ProcessorConfig stored;
    stored.last_preset = name;
    stored.bands[0].threshold_db = -7.0f;
    stored.num_bands = 3;
    stored.guardar();
    const std::string text = json_form::to_json(stored);
    if (left_out) std::ofstream(config_path()) << text.substr(0, text.rfind(",\n")) + "\n}";
    Desk desk(ProcessorConfig::leer());
    EXPECT_EQ(live(desk.config), stored) << "nothing is applied again";
    EXPECT_EQ(ProcessorConfig::cargar(), stored) << "nor saved";
    EXPECT_FLOAT_EQ(desk.strips()[0].knobs.thr.value(), -7.0f);
    EXPECT_EQ(desk.band_count().get_value(), 3);
    EXPECT_EQ(desk.selector().get_active_text(), shown);
    EXPECT_EQ(count(logs(), std::string("INFO velmora::ui::ventana] Preset previo restaurado: ") + name + "\n"), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Views, PresetControls, ::testing::ValuesIn(kViews),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::test
