#include "settings/config.hpp"

#include <pwd.h>
#include <signal.h>
#include <spdlog/fmt/fmt.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>
#include <sys/resource.h>

#include <nlohmann/json.hpp>

#include "log.hpp"
#include "settings/settings_support.hpp"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::read_text;
using testing::write_text;
using namespace std::string_literals;
using ordered_json = nlohmann::ordered_json;

// A record that differs from the defaults almost everywhere, so that a mix of file
// values and defaults can't pass for either.
ProcessorConfig edited() {
  ProcessorConfig c{.num_bands = 4, .crossover_freqs = {100.0f, 500.0f, 2500.0f, 7000.0f, 0.0f},
                    .input_gain_db = 1.5f, .output_gain_db = -2.25f, .limiter_threshold = -1.0f,
                    .input_device = "hw:CARD=USB,DEV=0", .output_device = "Salida \"principal\" \\ señal\t\x01",
                    .sample_rate = 44100, .buffer_size = 256, .mpx = {true, Tau::Us50, -1.0f, 0.1f},
                    .last_preset = "HARD BASS ♪"};
  c.bands[2].ratio = 7.5f;
  c.bands[5].enabled = false;
  return c;
}

std::string edited_text() { return json_form::to_json(edited()); }
std::string hand_edited() { return edited_text().insert(edited_text().size() - 2, ","); }
std::string quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

// Log messages, one a line, without timestamp, level and target.
struct LogCapture {
  explicit LogCapture(const char* filter = "velmora::config=debug") {
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
    log::init(log::parse_filter(filter), sink);
    sink->set_pattern("%v");
  }
  ~LogCapture() { log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>()); }
  std::ostringstream out;
};

class ConfigFile : public testing::TempConfigHome {
 protected:
  fs::path config_file() const { return velmora_dir() / "config.json"; }
  fs::path kept_file() const { return velmora_dir() / "config.json.rechazado"; }
  // A fresh folder for the next row of a table.
  void clear() {
    if (fs::exists(velmora_dir())) fs::permissions(velmora_dir(), fs::perms::all);
    fs::remove_all(velmora_dir());
  }
};

// A file made from edited()'s text, optionally with every record turned into the array of its
// values (as nlohmann prints it), then text substitutions (each at the first match), then
// blanks up to a size.
struct FileCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> edits;
  bool arrays = false;
  void (*expect)(ProcessorConfig&) = nullptr;  // accepted: how the record differs from edited()
  std::size_t pad_to = 0;
};

ordered_json as_arrays(const ordered_json& j) {
  if (!j.is_structured()) return j;
  ordered_json a = ordered_json::array();
  for (const auto& v : j) a.push_back(as_arrays(v));
  return a;
}

std::string file_text(const FileCase& c) {
  std::string text = c.arrays ? as_arrays(ordered_json::parse(edited_text())).dump(2) : edited_text();
  for (const auto& [from, to] : c.edits) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  if (c.pad_to != 0) text.resize(c.pad_to, ' ');
  return text;
}

using C = ProcessorConfig;

