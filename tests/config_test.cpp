#include "config.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "json_form.hpp"
#include "log.hpp"
#include "record_printers.hpp"
#include "temp_config_home.hpp"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ordered_json = nlohmann::ordered_json;
using testing::FileSizeLimit;
using testing::ScopedEnv;

// A record that differs from the defaults almost everywhere, so that a mix of file
// values and defaults can't pass for either.
ProcessorConfig edited() {
  ProcessorConfig c;
  c.num_bands = 4;
  c.crossover_freqs = {100.0f, 500.0f, 2500.0f, 7000.0f, 0.0f};
  c.input_gain_db = 1.5f;
  c.output_gain_db = -2.25f;
  c.limiter_threshold = -1.0f;
  c.bands[2].ratio = 7.5f;
  c.bands[5].enabled = false;
  c.input_device = "hw:CARD=USB,DEV=0";
  c.output_device = "Salida \"principal\" \\ señal\t\x01";
  c.sample_rate = 44100;
  c.buffer_size = 256;
  c.mpx.enabled = true;
  c.mpx.tau = Tau::Us50;
  c.mpx.pilot_level = 0.1f;
  c.last_preset = "HARD BASS ♪";
  return c;
}

std::string edited_text() { return json_form::to_json(edited()); }

ordered_json edited_dom() { return ordered_json::parse(edited_text()); }

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Edits the parsed text of edited() and prints it back (floats widened, as other tools write them).
std::string dom_edit(const std::function<void(ordered_json&)>& edit) {
  ordered_json j = edited_dom();
  edit(j);
  return j.dump(2);
}

ordered_json as_array(const ordered_json& object) {
  ordered_json a = ordered_json::array();
  for (const auto& [k, v] : object.items()) a.push_back(v);
  return a;
}

class ConfigFile : public testing::TempConfigHome {
 protected:
  fs::path config_file() const { return velmora_dir() / "config.json"; }
};

// ---------------------------------------------------------------------------
// Rejections: every one yields the complete defaults.

struct Rejection {
  const char* label;
  std::function<std::string()> text;
};

void PrintTo(const Rejection& r, std::ostream* os) { *os << r.label; }

class RejectedFile : public ConfigFile, public ::testing::WithParamInterface<Rejection> {};

TEST_P(RejectedFile, LoadsCompleteDefaults) {
  write_text(config_file(), GetParam().text());
  EXPECT_EQ(ProcessorConfig::cargar(), ProcessorConfig{});
}

