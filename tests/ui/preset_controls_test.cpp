// The preset controls of both views, and the desk's first-run step.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "settings/json_form.hpp"
#include "settings/presets.hpp"
#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

class PresetControls : public GuiEnv, public ::testing::WithParamInterface<bool> {
 protected:
  // The log line of the view's preset handlers.
  std::string line(const char* level, const std::string& message) const {
    return std::string(level) + (GetParam() ? " velmora::ui::rack_view] " : " velmora::ui::ventana] ") + message;
  }
  // Every file under the folder, with its bytes.
  std::map<std::string, std::string> files() const {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home_)) {
      if (e.is_regular_file()) out[e.path()] = (std::ostringstream() << std::ifstream(e.path()).rdbuf()).str();
    }
    return out;
  }
};

// A load applies the preset as stored and shows it: the band count is shown, not run, so the
// preset's crossovers stay. Only the desk logs the load; a poisoned lock only raises the flag.
TEST_P(PresetControls, LoadAppliesThePresetAsStoredAndShowsIt) {
  Preset three = Preset::from_config("Tres", ProcessorConfig{});
  three.num_bands = 3;
  three.crossover_freqs = {250, 2500, 0, 0, 0};
  three.output_gain_db = -20.0f;
  three.mpx.tau = Tau::Us50;
  three.mpx.enabled = true;
  ASSERT_TRUE(three.save().ok());
  const View v(GetParam(), ProcessorConfig{});
  v.load("Tres");

  ProcessorConfig expected;
  three.apply(expected);
  expected.last_preset = "Tres";
  EXPECT_EQ(live(v.config), expected) << "showing wrote a value back";
  EXPECT_EQ(ProcessorConfig::cargar(), expected);
  EXPECT_TRUE(v.shared->params_dirty.load());
  EXPECT_EQ(v.panel().band_count->get_value(), 3);
  EXPECT_EQ(v.panel().out_gain->get_value(), -12.0) << "clamped on screen only";
  EXPECT_TRUE(v.panel().tau.us50->get_active());
  EXPECT_TRUE(v.mpx());
  EXPECT_EQ(range_texts(v), (Texts{"<250", "250-2k", ">2k", kDash, kDash, kDash}));
  expect_active(v, 3);

  v.load("HARD BASS");  // whose bands differ from the defaults
  const ProcessorConfig c = live(v.config);
  EXPECT_EQ(v.knobs().thr.value(), -16.0f);
  EXPECT_EQ(range_texts(v)[5], ">12k");
  expect_active(v, 6);
  EXPECT_EQ(count(logs(), "velmora::ui::"), GetParam() ? 0 : 2) << logs();
  EXPECT_EQ(count(logs(), line("INFO", "Preset 'HARD BASS' cargado y guardado\n")), GetParam() ? 0 : 1) << logs();

  v.shared->params_dirty.store(false);
  poison(*v.config);
  v.load("Tres");
  EXPECT_EQ(live(v.config), c);
  EXPECT_EQ(ProcessorConfig::cargar(), c);
  EXPECT_TRUE(v.shared->params_dirty.load());
  EXPECT_EQ(v.panel().band_count->get_value(), 6);
}

// The rack's dialog also stores the name and writes "config.json".
TEST_P(PresetControls, SaveTrimsTheNameAndMovesARepeatToTheEnd) {
  const View v(GetParam(), ProcessorConfig{});
  const ui::PresetControls& p = v.presets();
  save_as(*v.presets().save, " \t\u00a0Mi preset\u2003 ");
  EXPECT_TRUE(std::filesystem::exists(presets_dir() / "Mi_preset.json"));
  EXPECT_EQ(p.selector->get_active_text(), "Mi preset");
  EXPECT_EQ(p.selector->get_active_row_number(), 6);
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(count(logs(), line("INFO", GetParam() ? "Preset 'Mi preset' guardado desde modo Rack\n"
                                                  : "Preset 'Mi preset' guardado\n")), 1);
  EXPECT_EQ(live(v.config).last_preset, GetParam() ? "Mi preset" : "");
  EXPECT_EQ(std::filesystem::exists(config_path()), GetParam());

  // The same name again: one item, the entry moved to the end with the new values.
  v.panel().out_gain->set_value(4.0);
  save_as(*v.presets().save, "Otro");
  save_as(*v.presets().save, "Mi preset");
  EXPECT_EQ(p.selector->get_model()->children().size(), 8u);
  std::vector<std::string> names;
  for (const Preset& preset : *p.presets) names.push_back(preset.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ROCK", "BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG", "Otro",
                                             "Mi preset"}));
  EXPECT_FLOAT_EQ(p.presets->back().output_gain_db, 4.0f);
}