// One row per reading rule; rows without `expect` are rejected whole.
const FileCase kFiles[] = {
    // Standard JSON, valid UTF-8, nothing after the value (a NUL byte neither), no byte-order mark.
    {"trailing comma", {{"0.0\n  ]", "0.0,\n  ]"}}}, {"invalid UTF-8", {{"señal", "se\xF1" "al"}}},
    {"trailing letter", {{"♪\"\n}", "♪\"\n}x"}}}, {"trailing NUL", {{"♪\"\n}", "♪\"\n}\0"s}}},
    {"byte-order mark", {{"{\n", "\xEF\xBB\xBF{\n"}}},
    // Every key but last_preset required, none given twice.
    {"missing band field", {{",\n      \"exp_ratio\": 2.0", ""}}},
    {"duplicate num_bands", {{"\"num_bands\": 4,", "\"num_bands\": 4, \"num_bands\": 4,"}}},
    // Arrays, and records as arrays, of exact length.
    {"4 crossovers", {{"100.0,\n    ", ""}}}, {"7 bands", {{"\n    }\n  ],", "\n    }, {}\n  ],"}}},
    {"band array of 10", {{",\n      2.0\n    ]", "\n    ]"}}, true},
    {"config array of 13", {{"\"HARD BASS ♪\"", "\"HARD BASS ♪\", \"\""}}, true},
    // Integer fields: digits only, within their type.
    {"num_bands 5.0", {{"\"num_bands\": 4", "\"num_bands\": 5.0"}}}, {"sample_rate -1", {{"44100", "-1"}}},
    {"buffer_size 4294967296", {{"256", "4294967296"}}},
    // Each field its own JSON type; an f32 within a double's range.
    {"f32 beyond a double", {{"-2.25", "-1e999"}}}, {"f32 beyond a long double", {{"-2.25", "-1e5000"}}},
    {"f32 as string", {{"-2.25", "\"-2.25\""}}},
    {"bool as number", {{"\"enabled\": true", "\"enabled\": 1"}}}, {"string null", {{"\"HARD BASS ♪\"", "null"}}},
    {"record as a number", {{"\"mpx\": {", "\"mpx\": 1, \"x\": {"}}},
    // tau: the exact name, or an object holding only that name set to null.
    {"tau lower case", {{"\"Us50\"", "\"us50\""}}}, {"tau empty", {{"\"Us50\"", "\"\""}}},
    {"tau object with value", {{"\"Us50\"", "{\"Us50\": 1}"}}},
    {"tau object of two", {{"\"Us50\"", "{\"Us50\": null, \"Us75\": null}"}}},
    // Unknown keys anywhere, whatever they hold (a number beyond a double too); keys in any
    // order; last_preset left out; blanks after the value up to the size cap.
    {"free layout",
     {{"\"num_bands\": 4,", R"("note": [[[[{"a": -1e400}]]]], "o": {"x": 1, "x": 2},)"},
      {"\"tau\"", "\"Enabled\": 1, \"tau\""}, {"\"exp_ratio\": 2.0", "\"exp_ratio\": 2.0, \"note\": [1]"},
      {"\"last_preset\": \"HARD BASS ♪\"", "\"num_bands\": 4"}},
     false, [](C& c) { c.last_preset.clear(); }, kMaxSettingsFileBytes},
    {"unknown keys beyond a long double",
     {{"\"num_bands\": 4,", "\"extra\": 1e5000, \"more\": [-1E+99999, 5e5000], \"num_bands\": 4,"},
      {"\"hw:CARD=USB,DEV=0\"", R"("\"1e5000")"}},
     false, [](C& c) { c.input_device = "\"1e5000"; }},
    {"every record as an array", {}, true, [](C&) {}},
    {"every record as an array, last_preset left out", {{",\n  \"HARD BASS ♪\"", ""}}, true,
     [](C& c) { c.last_preset.clear(); }},
    // An f32 from an integer, from a double's digits, as -0 and beyond its range (the largest
    // f32); integers as -0 and up to their type's largest, num_bands unclamped.
    {"numbers",
     {{"100.0", "100"}, {"\"pilot_level\": 0.1", "\"pilot_level\": 0.10000000149011612"}, {"0.0\n  ]", "-0\n  ]"},
      {"1.5", "1e39"}, {"-2.25", "-1e39"}, {"\"num_bands\": 4", "\"num_bands\": 1000"}, {"44100", "4294967295"},
      {"256", "-0"}},
     false,
     [](C& c) {
       c.crossover_freqs[4] = -0.0f, c.input_gain_db = 3.4028235e38f, c.output_gain_db = -3.4028235e38f;
       c.num_bands = 1000, c.sample_rate = 4294967295u, c.buffer_size = 0;
     }},
    {"tau as an object, escapes decoded",
     {{"\"Us50\"", "{ \"Us75\" : null }"}, {"\"hw:CARD=USB,DEV=0\"", R"("\u00f1\ud83c\udfb5\/")"}}, false,
     [](C& c) { c.mpx.tau = Tau::Us75, c.input_device = "ñ🎵/"; }},
};

// A rejected file gives the complete defaults, and a load that says it read nothing.
TEST_F(ConfigFile, LoadFollowsTheReadingRules) {
  for (const FileCase& c : kFiles) {
    write_text(config_file(), file_text(c));
    ProcessorConfig expected = c.expect ? edited() : ProcessorConfig{};
    if (c.expect) c.expect(expected);
    const ConfigLoad load = ProcessorConfig::leer();
    // As text, which tells every f32 apart, the sign of zero included.
    EXPECT_EQ(json_form::to_json(load.config), json_form::to_json(expected)) << c.label;
    EXPECT_EQ(load.read, c.expect != nullptr) << c.label;
  }
}

// A "config.json" that is there but can't be used: a hand edit, one byte over the size cap, a
// FIFO, a link to a device. Its bytes, or the file itself, are kept beside it once.
TEST_F(ConfigFile, UnusableFileLoadsDefaultsAndTheFirstSaveKeepsItBesideOnce) {
  void (*const makes[])(const fs::path&) = {
      [](const fs::path& f) { write_text(f, hand_edited()); },
      [](const fs::path& f) {
        write_text(f, edited_text().append(kMaxSettingsFileBytes + 1 - edited_text().size(), ' '));
      },
      [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0644), 0); },
      [](const fs::path& f) { fs::create_symlink("/dev/zero", f); }};
  for (const auto make : makes) {
    clear();
    write_text(kept_file(), "an older copy");
    make(config_file());
    const fs::file_type type = fs::symlink_status(config_file()).type();
    const std::string bytes = type == fs::file_type::regular ? read_text(config_file()) : "";
    EXPECT_EQ(ProcessorConfig::cargar(), ProcessorConfig{});
    LogCapture log("velmora::config=warn");
    edited().guardar();
    ProcessorConfig{}.guardar();
    EXPECT_EQ(fs::symlink_status(kept_file()).type(), type);
    if (type == fs::file_type::regular) { EXPECT_EQ(read_text(kept_file()), bytes); }
    EXPECT_EQ(read_text(config_file()), json_form::to_json(ProcessorConfig{}));
    EXPECT_EQ(entries_in(velmora_dir()), 2u);
    EXPECT_EQ(log.out.str(),
              fmt::format("Config rechazado {} conservado en {}\n", quoted(config_file()), quoted(kept_file())));
  }
}