const Rejection kRejections[] = {
    {"missing num_bands", [] { return dom_edit([](auto& j) { j.erase("num_bands"); }); }},
    {"missing mpx", [] { return dom_edit([](auto& j) { j.erase("mpx"); }); }},
    {"missing band field", [] { return dom_edit([](auto& j) { j["bands"][3].erase("exp_ratio"); }); }},
    {"missing tau", [] { return dom_edit([](auto& j) { j["mpx"].erase("tau"); }); }},
    {"duplicate num_bands",
     [] { return replaced(edited_text(), "\"num_bands\": 4,", "\"num_bands\": 4,\n  \"num_bands\": 4,"); }},
    {"duplicate last_preset",
     [] {
       return replaced(edited_text(), "\"last_preset\"", "\"last_preset\": \"x\",\n  \"last_preset\"");
     }},
    {"duplicate band key",
     [] { return replaced(edited_text(), "\"ratio\": 7.5,", "\"ratio\": 7.5,\n\"ratio\": 7.5,"); }},
    {"duplicate tau", [] { return replaced(edited_text(), "\"tau\": \"Us50\",", "\"tau\": \"Us50\", \"tau\": \"Us50\","); }},
    {"num_bands with fraction", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": 4.0"); }},
    {"num_bands with exponent", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": 4e0"); }},
    {"num_bands negative", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": -4"); }},
    {"num_bands minus zero", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": -0"); }},
    {"num_bands past 64 bits",
     [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": 18446744073709551616"); }},
    {"num_bands as string", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": \"4\""); }},
    {"num_bands null", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": null"); }},
    {"sample_rate negative", [] { return replaced(edited_text(), "44100", "-1"); }},
    {"buffer_size past 32 bits", [] { return replaced(edited_text(), "256", "4294967296"); }},
    {"sample_rate as float", [] { return replaced(edited_text(), "44100", "44100.0"); }},
    {"leading plus", [] { return replaced(edited_text(), "44100", "+44100"); }},
    {"leading zero", [] { return replaced(edited_text(), "44100", "044100"); }},
    {"f32 beyond a double", [] { return replaced(edited_text(), "-2.25", "-1e999"); }},
    {"f32 as string", [] { return dom_edit([](auto& j) { j["bands"][0]["ratio"] = "3"; }); }},
    {"f32 null", [] { return dom_edit([](auto& j) { j["input_gain_db"] = nullptr; }); }},
    {"f32 true", [] { return dom_edit([](auto& j) { j["input_gain_db"] = true; }); }},
    {"NaN literal", [] { return replaced(edited_text(), "-2.25", "NaN"); }},
    {"bool as number", [] { return dom_edit([](auto& j) { j["bands"][1]["enabled"] = 1; }); }},
    {"bool as string", [] { return dom_edit([](auto& j) { j["mpx"]["enabled"] = "true"; }); }},
    {"string null", [] { return dom_edit([](auto& j) { j["input_device"] = nullptr; }); }},
    {"string as number", [] { return dom_edit([](auto& j) { j["output_device"] = 5; }); }},
    {"last_preset null", [] { return dom_edit([](auto& j) { j["last_preset"] = nullptr; }); }},
    {"4 crossovers", [] { return dom_edit([](auto& j) { j["crossover_freqs"].erase(0); }); }},
    {"6 crossovers", [] { return dom_edit([](auto& j) { j["crossover_freqs"].push_back(1.0); }); }},
    {"crossover as string", [] { return dom_edit([](auto& j) { j["crossover_freqs"][2] = "2500"; }); }},
    {"crossovers as object", [] { return dom_edit([](auto& j) { j["crossover_freqs"] = {{"a", 1}}; }); }},
    {"5 bands", [] { return dom_edit([](auto& j) { j["bands"].erase(5); }); }},
    {"7 bands", [] { return dom_edit([](auto& j) { j["bands"].push_back(j["bands"][0]); }); }},
    {"band as number", [] { return dom_edit([](auto& j) { j["bands"][4] = 1; }); }},
    {"band array of 10",
     [] { return dom_edit([](auto& j) { j["bands"][0] = {true, -18, 3, 10, 150, 3, true, -0.5, false, -60}; }); }},
    {"band array of 12",
     [] {
       return dom_edit([](auto& j) { j["bands"][0] = {true, -18, 3, 10, 150, 3, true, -0.5, false, -60, 2, 2}; });
     }},
    {"mpx array of 3", [] { return dom_edit([](auto& j) { j["mpx"] = {false, "Us75", -1}; }); }},
    {"mpx array of 5", [] { return dom_edit([](auto& j) { j["mpx"] = {false, "Us75", -1, 0.09, 1}; }); }},
    {"config array of 10",
     [] {
       ordered_json a = as_array(edited_dom());
       a.erase(a.size() - 1);
       a.erase(a.size() - 1);
       return a.dump();
     }},
    {"config array of 13",
     [] {
       ordered_json a = as_array(edited_dom());
       a.push_back("extra");
       return a.dump();
     }},
    {"tau in lower case", [] { return replaced(edited_text(), "\"Us50\"", "\"us50\""); }},
    {"tau in upper case", [] { return replaced(edited_text(), "\"Us50\"", "\"US50\""); }},
    {"tau unknown", [] { return replaced(edited_text(), "\"Us50\"", "\"Us60\""); }},
    {"tau as index", [] { return replaced(edited_text(), "\"Us50\"", "0"); }},
    {"tau object with value", [] { return replaced(edited_text(), "\"Us50\"", "{\"Us50\": 1}"); }},
    {"tau object of two", [] { return replaced(edited_text(), "\"Us50\"", "{\"Us50\": null, \"Us75\": null}"); }},
    {"tau object lower case", [] { return replaced(edited_text(), "\"Us50\"", "{\"us50\": null}"); }},
    {"tau empty object", [] { return replaced(edited_text(), "\"Us50\"", "{}"); }},
    {"tau array", [] { return replaced(edited_text(), "\"Us50\"", "[\"Us50\"]"); }},
    {"trailing letter", [] { return edited_text() + "x"; }},
    {"trailing comma", [] { return edited_text() + ","; }},
    {"second value", [] { return edited_text() + "\n{}"; }},
    {"trailing NUL", [] { return edited_text() + std::string(1, '\0'); }},
    {"byte-order mark", [] { return "\xEF\xBB\xBF" + edited_text(); }},
    {"invalid UTF-8 in a string", [] { return replaced(edited_text(), "señal", "se\xF1" "al"); }},
    {"overlong UTF-8", [] { return replaced(edited_text(), "señal", "se\xC0\xAF" "al"); }},
    {"UTF-8 surrogate", [] { return replaced(edited_text(), "señal", "se\xED\xA0\x80" "al"); }},
    {"lone escaped surrogate", [] { return replaced(edited_text(), "señal", "se\\ud800al"); }},
    {"raw control character", [] { return replaced(edited_text(), "señal", "se\nal"); }},
    {"truncated", [] { std::string t = edited_text(); t.pop_back(); return t; }},
    {"half written", [] { std::string t = edited_text(); return t.substr(0, t.size() / 2); }},
    {"empty file", [] { return std::string(); }},
    {"comment", [] { return "// settings\n" + edited_text(); }},
    {"top-level null", [] { return std::string("null"); }},
    {"top-level string", [] { return std::string("\"config\""); }},
};

