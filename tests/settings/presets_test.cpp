#include "settings/presets.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "settings/file_io.hpp"
#include "settings/json_form.hpp"
#include "settings/settings_support.hpp"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::read_text;
using testing::write_text;

std::vector<std::string> names(const std::vector<Preset>& list) {
  std::vector<std::string> out;
  for (const Preset& p : list) out.push_back(p.name);
  return out;
}

// Each built-in survives its own file and applies as itself: a field lost on the way
// (a wrong key, a dropped sign of zero) or copied into the wrong place shows here.
class BuiltinPresets : public testing::TempConfigHome {};

TEST_F(BuiltinPresets, RoundTripThroughTheirFilesAndApply) {
  const auto& builtins = builtin_presets();
  EXPECT_EQ(names(builtins), (std::vector<std::string>{"ROCK", "BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG"}));
  for (const Preset& p : builtins) {
    ASSERT_TRUE(p.save().ok()) << p.name;
    ProcessorConfig cfg;
    cfg.input_device = "hw:1";
    cfg.sample_rate = 44100;
    cfg.last_preset = "x";
    p.apply(cfg);
    EXPECT_EQ(json_form::to_json(Preset::from_config(p.name, cfg)), json_form::to_json(p));
    EXPECT_EQ(cfg.input_device, "hw:1");
    EXPECT_EQ(cfg.sample_rate, 44100u);
    EXPECT_EQ(cfg.last_preset, "x");
  }
  const auto listed = all_presets();
  ASSERT_EQ(listed.size(), 12u);
  // Listed after the built-ins in name-byte order: "BLUE", "CLASIC", "HARD BASS", "ROCK", …
  for (std::size_t i = 6; i < 12; ++i) {
    const auto it = std::find(builtins.begin(), builtins.end(), listed[i]);
    EXPECT_NE(it, builtins.end()) << listed[i].name;
  }

  // A few values as the preset tables give them.
  const Preset& rock = builtins[0];
  EXPECT_EQ((std::array{rock.bands[0].threshold_db, rock.bands[0].ratio, rock.bands[0].attack_ms,
                        rock.bands[0].release_ms, rock.bands[0].makeup_db, rock.bands[0].clip_level_db}),
            (std::array{-24.0f, 4.0f, 15.0f, 200.0f, 4.0f, -0.5f}));
  EXPECT_EQ(rock.crossover_freqs, (Crossovers{120, 400, 2000, 6000, 0}));
  const Preset& hard = builtins[4];
  EXPECT_EQ(hard.num_bands, 6u);
  EXPECT_EQ(hard.crossover_freqs, (Crossovers{80, 320, 1200, 4800, 12000}));
  EXPECT_FLOAT_EQ(hard.output_gain_db, -2.0f);
  EXPECT_FLOAT_EQ(builtins[2].limiter_threshold, -1.0f);
}

struct StemCase {
  const char* name;
  const char* stem;
};

class FileStem : public ::testing::TestWithParam<StemCase> {};

TEST_P(FileStem, KeepsLettersDigitsAndHyphenOnly) { EXPECT_EQ(preset_file_stem(GetParam().name), GetParam().stem); }

INSTANTIATE_TEST_SUITE_P(
    Names, FileStem,
    ::testing::Values(StemCase{"HARD BASS", "HARD_BASS"}, StemCase{"Mi preset", "Mi_preset"},
                      StemCase{"a/b.c", "a_b_c"}, StemCase{"Voz señal", "Voz_señal"}, StemCase{"x-1", "x-1"},
                      StemCase{"my_preset", "my_preset"}, StemCase{"", ""}, StemCase{"..\\:*?\"<>|\t", "___________"},
                      StemCase{"x² Ω 日本", "x²_Ω_日本"}, StemCase{"Ⅻ ½ ٣", "Ⅻ_½_٣"},  // Nl, No and Nd kept
                      StemCase{"€🎵©", "___"}));                                        // one "_" per character

// ---------------------------------------------------------------------------
// Files.

class PresetFiles : public testing::TempConfigHome {
 protected:
  fs::path folder() const { return velmora_dir() / "presets"; }
  void write_preset(const std::string& file, const Preset& p) { write_text(folder() / file, json_form::to_json(p)); }
  static Preset named(std::string name) {
    Preset p = builtin_presets()[1];
    p.name = std::move(name);
    return p;
  }
  static std::vector<std::string> builtins_and(std::vector<std::string> user) {
    std::vector<std::string> all{"ROCK", "BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG"};
    all.insert(all.end(), user.begin(), user.end());
    return all;
  }
};

TEST_F(PresetFiles, UserPresetsFollowTheBuiltinsSortedByNameBytes) {
  EXPECT_EQ(presets_dir(), root_ / "velmora" / "presets");
  EXPECT_EQ(names(all_presets()), builtins_and({}));
  EXPECT_FALSE(fs::exists(velmora_dir()));
  write_preset("b.json", named("beta"));
  write_preset("a.json", named("Zeta"));
  write_preset("c.json", named("Árbol"));
  write_preset("d.json", named("ROCK"));
  EXPECT_EQ(names(all_presets()), builtins_and({"ROCK", "Zeta", "beta", "Árbol"}));
}

