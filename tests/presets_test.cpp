#include "presets.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "json_form.hpp"
#include "record_printers.hpp"
#include "temp_config_home.hpp"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<Preset>& list) {
  std::vector<std::string> out;
  for (const Preset& p : list) out.push_back(p.name);
  return out;
}

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string part; std::getline(in, part, sep);) out.push_back(part);
  return out;
}

float f32(const std::string& decimal) { return std::strtof(decimal.c_str(), nullptr); }

// The built-in tables as decimal text; strtof gives the nearest f32 of each entry.
const char* const kPresetRows[] = {
    "ROCK|5|120 400 2000 6000 0|0|0|-0.3",     "BLUE|5|120 400 2000 6000 0|0|0|-0.5",
    "CLASIC|5|120 400 2000 6000 0|0|-1|-1",    "VOICE|5|120 400 2000 6000 0|0|0|-0.2",
    "HARD BASS|6|80 320 1200 4800 12000|0|-2|-0.2", "STRONG|5|120 400 2000 6000 0|0|0|-0.1",
};
// threshold ratio attack release makeup clip, bands 1 to 6 of each preset in order.
const char* const kBandRows[] = {
    "-24 4 15 200 4 -0.5",   "-20 4 8 150 5 -0.5",    "-18 5 5 100 6 -0.5",    "-20 4 3 80 4 -0.5",
    "-24 3 2 60 3 -1",       "-30 2 30 500 0 -2",     "-26 2.5 25 300 2.5 -1", "-22 3 12 200 3 -1",
    "-20 2.5 8 150 2 -1.5",  "-22 2 5 100 2 -2",      "-28 2 3 80 1.5 -2",     "-30 2 30 500 0 -2",
    "-16 2 50 600 1 -2",     "-16 1.8 30 500 1 -2",   "-14 1.5 20 400 1 -2",   "-18 1.5 10 300 1 -2",
    "-22 2 5 200 2 -2",      "-30 2 30 500 0 -2",     "-18 4 10 150 2 -1",     "-16 5 6 120 3 -0.5",
    "-14 6 4 100 7 -0.5",    "-16 8 2 60 5 -0.5",     "-22 4 1.5 40 2 -1",     "-30 2 30 500 0 -2",
    "-16 8 3 80 12 -0.3",    "-18 6 5 100 9 -0.3",    "-20 4 4 100 4 -0.5",    "-22 3.5 3 80 3 -0.5",
    "-26 3 2 60 2 -1",       "-28 2.5 2 50 1.5 -1.5", "-30 8 5 100 10 -0.3",   "-28 8 4 80 10 -0.3",
    "-26 8 3 70 10 -0.3",    "-28 6 2 60 8 -0.3",     "-30 5 1.5 50 7 -0.3",   "-30 2 30 500 0 -2",
};

Preset expected_builtin(std::size_t index) {
  const auto row = split(kPresetRows[index], '|');
  Preset p;
  p.name = row[0];
  p.num_bands = std::stoull(row[1]);
  const auto splits = split(row[2], ' ');
  for (std::size_t i = 0; i < 5; ++i) p.crossover_freqs[i] = f32(splits[i]);
  p.input_gain_db = f32(row[3]);
  p.output_gain_db = f32(row[4]);
  p.limiter_threshold = f32(row[5]);
  for (std::size_t b = 0; b < 6; ++b) {
    const auto v = split(kBandRows[index * 6 + b], ' ');
    BandConfig& band = p.bands[b];
    band = BandConfig{true, f32(v[0]), f32(v[1]), f32(v[2]), f32(v[3]), f32(v[4]), true, f32(v[5]), false,
                      -60.0f, 2.0f};
  }
  p.mpx = MpxConfig{false, Tau::Us75, -1.0f, f32("0.09")};
  return p;
}