INSTANTIATE_TEST_SUITE_P(ReadingRules, RejectedFile, ::testing::ValuesIn(kRejections));

TEST_F(ConfigFile, RejectsHugeNumberInsideUnknownKey) {
  // Skipped values are still JSON: a number beyond a double is an error wherever it stands.
  write_text(config_file(), replaced(edited_text(), "\"num_bands\"", "\"note\": [1e999],\n  \"num_bands\""));
  EXPECT_EQ(ProcessorConfig::cargar(), ProcessorConfig{});
}

// ---------------------------------------------------------------------------
// Accepted variants.

struct Variant {
  const char* label;
  std::function<std::string()> text;
  std::function<void(ProcessorConfig&)> expect;  // applied to edited()
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.label; }

class AcceptedFile : public ConfigFile, public ::testing::WithParamInterface<Variant> {};

TEST_P(AcceptedFile, LoadsTheWrittenValues) {
  write_text(config_file(), GetParam().text());
  ProcessorConfig expected = edited();
  GetParam().expect(expected);
  EXPECT_EQ(ProcessorConfig::cargar(), expected);
}

const auto kUnchanged = [](ProcessorConfig&) {};

const Variant kVariants[] = {
    {"own text", edited_text, kUnchanged},
    {"floats printed as doubles", [] { return edited_dom().dump(2); }, kUnchanged},
    {"compact", [] { return edited_dom().dump(); }, kUnchanged},
    {"integer for f32", [] { return replaced(edited_text(), "100.0", "100"); }, kUnchanged},
    {"exponent for f32", [] { return replaced(edited_text(), "2500.0", "2.5e3"); }, kUnchanged},
    {"minus zero integer for f32", [] { return replaced(edited_text(), "\"input_gain_db\": 1.5", "\"input_gain_db\": -0"); },
     [](ProcessorConfig& c) { c.input_gain_db = -0.0f; }},
    {"nearest f32 of long decimal",
     [] { return replaced(edited_text(), "\"input_gain_db\": 1.5", "\"input_gain_db\": 0.1000000000000000055511151231257827"); },
     [](ProcessorConfig& c) { c.input_gain_db = 0.1f; }},
    {"f32 beyond f32 range", [] { return replaced(edited_text(), "\"input_gain_db\": 1.5", "\"input_gain_db\": 1e39"); },
     [](ProcessorConfig& c) { c.input_gain_db = std::numeric_limits<float>::infinity(); }},
    {"largest num_bands", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": 18446744073709551615"); },
     [](ProcessorConfig& c) { c.num_bands = 18446744073709551615u; }},
    {"num_bands 0 kept", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": 0"); },
     [](ProcessorConfig& c) { c.num_bands = 0; }},
    {"num_bands 1000 kept", [] { return replaced(edited_text(), "\"num_bands\": 4", "\"num_bands\": 1000"); },
     [](ProcessorConfig& c) { c.num_bands = 1000; }},
    {"largest buffer_size", [] { return replaced(edited_text(), "256", "4294967295"); },
     [](ProcessorConfig& c) { c.buffer_size = 4294967295u; }},
    {"trailing whitespace", [] { return edited_text() + " \n\t\r\n"; }, kUnchanged},
    {"leading whitespace", [] { return "\r\n\t " + edited_text(); }, kUnchanged},
    {"missing last_preset", [] { return dom_edit([](auto& j) { j.erase("last_preset"); }); },
     [](ProcessorConfig& c) { c.last_preset.clear(); }},
    {"keys in reverse order",
     [] {
       const ordered_json j = edited_dom();
       std::vector<std::string> keys;
       for (const auto& [k, v] : j.items()) keys.push_back(k);
       ordered_json reversed = ordered_json::object();
       for (auto k = keys.rbegin(); k != keys.rend(); ++k) reversed[*k] = j[*k];
       return reversed.dump(1);
     },
     kUnchanged},
    {"unknown keys of every kind",
     [] {
       return replaced(edited_text(), "\"num_bands\"",
                       "\"comment\": \"hand edited\", \"n\": null, \"deep\": [[[[[[{\"a\": [1.5e300]}]]]]]],"
                       " \"o\": {\"x\": 1, \"x\": 2}, \"num_bands\"");
     },
     kUnchanged},
    {"unknown keys inside records",
     [] {
       return dom_edit([](auto& j) {
         j["bands"][0]["note"] = {1, 2};
         j["mpx"]["Enabled"] = true;
       });
     },
     kUnchanged},
    {"band as array",
     [] { return dom_edit([](auto& j) { j["bands"][2] = as_array(j["bands"][2]); }); }, kUnchanged},
    {"mpx as array", [] { return dom_edit([](auto& j) { j["mpx"] = as_array(j["mpx"]); }); }, kUnchanged},
    {"config as array of 12", [] { return as_array(edited_dom()).dump(); }, kUnchanged},
    {"config as array of 11",
     [] {
       ordered_json a = as_array(edited_dom());
       a.erase(a.size() - 1);
       return a.dump();
     },
     [](ProcessorConfig& c) { c.last_preset.clear(); }},
    {"tau as single-member object", [] { return replaced(edited_text(), "\"Us50\"", "{ \"Us50\" : null }"); }, kUnchanged},
    {"tau object Us75", [] { return replaced(edited_text(), "\"Us50\"", "{\"Us75\": null}"); },
     [](ProcessorConfig& c) { c.mpx.tau = Tau::Us75; }},
    {"tau with escapes", [] { return replaced(edited_text(), "\"Us50\"", "\"\\u0055s50\""); }, kUnchanged},
    {"string escapes decoded",
     [] { return replaced(edited_text(), "\"hw:CARD=USB,DEV=0\"", "\"\\u00f1\\ud83c\\udfb5\\/\""); },
     [](ProcessorConfig& c) { c.input_device = "ñ🎵/"; }},
};