// A save that did not reach its file, or would replace another preset (a built-in or the one
// in the name's file), is not reported, listed or stored: the dialog stays open until cancelled.
TEST_P(PresetControls, SaveThatFailsChangesNothingAndKeepsTheDialogOpen) {
  const struct {
    const char* typed;
    void (*before)();
    bool poisoned;
    const char* error;  // what the line logged says, if any
  } rows[] = {
      {"  \t ", [] {}, false, nullptr},
      {"Nuevo", [] {}, true, nullptr},
      {"Nuevo", [] {
         std::filesystem::create_directories(presets_dir().parent_path());
         std::ofstream(presets_dir()) << "not a folder";
       }, false, "Error guardando preset: "},
      {"Morning.Show", [] { ASSERT_TRUE(Preset::from_config("Morning Show", ProcessorConfig{}).save().ok()); },
       false, "Error guardando preset: el archivo Morning_Show.json ya guarda el preset \"Morning Show\"; elija otro nombre\n"},
      {"ROCK", [] {}, false, "Error guardando preset: \"ROCK\" es el nombre de un preset de fábrica; elija otro nombre\n"},
      {"Mañana\nTarde", [] {}, false, "Error guardando preset: el nombre lleva saltos de línea u otros caracteres de "
                                        "control; escríbalo en una sola línea\n"},
      {"Mi preset", [] {  // another file's name cannot write a log line of its own
         std::filesystem::create_directories(presets_dir());
         std::ofstream(presets_dir() / "Mi_preset.json") << json_form::to_json(Preset::from_config(
             "Mi preset\n[2026-12-07T09:00:00Z INFO velmora::ui::ventana] Audio OK\r\n", ProcessorConfig{}));
       }, false, "Error guardando preset: el archivo Mi_preset.json ya guarda el preset \"Mi preset "
                 "[2026-12-07T09:00:00Z INFO velmora::ui::ventana] Audio OK  \"; elija otro nombre\n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.typed);
    std::filesystem::remove_all(home_);
    std::filesystem::create_directory(home_);
    log_.str("");
    r.before();
    const View v(GetParam(), ProcessorConfig{});
    if (r.poisoned) poison(*v.config);
    const auto files_before = files();
    const std::vector<Preset> listed = *v.presets().presets;
    save_as(*v.presets().save, r.typed);
    EXPECT_EQ(count(logs(), r.error ? line("ERROR", r.error) : "ERROR"), r.error ? 1 : 0) << logs();
    EXPECT_EQ(logs().find("guardado"), std::string::npos);
    EXPECT_EQ(*v.presets().presets, listed);
    EXPECT_EQ(v.presets().selector->get_model()->children().size(), listed.size());
    EXPECT_EQ(v.presets().selector->get_active_text(), "ROCK");
    EXPECT_EQ(live(v.config), ProcessorConfig{});
    EXPECT_EQ(files(), files_before);
    ASSERT_EQ(dialogs().size(), 1u);
    click(find_button(*dialogs()[0], "Cancelar"));
    EXPECT_TRUE(dialogs().empty());
  }
}

// Names of any length or number of lines show on one line no wider than the widest built-in's,
// whole in the tooltip while selected (up to a thousand characters): the view keeps the size it has
// with the built-ins alone. A name with line breaks from a file still loads.
TEST_P(PresetControls, LongAndMultiLineNamesLeaveTheViewItsSize) {
  const auto size = [](const View& v) {
    int width = 0, height = 0, min = 0, baseline = 0;
    v.root().measure(Gtk::Orientation::HORIZONTAL, -1, min, width, baseline, baseline);
    v.root().measure(Gtk::Orientation::VERTICAL, -1, min, height, baseline, baseline);
    return std::pair{width, height};
  };
  const auto normal = size(View(GetParam(), ProcessorConfig{}));
  std::string huge, lines = "Mañana";
  while (huge.size() < (3u << 20)) huge += "Morning Show ";
  for (int i = 1; i < 40; ++i) lines += "\nLínea " + std::to_string(i);
  std::filesystem::create_directories(presets_dir());
  for (const auto& [file, name] : {std::pair{"huge.json", huge}, {"lines.json", lines}}) {
    std::ofstream(presets_dir() / file) << json_form::to_json(Preset::from_config(name, ProcessorConfig{}));
  }
  const View v(GetParam(), ProcessorConfig{});
  const std::string typed = huge.substr(0, 200);
  save_as(*v.presets().save, typed);
  std::string one_line = lines;
  std::replace(one_line.begin(), one_line.end(), '\n', ' ');
  Gtk::ComboBoxText& selector = *v.presets().selector;
  for (const auto& [name, tooltip] : {std::pair{typed, typed}, {huge, huge.substr(0, 1000) + "…"}, {lines, one_line}}) {
    selector.set_active_id(name);
    EXPECT_EQ(selector.get_tooltip_text().raw(), tooltip);
    EXPECT_TRUE(selector.get_active_text().raw().ends_with("…"));
    EXPECT_EQ(selector.get_active_text().raw().find('\n'), std::string::npos);
  }
  EXPECT_EQ(size(v), normal);
  v.load(lines);
  EXPECT_EQ(live(v.config).last_preset, lines);
  selector.set_active_id("ROCK");
  EXPECT_EQ(selector.get_tooltip_text(), GetParam() ? "" : "Seleccionar preset");
}

// Names as files may hold them show on one line, line breaks, other control characters and
// direction controls as spaces, in the selector and in the log; the save dialog refuses each
// name that it would show changed, and one that differs from a built-in's or a listed name only
// by invisible characters. A listed name's LOAD applies that very preset.
TEST_P(PresetControls, NamesShowOnOneLineAndNoneCanPoseAsAnother) {
  const std::string control = "el nombre lleva saltos de línea u otros caracteres de control; escríbalo en una sola línea";
  const std::string invisible = "el nombre solo se distingue de";
  const struct { std::string name, shown, refusal; } rows[] = {
      {"\u202EKCOR", " KCOR", control}, {"A\u061CB\u200EC\u200FD", "A B C D", control},
      {"a\u202Ab\u202Bc\u202Cd\u202De", "a b c d e", control}, {"a\u2066b\u2067c\u2068d\u2069e", "a b c d e", control},
      {"Mañ\nTa\u2028x", "Mañ Ta x", control},
      {"👩\u200D🔧 \u00AD\u200Bok", "👩\u200D🔧 \u00AD\u200Bok", ""},  // other format characters stay
      {"ROCK\u200B", "ROCK\u200B", invisible + " \"ROCK\", un preset de fábrica, por caracteres invisibles; elija otro nombre"},
      {"\u2060HARD BASS", "\u2060HARD BASS", invisible + " \"HARD BASS\", un preset de fábrica, por caracteres invisibles; "
                                                         "elija otro nombre"},
      {"Noche", "Noche", ""}, {"RОCK", "RОCK", ""},  // a Cyrillic O is a letter of its own
      {"No\u00ADche", "No\u00ADche", invisible + "l preset \"Noche\" por caracteres invisibles; elija otro nombre"}};
  std::filesystem::create_directories(presets_dir());
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    Preset p = Preset::from_config(rows[i].name, ProcessorConfig{});
    p.output_gain_db = static_cast<float>(i + 1);
    std::ofstream(presets_dir() / (std::to_string(i) + ".json")) << json_form::to_json(p);
  }
  ProcessorConfig stored;
  stored.last_preset = rows[4].name;
  const View v(GetParam(), ConfigLoad{stored, true}, true);
  EXPECT_EQ(count(logs(), line("INFO", "Preset previo restaurado: Mañ Ta x\n")), GetParam() ? 0 : 1);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& [name, shown, refusal] = rows[i];
    SCOPED_TRACE(shown);
    v.load(name);
    EXPECT_EQ(v.presets().selector->get_active_text().raw(), shown);
    EXPECT_EQ(live(v.config).output_gain_db, static_cast<float>(i + 1));
    EXPECT_EQ(live(v.config).last_preset, name);
    EXPECT_EQ(count(logs(), line("INFO", "Preset '" + shown + "' cargado y guardado\n")), GetParam() ? 0 : 1);
    log_.str("");
    save_as(*v.presets().save, name);
    const bool refused = !refusal.empty();
    EXPECT_EQ(count(logs(), refused ? line("ERROR", "Error guardando preset: " + refusal + "\n") : "ERROR"), refused ? 1 : 0)
        << logs();
    EXPECT_EQ(dialogs().size(), refused ? 1u : 0u);
    for (auto* d : dialogs()) click(find_button(*d, "Cancelar"));
  }
}