TEST(BuiltinPresets, MatchTheTableInOrder) {
  const auto& builtins = builtin_presets();
  ASSERT_EQ(builtins.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(builtins[i], expected_builtin(i)) << kPresetRows[i];
}

TEST(BuiltinPresets, ZerosArePositive) {
  for (const Preset& p : builtin_presets()) {
    EXPECT_FALSE(std::signbit(p.input_gain_db)) << p.name;
    EXPECT_FALSE(std::signbit(p.crossover_freqs[4])) << p.name;
    EXPECT_FALSE(std::signbit(p.bands[5].makeup_db)) << p.name;
  }
}

struct StemCase {
  const char* name;
  const char* stem;
};

class FileStem : public ::testing::TestWithParam<StemCase> {};

TEST_P(FileStem, KeepsLettersDigitsAndHyphenOnly) {
  EXPECT_EQ(preset_file_stem(GetParam().name), GetParam().stem);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileStem,
    ::testing::Values(StemCase{"HARD BASS", "HARD_BASS"}, StemCase{"Mi preset", "Mi_preset"},
                      StemCase{"a/b.c", "a_b_c"}, StemCase{"Voz señal", "Voz_señal"}, StemCase{"x-1", "x-1"},
                      StemCase{"my_preset", "my_preset"}, StemCase{"x²", "x²"}, StemCase{"Ω", "Ω"},
                      StemCase{"", ""}, StemCase{"..\\:*?\"<>|\t", "___________"},
                      StemCase{"Ⅻ ½ ٣", "Ⅻ_½_٣"},            // Nl, No and Nd digits are kept
                      StemCase{"日本語", "日本語"}, StemCase{"€🎵©", "___"}));  // one "_" per character

// ---------------------------------------------------------------------------
// Files.

class PresetFiles : public testing::TempConfigHome {
 protected:
  fs::path presets_folder() const { return velmora_dir() / "presets"; }
  void write_preset(const std::string& file, const Preset& p) {
    write_text(presets_folder() / file, json_form::to_json(p));
  }
  static Preset named(std::string name) {
    Preset p = builtin_presets()[1];
    p.name = std::move(name);
    return p;
  }
};

const std::vector<std::string> kBuiltinNames{"ROCK", "BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG"};

TEST_F(PresetFiles, FolderFollowsTheConfigDirectory) {
  EXPECT_EQ(presets_dir(), root_ / "velmora" / "presets");
  EXPECT_FALSE(fs::exists(presets_dir()));
}

TEST_F(PresetFiles, NoFolderListsTheSixBuiltins) {
  EXPECT_EQ(names(all_presets()), kBuiltinNames);
  EXPECT_FALSE(fs::exists(presets_folder()));
}

TEST_F(PresetFiles, UserPresetsFollowSortedByNameBytes) {
  write_preset("b.json", named("beta"));
  write_preset("a.json", named("Zeta"));
  write_preset("c.json", named("Árbol"));
  write_preset("d.json", named("ROCK"));
  auto expected = kBuiltinNames;
  expected.insert(expected.end(), {"ROCK", "Zeta", "beta", "Árbol"});
  EXPECT_EQ(names(all_presets()), expected);
}

TEST_F(PresetFiles, SkipsEverythingButReadablePresetJsonFiles) {
  const std::string good = json_form::to_json(named("ok"));
  write_text(presets_folder() / "X.JSON", good);
  write_text(presets_folder() / "y.Json", good);
  write_text(presets_folder() / "notes.txt", good);
  write_text(presets_folder() / ".json", good);
  write_text(presets_folder() / "json", good);
  write_text(presets_folder() / "sub" / "inner.json", good);
  fs::create_directories(presets_folder() / "folder.json");
  write_text(presets_folder() / "broken.json", good.substr(0, good.size() - 1));
  write_text(presets_folder() / "missing.json", json_form::to_json(ProcessorConfig{}));
  std::string duplicate = good;
  duplicate.insert(1, "\"num_bands\": 2,");
  write_text(presets_folder() / "duplicate.json", duplicate);
  std::string four = good;
  const std::string first_split = "\"crossover_freqs\": [\n    120.0,";
  four.replace(four.find(first_split), first_split.size(), "\"crossover_freqs\": [");
  write_text(presets_folder() / "four.json", four);
  write_text(presets_folder() / "latin1.json", "\xff" + good);
  std::string commented = good;
  commented.insert(1, "\"comment\": \"mine\",");
  write_text(presets_folder() / "commented.json", commented);

  auto expected = kBuiltinNames;
  expected.push_back("ok");
  EXPECT_EQ(names(all_presets()), expected);
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
  EXPECT_EQ(list[6], p);
  EXPECT_TRUE(std::signbit(list[6].crossover_freqs[4]));
}

TEST_F(PresetFiles, SaveWritesTheStemFileInTheWrittenForm) {
  const Preset& hard_bass = builtin_presets()[4];
  ASSERT_TRUE(hard_bass.save().ok());
  const std::string text = read_text(presets_folder() / "HARD_BASS.json");
  EXPECT_EQ(text, json_form::to_json(hard_bass));
  EXPECT_TRUE(text.starts_with("{\n  \"name\": \"HARD BASS\",\n  \"num_bands\": 6,\n"));
  EXPECT_TRUE(text.ends_with("}") && !text.ends_with("\n}\n"));
}

TEST_F(PresetFiles, NamesSharingAStemShareOneFile) {
  ASSERT_TRUE(named("a b").save().ok());
  ASSERT_TRUE(named("a.b").save().ok());
  auto expected = kBuiltinNames;
  expected.push_back("a.b");
  EXPECT_EQ(names(all_presets()), expected);
  EXPECT_TRUE(fs::exists(presets_folder() / "a_b.json"));
}

TEST_F(PresetFiles, EmptyNameSavesAFileTheListingNeverReads) {
  ASSERT_TRUE(named("").save().ok());
  EXPECT_TRUE(fs::exists(presets_folder() / ".json"));
  EXPECT_EQ(names(all_presets()), kBuiltinNames);
}

TEST_F(PresetFiles, FileInPlaceOfTheFolderFailsWithTheOsError) {
  write_text(presets_folder(), "in the way");
  const Result<void> saved = named("x").save();
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error(), std::system_category().message(EEXIST));
  EXPECT_EQ(read_text(presets_folder()), "in the way");
}