// A missing file loads as the defaults and creates nothing. A save makes the folders and the file
// with every permission but the umask's, passes over a temporary file's name already taken, keeps
// the permissions that the user gave the file, and logs a folder that it can't make.
TEST_F(ConfigFile, SaveWritesTheTextThatLoadsBackAndKeepsTheFilesPermissions) {
  xdg_.set((root_ / "a" / "b").string());
  const fs::path file = root_ / "a" / "b" / "velmora" / "config.json";
  EXPECT_FALSE(ProcessorConfig::leer().read);
  EXPECT_FALSE(fs::exists(root_ / "a"));
  LogCapture log;
  const mode_t old_mask = ::umask(0);
  edited().guardar();
  ::umask(old_mask);
  EXPECT_EQ(read_text(file), edited_text());
  EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms::all);
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0666));
  EXPECT_EQ(log.out.str(), "Config guardado: " + quoted(file) + "  last_preset=\"HARD BASS ♪\"\n");
  EXPECT_EQ(entries_in(file.parent_path()), 1u);
  EXPECT_EQ(ProcessorConfig::cargar(), edited());
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  write_text(file.parent_path() / (".config.json." + std::to_string(::getpid()) + "-0.tmp"), "taken");
  ProcessorConfig{}.guardar();
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(read_text(file), json_form::to_json(ProcessorConfig{}));
  EXPECT_EQ(entries_in(file.parent_path()), 2u);
  xdg_.set(file.string());  // a file where a folder goes
  ProcessorConfig{}.guardar();
  EXPECT_TRUE(log.out.str().ends_with("No se pudo crear directorio de config: " + quoted(file / "velmora") + "\n"));
}

// fsync fails with this error while it is not 0; the test binary is linked with fsync wrapped.
int fsync_error = 0;

// A save that the disk, the folder or the file refuses; the log names the file {0} and its kept copy {1}.
struct PermissionCase {
  const char* label;
  fs::perms folder;
  fs::perms file;     // unknown: no file
  rlim_t size_limit;  // 0: none
  std::string log;
  bool written;
  bool rejected = false;  // the file holds a hand edit that the load rejected
  int fsync_error = 0;    // injected
};

constexpr auto kOpen = fs::perms::all, kReadOnly = fs::perms(0555), kWritable = fs::perms(0666);
const std::string kInPlace = "Sin permiso para crear un temporal junto a {0}: se escribe en su sitio\n",
                  kSaved = "Config guardado: {0}  last_preset=\"HARD BASS ♪\"\n",
                  kTooLarge = "Error guardando config en {0}: File too large\n",
                  kDenied = "Error guardando config en {0}: Permission denied\n",
                  kFlushFailed = "Error guardando config en {0}: Input/output error\n";

const PermissionCase kPermissionCases[] = {
    {"full disk", kOpen, kWritable, 100, kTooLarge, false},
    {"read-only file", kOpen, fs::perms(0444), 0, kDenied, false},
    {"read-only folder", kReadOnly, kWritable, 0, kInPlace + kSaved, true},
    // In place, the room is reserved before a byte of the old text changes.
    {"read-only folder and a full disk", kReadOnly, kWritable, 100, kInPlace + kTooLarge, false},
    {"read-only folder without the file", kReadOnly, fs::perms::unknown, 0, kDenied, false},
    // A flush that fails is a failed save: before the rename the old file stays; in place the
    // new bytes are there already, but the save is not reported as done.
    {"failed flush", kOpen, kWritable, 0, kFlushFailed, false, false, EIO},
    {"read-only folder and a failed flush", kReadOnly, kWritable, 0, kInPlace + kFlushFailed, true, false, EIO},
    // The rejected file can't be kept beside it there, and is replaced all the same; once.
    {"read-only folder and a rejected file, saved twice", kReadOnly, kWritable, 0,
     "Config rechazado {0} no conservado en {1}: Permission denied; se guarda encima\n" + kInPlace + kSaved +
         kInPlace + kSaved,
     true, true},
};

