#include "settings/presets.hpp"

#include <algorithm>
#include <tuple>

#include "settings/settings_support.hpp"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::read_text;
using testing::write_text;
using namespace std::string_literals;

std::vector<std::string> names(const std::vector<Preset>& list) {
  std::vector<std::string> out;
  for (const Preset& p : list) out.push_back(p.name);
  return out;
}

class PresetFiles : public testing::TempConfigHome {
 protected:
  fs::path folder() const { return velmora_dir() / "presets"; }
  static Preset named(std::string name) {
    Preset p = builtin_presets()[1];
    p.name = std::move(name);
    return p;
  }
};

// The built-ins, pinned by the exact bytes of their written files, each apply as themselves: a
// field copied into the wrong place, or a device, rate or last_preset overwritten, shows here.
TEST(BuiltinPresets, WriteTheirGoldenFilesAndApplyAsThemselves) {
  for (const Preset& p : builtin_presets()) {
    const std::string file = "preset/" + preset_file_stem(p.name) + ".json";
    EXPECT_EQ(json_form::to_json(p), testing::corpus_text(file)) << file;
    ProcessorConfig cfg;
    cfg.input_gain_db = 5.0f, cfg.mpx.enabled = true;  // values that apply must replace: no built-in has them
    cfg.input_device = "hw:1", cfg.sample_rate = 44100, cfg.last_preset = "x";
    p.apply(cfg);
    EXPECT_EQ(json_form::to_json(Preset::from_config(p.name, cfg)), json_form::to_json(p));
    EXPECT_EQ(std::tie(cfg.input_device, cfg.sample_rate, cfg.last_preset), std::make_tuple("hw:1", 44100u, "x"));
  }
}

TEST(PresetFileStem, KeepsLettersNumbersAndHyphenOnly) {
  const std::pair<const char*, const char*> rows[] = {
      {"HARD BASS", "HARD_BASS"}, {"x-1 a/b.c\\:*", "x-1_a_b_c___"}, {"Voz señal 日本", "Voz_señal_日本"},
      {"Ⅻ ½ ٣ x²", "Ⅻ_½_٣_x²"},  // letter, other and decimal numbers kept
      {"€🎵©", "___"}};           // one "_" per character
  for (const auto& [name, stem] : rows) EXPECT_EQ(preset_file_stem(name), stem);
}

// Saved under their name's stem, and an empty name's file, ".json", is never listed. Only
// regular "*.json" files that follow the reading rules count, a built-in's name too but not a
// name holding NUL, and none may block or grow the read without end.
TEST_F(PresetFiles, RegularJsonFilesFollowTheBuiltinsSortedByNameBytes) {
  EXPECT_EQ(presets_dir(), root_ / "velmora" / "presets");
  EXPECT_EQ(names(all_presets()), names(builtin_presets()));
  EXPECT_FALSE(fs::exists(velmora_dir()));
  for (const char* name : {"beta", "Zeta", "a b", "Árbol", ""}) ASSERT_TRUE(named(name).save().ok());
  EXPECT_TRUE(fs::exists(folder() / "a_b.json"));
  EXPECT_TRUE(fs::exists(folder() / ".json"));
  const std::string good = json_form::to_json(named("ok"));
  for (const char* file : {"X.JSON", "notes.txt", "json", "sub/inner.json"}) write_text(folder() / file, good);
  fs::create_directories(folder() / "folder.json");
  ASSERT_EQ(::mkfifo((folder() / "fifo.json").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", folder() / "zero.json");
  write_text(folder() / "big.json", good + std::string(kMaxSettingsFileBytes + 1 - good.size(), ' '));
  write_text(folder() / "no-name.json", json_form::to_json(ProcessorConfig{}));
  write_text(folder() / "commented.json",
             "{\"comment\": [\"mine\", 1e5000]," + json_form::to_json(named("extra")).substr(1));
  write_text(folder() / "nul.json", json_form::to_json(named("A\0B"s)));  // a name GTK would cut short
  write_text(folder() / "nul-first.json", json_form::to_json(named("\0abc"s)));  // or to nothing
  write_text(folder() / "array.json", testing::corpus_text("preset/BLUE-array.json"));
  EXPECT_EQ(names(all_presets()), (std::vector<std::string>{"ROCK", "BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG",
                                                             "BLUE", "Zeta", "a b", "beta", "extra", "Árbol"}));
}

// A save replaces no other preset: not a built-in, whose file no LOAD would reach, and not the
// preset of another name in the file that the name gives. Its own file, or one that reads as no
// preset, it replaces.
TEST_F(PresetFiles, SaveRefusesABuiltinsNameAndAFileHoldingAnotherPreset) {
  const auto error = [](const char* name) {
    const Result<void> saved = named(name).save();
    return saved.ok() ? "" : saved.error();
  };
  EXPECT_EQ(error("ROCK"), "\"ROCK\" es el nombre de un preset de fábrica; elija otro nombre");
  EXPECT_FALSE(fs::exists(velmora_dir()));
  write_text(folder(), "in the way");  // a file where the folder goes: the system's own error
  EXPECT_EQ(error("x"), std::system_category().message(EEXIST));
  fs::remove(folder());
  ASSERT_EQ(error("Morning Show"), "");
  for (const char* other : {"Morning.Show", "Morning_Show"}) {
    EXPECT_EQ(error(other), "el archivo Morning_Show.json ya guarda el preset \"Morning Show\"; elija otro nombre");
  }
  Preset again = named("Morning Show");
  again.num_bands = 2;
  ASSERT_TRUE(again.save().ok());
  write_text(folder() / "a_b.json", "{\"name\": \"a.b\"}");
  ASSERT_EQ(error("a b"), "");
  const auto listed = all_presets();
  EXPECT_EQ(std::vector<Preset>(listed.begin() + 6, listed.end()), (std::vector<Preset>{again, named("a b")}));
}

TEST_F(PresetFiles, ListingErrorsAreSkippedUntilEightInARow) {
  for (const char* name : {"a", "b", "c"}) write_text(folder() / (name + ".json"s), json_form::to_json(named(name)));
  // The steps of a listing, one a letter: a file's name, or E for an error; then its end.
  const std::pair<std::string, std::vector<std::string>> rows[] = {
      {"a" + std::string(7, 'E') + "b" + std::string(7, 'E') + "c", {"a", "b", "c"}},
      {"a" + std::string(8, 'E') + "b", {"a"}}};
  for (const auto& [steps, listed] : rows) {
    std::size_t at = 0;
    const auto next = [&, &steps = steps] {
      using K = ListingStep::Kind;
      if (at == steps.size()) return ListingStep{K::End, ""};
      const char step = steps[at++];
      return step == 'E' ? ListingStep{K::Error, ""} : ListingStep{K::Name, std::string(1, step) + ".json"};
    };
    EXPECT_EQ(names(load_user_presets(folder(), next)), listed);
  }
}

TEST(RemovePresetsNamed, RemovesEveryExactMatchAndKeepsOrder) {
  std::vector<Preset> list = builtin_presets();
  list.push_back(list[0]);
  list.push_back(list[0]);
  list[7].name = "rock";
  remove_presets_named(list, "ROCK");
  EXPECT_EQ(names(list), (std::vector<std::string>{"BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG", "rock"}));
}

}  // namespace
}  // namespace velmora