INSTANTIATE_TEST_SUITE_P(Both, PresetControls, ::testing::Bool(), view_name);

// A rejected "config.json" is no configuration read, whatever it names: the first run applies
// and saves "ROCK". A later run shows and selects what is stored, and applies or saves nothing.
TEST_F(GuiEnv, DeskFirstRunAppliesRockLaterRunsShowWhatIsStored) {
  for (const bool rejected : {true, false}) {
    SCOPED_TRACE(rejected);
    ProcessorConfig expected;
    expected.last_preset = "BLUE";
    expected.bands[0].threshold_db = -7.0f;
    expected.num_bands = 3;
    expected.crossover_freqs = {300, 3000, 0, 0, 0};
    expected.guardar();
    if (rejected) {
      std::ofstream(config_path()) << "{\"num_bands\": 3, \"last_preset\": \"BLUE\"}";
      expected = ProcessorConfig{};
      builtin_presets()[0].apply(expected);
      expected.last_preset = "ROCK";
    }
    const View desk(false, ProcessorConfig::leer(), true);
    EXPECT_EQ(live(desk.config), expected);
    EXPECT_EQ(ProcessorConfig::cargar(), expected);
    EXPECT_EQ(desk.shared->params_dirty.load(), rejected);
    EXPECT_FLOAT_EQ(desk.knobs().thr.value(), expected.bands[0].threshold_db);
    EXPECT_EQ(desk.faces()[4].range->get_text().raw(), rejected ? ">6k" : kDash);
    EXPECT_EQ(desk.presets().selector->get_active_text().raw(), expected.last_preset);
    EXPECT_EQ(count(logs(), rejected ? "INFO velmora::ui::ventana] Primer arranque — preset ROCK aplicado y guardado\n"
                                     : "INFO velmora::ui::ventana] Preset previo restaurado: BLUE\n"),
              1);
  }
}

}  // namespace
}  // namespace velmora::test