TEST_F(PresetFiles, FailedWriteKeepsThePreviousFile) {
  ASSERT_TRUE(named("x").save().ok());
  const std::string before = read_text(presets_folder() / "x.json");
  Preset changed = named("x");
  changed.num_bands = 2;
  Result<void> saved;
  {
    testing::FileSizeLimit limit(64);
    saved = changed.save();
  }
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error(), std::system_category().message(EFBIG));
  EXPECT_EQ(read_text(presets_folder() / "x.json"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(presets_folder()), fs::directory_iterator()), 1);
}

// ---------------------------------------------------------------------------
// Apply and remove.

TEST(PresetApply, CopiesProcessingFieldsAndKeepsTheRest) {
  ProcessorConfig cfg;
  cfg.input_device = "hw:1";
  cfg.output_device = "hw:2";
  cfg.sample_rate = 44100;
  cfg.buffer_size = 128;
  cfg.last_preset = "BLUE";
  builtin_presets()[4].apply(cfg);

  ProcessorConfig expected;
  expected.input_device = "hw:1";
  expected.output_device = "hw:2";
  expected.sample_rate = 44100;
  expected.buffer_size = 128;
  expected.last_preset = "BLUE";
  expected.num_bands = 6;
  expected.crossover_freqs = {80.0f, 320.0f, 1200.0f, 4800.0f, 12000.0f};
  expected.output_gain_db = -2.0f;
  expected.limiter_threshold = f32("-0.2");
  expected.bands = expected_builtin(4).bands;
  EXPECT_EQ(cfg, expected);

  builtin_presets()[0].apply(cfg);
  EXPECT_EQ(cfg.crossover_freqs[4], 0.0f);
  EXPECT_EQ(cfg.num_bands, 5u);
}

TEST(PresetApply, FromConfigThenApplyRestoresTheProcessingFields) {
  ProcessorConfig source;
  source.num_bands = 3;
  source.bands[5].ratio = 11.0f;
  source.mpx.enabled = true;
  source.input_device = "not copied";
  ProcessorConfig target;
  Preset::from_config("mine", source).apply(target);
  source.input_device.clear();
  EXPECT_EQ(target, source);
}

TEST(RemovePresetsNamed, RemovesEveryExactMatchAndKeepsOrder) {
  std::vector<Preset> list = builtin_presets();
  list.push_back(list[0]);
  list.push_back(list[2]);
  list[7].name = "rock";
  remove_presets_named(list, "ROCK");
  EXPECT_EQ(names(list), (std::vector<std::string>{"BLUE", "CLASIC", "VOICE", "HARD BASS", "STRONG", "rock"}));
  remove_presets_named(list, "nothing");
  EXPECT_EQ(list.size(), 6u);
}

}  // namespace
}  // namespace velmora