INSTANTIATE_TEST_SUITE_P(ReadingRules, AcceptedFile, ::testing::ValuesIn(kVariants));

// ---------------------------------------------------------------------------
// Loading and saving.

class LogCapture {
 public:
  LogCapture() {
    log::init(log::parse_filter("velmora::config=debug"),
              std::make_shared<spdlog::sinks::ostream_sink_mt>(out_));
  }
  ~LogCapture() { log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>()); }
  // The messages alone, without timestamp, level and target.
  std::vector<std::string> messages() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("] ") + 2));
    return lines;
  }

 private:
  std::ostringstream out_;
};

std::vector<std::string> entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ConfigFile, MissingFileLoadsDefaultsAndCreatesNothing) {
  EXPECT_EQ(ProcessorConfig::cargar(), ProcessorConfig{});
  EXPECT_FALSE(fs::exists(velmora_dir()));
}

TEST_F(ConfigFile, SaveCreatesFolderAndWritesExactText) {
  LogCapture log;
  edited().guardar();
  EXPECT_EQ(read_text(config_file()), edited_text());
  EXPECT_EQ(entries(velmora_dir()), std::vector<std::string>{"config.json"});
  const std::string expected = "Config guardado: \"" + config_file().string() +
                               "\"  last_preset=\"HARD BASS ♪\"";
  EXPECT_EQ(log.messages(), std::vector<std::string>{expected});
}