TEST_F(ConfigFile, RefusedSaveKeepsThePreviousFileAndLogsTheOsErrorOrWritesInPlace) {
  fs::permissions(root_, kOpen);
  for (const PermissionCase& c : kPermissionCases) {
    clear();
    ProcessorConfig{}.guardar();
    const bool file = c.file != fs::perms::unknown;
    if (c.rejected) write_text(config_file(), hand_edited());
    file ? fs::permissions(config_file(), c.file) : (void)fs::remove(config_file());
    fs::permissions(velmora_dir(), c.folder);
    const std::string log = testing::in_child(
        [&c] {
          if (c.rejected) (void)ProcessorConfig::cargar();
          fsync_error = c.fsync_error;
          LogCapture capture("velmora=debug");
          if (c.size_limit != 0) {  // a disk that fills up mid-write; the write fails instead of ending the process
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{c.size_limit, c.size_limit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
          }
          edited().guardar();
          if (c.rejected) edited().guardar();
          return capture.out.str();
        },
        true);
    EXPECT_EQ(log, fmt::format(fmt::runtime(c.log), quoted(config_file()), quoted(kept_file()))) << c.label;
    EXPECT_EQ(read_text(config_file()), !file ? "" : json_form::to_json(c.written ? edited() : ProcessorConfig{}))
        << c.label;
    EXPECT_EQ(entries_in(velmora_dir()), file ? 1u : 0u) << c.label;
  }
}

TEST_F(ConfigFile, SaveWritesThroughALinkToARegularFileAndReplacesAnyOtherLink) {
  const fs::path real = root_ / "dotfiles" / "velmora.json";
  write_text(real, "{}");
  fs::create_directories(velmora_dir());
  fs::create_symlink(real, config_file());
  edited().guardar();
  EXPECT_TRUE(fs::is_symlink(config_file()));
  EXPECT_EQ(read_text(real), edited_text());

  // No load refused it first, so only the save stands between the link and what it points at.
  const fs::path fifo = root_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::remove(config_file());
  fs::create_symlink(fifo, config_file());
  edited().guardar();
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(read_text(config_file()), edited_text());
}

TEST_F(ConfigFile, StartRemovesOnlyTheLeftoverTemporaryFilesOfSaves) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  const std::pair<std::string, bool> files[] = {  // name, removed
      {".config.json." + dead + "-0.tmp", true},
      {".config.json.rechazado." + std::to_string(::getpid()) + "-19.tmp", true},  // an earlier process's
      {"..json." + dead + "-3.tmp", true},  // an unnamed preset's
      {".x." + dead + "-0.tmp", true},
      {".config.json." + std::to_string(::getppid()) + "-0.tmp", false},  // may be being written
      {"config.json." + dead + "-0.tmp", false},
      {".config.json." + dead + "x-0.tmp", false},
      {".config.json." + dead + "-x.tmp", false},
  };
  for (const auto& [name, removed] : files) write_text(velmora_dir() / name, "x");
  fs::create_directory(velmora_dir() / (".dir." + dead + "-0.tmp"));
  fs::create_symlink("config.json", velmora_dir() / (".b." + dead + "-0.tmp"));
  remove_leftover_temp_files(velmora_dir());
  for (const auto& [name, removed] : files) EXPECT_NE(fs::exists(velmora_dir() / name), removed) << name;
  EXPECT_EQ(entries_in(velmora_dir()), 6u);
}

TEST(ConfigPath, FollowsXdgConfigHomeThenHomeThenTheAccountDatabase) {
  testing::ScopedEnv xdg("XDG_CONFIG_HOME");
  testing::ScopedEnv home("HOME");
  const passwd* pw = ::getpwuid(::getuid());
  ASSERT_TRUE(pw != nullptr && *pw->pw_dir != '\0');
  const std::string account = pw->pw_dir + "/.config/velmora/config.json"s;
  const std::string ana = "/home/ana/.config/velmora/config.json";
  const std::tuple<const char*, const char*, std::string> rows[] = {  // XDG_CONFIG_HOME, HOME (nullptr: unset), path
      {"/srv/conf", "/home/ana", "/srv/conf/velmora/config.json"}, {"conf/rel", "/home/ana", ana},
      {nullptr, "/home/ana", ana}, {nullptr, nullptr, account}, {"rel", "", account}};
  for (const auto& [xdg_value, home_value, path] : rows) {
    xdg_value ? xdg.set(xdg_value) : xdg.unset();
    home_value ? home.set(home_value) : home.unset();
    EXPECT_EQ(config_path(), path) << (xdg_value ? xdg_value : "unset") << " / " << (home_value ? home_value : "unset");
  }
}

}  // namespace
}  // namespace velmora

extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
  if (velmora::fsync_error == 0) return __real_fsync(fd);
  errno = velmora::fsync_error;
  return -1;
}