TEST_F(PresetFiles, ReadsOnlyJsonFilesThatFollowTheReadingRules) {
  const std::string good = json_form::to_json(named("ok"));
  for (const char* file : {"X.JSON", "y.Json", "notes.txt", ".json", "json", "sub/inner.json"}) {
    write_text(folder() / file, good);
  }
  fs::create_directories(folder() / "folder.json");
  // Neither may block or grow the read without end: only regular files of a settings file's size count.
  ASSERT_EQ(::mkfifo((folder() / "fifo.json").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", folder() / "zero.json");
  write_text(folder() / "big.json", good + std::string(kMaxSettingsFileBytes + 1 - good.size(), ' '));
  write_text(folder() / "broken.json", good.substr(0, good.size() - 1));
  write_text(folder() / "no-name.json", json_form::to_json(ProcessorConfig{}));
  write_text(folder() / "duplicate.json", "{\"num_bands\": 2," + good.substr(1));
  std::string four = good;
  four.replace(four.find("[\n    120.0,"), 12, "[");
  write_text(folder() / "four.json", four);
  write_text(folder() / "latin1.json", "\xff" + good);
  write_text(folder() / "commented.json", "{\"comment\": \"mine\"," + json_form::to_json(named("extra")).substr(1));
  nlohmann::ordered_json values = nlohmann::ordered_json::array();
  for (const auto& v : nlohmann::ordered_json::parse(json_form::to_json(named("array")))) values.push_back(v);
  write_text(folder() / "array.json", values.dump());
  EXPECT_EQ(names(all_presets()), builtins_and({"array", "extra"}));
}

TEST_F(PresetFiles, ListingErrorsAreSkippedUntilTheListingKeepsFailing) {
  write_preset("a.json", named("a"));
  write_preset("b.json", named("b"));
  using K = ListingStep::Kind;
  struct Case {
    std::vector<ListingStep> steps;  // the last one repeats for good
    std::vector<std::string> names;
  };
  for (const Case& c : {Case{{{K::Name, "a.json"}, {K::Error, ""}, {K::Name, "b.json"}, {K::End, ""}}, {"a", "b"}},
                        Case{{{K::Name, "a.json"}, {K::Error, ""}}, {"a"}}}) {
    std::size_t at = 0;
    const auto next = [&] { return c.steps[std::min(at++, c.steps.size() - 1)]; };
    EXPECT_EQ(names(load_user_presets(folder(), next)), c.names);
  }
}

TEST_F(PresetFiles, SavedPresetListsEqualToTheOriginal) {
  ProcessorConfig cfg;
  cfg.bands[2].exp_enable = true;
  cfg.mpx.tau = Tau::Us50;
  cfg.crossover_freqs[4] = -0.0f;
  const Preset p = Preset::from_config("Voz \"señal\" ½", cfg);
  ASSERT_TRUE(p.save().ok());
  const auto list = all_presets();
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(json_form::to_json(list[6]), json_form::to_json(p));
}

TEST_F(PresetFiles, SaveWritesTheStemFileWithTheBandAndMpxTextOfTheConfigFile) {
  ProcessorConfig cfg;
  builtin_presets()[4].apply(cfg);
  const std::string config = json_form::to_json(cfg);
  const auto between = [&config](const char* from, const char* to) {
    const auto start = config.find(from);
    return config.substr(start, config.find(to) - start);
  };
  ASSERT_TRUE(builtin_presets()[4].save().ok());
  EXPECT_EQ(read_text(folder() / "HARD_BASS.json"), "{\n  \"name\": \"HARD BASS\",\n" +
                                                        between("  \"num_bands\"", "  \"input_device\"") +
                                                        between("  \"mpx\"", ",\n  \"last_preset\"") + "\n}");
}

TEST_F(PresetFiles, NamesSharingAStemShareOneFileAndAnEmptyNameIsNeverListed) {
  ASSERT_TRUE(named("a b").save().ok());
  ASSERT_TRUE(named("a.b").save().ok());
  ASSERT_TRUE(named("").save().ok());
  EXPECT_TRUE(fs::exists(folder() / "a_b.json"));
  EXPECT_TRUE(fs::exists(folder() / ".json"));
  EXPECT_EQ(names(all_presets()), builtins_and({"a.b"}));
}

TEST_F(PresetFiles, FileInPlaceOfTheFolderFailsWithTheOsError) {
  write_text(folder(), "in the way");
  const Result<void> saved = named("x").save();
  EXPECT_EQ(saved.ok() ? "" : saved.error(), std::system_category().message(EEXIST));
  EXPECT_EQ(read_text(folder()), "in the way");
}

TEST_F(PresetFiles, ReadOnlyFolderIsWrittenInPlace) {
  ASSERT_TRUE(named("x").save().ok());
  fs::permissions(root_, fs::perms::all);
  fs::permissions(folder(), static_cast<fs::perms>(0555));
  fs::permissions(folder() / "x.json", static_cast<fs::perms>(0666));
  const Preset p = Preset::from_config("x", ProcessorConfig{});
  EXPECT_EQ(testing::as_ordinary_user([&p] {
              const Result<void> saved = p.save();
              return saved.ok() ? "saved" : saved.error();
            }),
            "saved");
  EXPECT_EQ(read_text(folder() / "x.json"), json_form::to_json(p));
}

TEST_F(PresetFiles, FailedWriteKeepsThePreviousFile) {
  ASSERT_TRUE(named("x").save().ok());
  const std::string before = read_text(folder() / "x.json");
  Result<void> saved;
  testing::with_file_size_limit(64, [&] { saved = Preset::from_config("x", ProcessorConfig{}).save(); });
  EXPECT_EQ(saved.ok() ? "" : saved.error(), std::system_category().message(EFBIG));
  EXPECT_EQ(read_text(folder() / "x.json"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder()), {}), 1);
}

TEST(RemovePresetsNamed, RemovesEveryExactMatchAndKeepsOrder) {
  std::vector<Preset> list = builtin_presets();
  list.push_back(list[0]);
  list.push_back(list[2]);
  list[7].name = "rock";
  remove_presets_named(list, "ROCK");
  EXPECT_EQ(names(list), (std::vector<std::string>{"BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG", "rock"}));
}

}  // namespace
}  // namespace velmora