TEST_F(ConfigFile, SaveCreatesMissingFoldersWithModesBeforeUmask) {
  ScopedEnv xdg("XDG_CONFIG_HOME");
  xdg.set((root_ / "a" / "b").string());
  const mode_t old_mask = ::umask(0);
  ProcessorConfig{}.guardar();
  ::umask(old_mask);
  EXPECT_EQ(fs::status(root_ / "a" / "b" / "velmora").permissions(), fs::perms::all);
  const fs::perms rw_all = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
  EXPECT_EQ(fs::status(root_ / "a" / "b" / "velmora" / "config.json").permissions(), rw_all);
}

TEST_F(ConfigFile, SaveKeepsThePermissionsOfTheOldFile) {
  ProcessorConfig{}.guardar();
  fs::permissions(config_file(), fs::perms::owner_read | fs::perms::owner_write);
  edited().guardar();
  EXPECT_EQ(fs::status(config_file()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(read_text(config_file()), edited_text());
}

TEST_F(ConfigFile, SaveThenLoadRoundTripsEditedValues) {
  ProcessorConfig c = edited();
  c.input_device = "Tarjeta \"USB\" \\ C:\\ \b\f\n\r\t\x1f\x7f — 音";
  c.bands[4].exp_threshold = 1e-7f;
  c.bands[4].exp_ratio = 3.4028235e38f;
  c.bands[3].attack_ms = 1.4e-45f;
  c.output_gain_db = -0.0f;
  c.guardar();
  const ProcessorConfig loaded = ProcessorConfig::cargar();
  EXPECT_EQ(loaded, c);
  EXPECT_TRUE(std::signbit(loaded.output_gain_db));
}

TEST_F(ConfigFile, SaveReplacesOlderFileAndDropsUnknownKeys) {
  write_text(config_file(), replaced(edited_text(), "\"num_bands\"", "\"comment\": \"hi\",\n  \"num_bands\""));
  ProcessorConfig c = ProcessorConfig::cargar();
  EXPECT_EQ(c, edited());
  c.guardar();
  EXPECT_EQ(read_text(config_file()), edited_text());
}

TEST_F(ConfigFile, NonFiniteValueSavesAsNullAndThenLoadsDefaults) {
  ProcessorConfig c = edited();
  c.bands[1].makeup_db = std::numeric_limits<float>::quiet_NaN();
  c.input_gain_db = -std::numeric_limits<float>::infinity();
  c.guardar();
  const std::string text = read_text(config_file());
  EXPECT_NE(text.find("\"input_gain_db\": null,"), std::string::npos);
  EXPECT_NE(text.find("\"makeup_db\": null,"), std::string::npos);
  EXPECT_EQ(ProcessorConfig::cargar(), ProcessorConfig{});
}

TEST_F(ConfigFile, FolderInTheWayLogsAndWritesNothing) {
  write_text(root_ / "velmora", "not a folder");
  LogCapture log;
  edited().guardar();
  EXPECT_EQ(read_text(root_ / "velmora"), "not a folder");
  EXPECT_EQ(log.messages(), std::vector<std::string>{"No se pudo crear directorio de config: \"" +
                                                     velmora_dir().string() + "\""});
}

TEST_F(ConfigFile, FolderStandingAsConfigFileLogsOsErrorAndLeavesNoTemporary) {
  fs::create_directories(config_file());
  LogCapture log;
  edited().guardar();
  EXPECT_EQ(entries(velmora_dir()), std::vector<std::string>{"config.json"});
  EXPECT_EQ(log.messages(), std::vector<std::string>{"Error guardando config en \"" +
                                                     config_file().string() + "\": Is a directory"});
}

TEST_F(ConfigFile, FailedWriteKeepsThePreviousFile) {
  ProcessorConfig before;
  before.guardar();
  const std::string old_text = read_text(config_file());
  LogCapture log;
  {
    FileSizeLimit limit(100);
    edited().guardar();
  }
  EXPECT_EQ(read_text(config_file()), old_text);
  EXPECT_EQ(ProcessorConfig::cargar(), before);
  EXPECT_EQ(entries(velmora_dir()), std::vector<std::string>{"config.json"});
  EXPECT_EQ(log.messages(), std::vector<std::string>{"Error guardando config en \"" +
                                                     config_file().string() + "\": File too large"});
}

TEST_F(ConfigFile, SaveWritesThroughASymlinkedFile) {
  const fs::path real = root_ / "dotfiles" / "velmora.json";
  write_text(real, "{}");
  fs::create_directories(velmora_dir());
  fs::create_symlink(real, config_file());
  edited().guardar();
  EXPECT_TRUE(fs::is_symlink(config_file()));
  EXPECT_EQ(read_text(real), edited_text());
}

TEST_F(ConfigFile, UnreadableFileLoadsDefaults) {
  fs::create_directories(config_file() / "sub");
  EXPECT_EQ(ProcessorConfig::cargar(), ProcessorConfig{});
}

// ---------------------------------------------------------------------------
// Path rule.

class PathRule : public ::testing::Test {
 protected:
  ScopedEnv xdg_{"XDG_CONFIG_HOME"};
  ScopedEnv home_{"HOME"};
};

std::string account_home() {
  const passwd* pw = ::getpwuid(::getuid());
  return pw != nullptr ? pw->pw_dir : "";
}

TEST_F(PathRule, AbsoluteXdgConfigHomeWins) {
  xdg_.set("/srv/conf");
  home_.set("/home/ana");
  EXPECT_EQ(config_path(), "/srv/conf/velmora/config.json");
  EXPECT_EQ(config_dir(), "/srv/conf");
}

TEST_F(PathRule, RelativeOrEmptyXdgConfigHomeIsIgnored) {
  home_.set("/home/ana");
  xdg_.set("conf/rel");
  EXPECT_EQ(config_path(), "/home/ana/.config/velmora/config.json");
  xdg_.set("");
  EXPECT_EQ(config_path(), "/home/ana/.config/velmora/config.json");
  xdg_.unset();
  EXPECT_EQ(config_path(), "/home/ana/.config/velmora/config.json");
}

TEST_F(PathRule, HomeUnsetOrEmptyFallsBackToAccountDatabase) {
  ASSERT_FALSE(account_home().empty());
  xdg_.unset();
  home_.unset();
  EXPECT_EQ(config_path(), fs::path(account_home()) / ".config/velmora/config.json");
  home_.set("");
  EXPECT_EQ(config_path(), fs::path(account_home()) / ".config/velmora/config.json");
}

TEST_F(PathRule, ReadsTheEnvironmentOnEachCall) {
  xdg_.set("/a");
  EXPECT_EQ(config_path(), "/a/velmora/config.json");
  xdg_.set("/b");
  EXPECT_EQ(config_path(), "/b/velmora/config.json");
}

}  // namespace
}  // namespace velmora
