#include "settings/presets.hpp"

#include <dirent.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

#include "settings/config.hpp"
#include "settings/file_io.hpp"
#include "settings/json_form.hpp"
#include "utf8.hpp"

namespace velmora {
namespace fs = std::filesystem;
namespace {

// The six fields in which the built-in bands differ; the others keep BandConfig's defaults.
struct BandRow {
  float threshold_db, ratio, attack_ms, release_ms, makeup_db, clip_level_db;
};

Preset builtin(std::string name, std::uint64_t num_bands, Crossovers crossovers,
               float output_gain_db, float limiter_threshold, const std::array<BandRow, kMaxBands>& rows) {
  Preset p;
  p.name = std::move(name);
  p.num_bands = num_bands;
  p.crossover_freqs = crossovers;
  p.output_gain_db = output_gain_db;
  p.limiter_threshold = limiter_threshold;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    BandConfig& b = p.bands[i];
    b.threshold_db = rows[i].threshold_db;
    b.ratio = rows[i].ratio;
    b.attack_ms = rows[i].attack_ms;
    b.release_ms = rows[i].release_ms;
    b.makeup_db = rows[i].makeup_db;
    b.clip_level_db = rows[i].clip_level_db;
  }
  return p;
}

// Five-band presets leave the sixth split empty.
constexpr Crossovers kFiveBandSplits{120.0f, 400.0f, 2000.0f, 6000.0f, 0.0f};
// Band 6 of the five-band presets: inactive while they stay at five bands, stored all the same.
constexpr BandRow kSpareBand{-30.0f, 2.0f, 30.0f, 500.0f, 0.0f, -2.0f};

std::vector<Preset> make_builtins() {
  return {
      builtin("ROCK", 5, kFiveBandSplits, 0.0f, -0.3f,
              {{{-24.0f, 4.0f, 15.0f, 200.0f, 4.0f, -0.5f},
                {-20.0f, 4.0f, 8.0f, 150.0f, 5.0f, -0.5f},
                {-18.0f, 5.0f, 5.0f, 100.0f, 6.0f, -0.5f},
                {-20.0f, 4.0f, 3.0f, 80.0f, 4.0f, -0.5f},
                {-24.0f, 3.0f, 2.0f, 60.0f, 3.0f, -1.0f},
                kSpareBand}}),
      builtin("BLUE", 5, kFiveBandSplits, 0.0f, -0.5f,
              {{{-26.0f, 2.5f, 25.0f, 300.0f, 2.5f, -1.0f},
                {-22.0f, 3.0f, 12.0f, 200.0f, 3.0f, -1.0f},
                {-20.0f, 2.5f, 8.0f, 150.0f, 2.0f, -1.5f},
                {-22.0f, 2.0f, 5.0f, 100.0f, 2.0f, -2.0f},
                {-28.0f, 2.0f, 3.0f, 80.0f, 1.5f, -2.0f},
                kSpareBand}}),
      builtin("CLASIC", 5, kFiveBandSplits, -1.0f, -1.0f,
              {{{-16.0f, 2.0f, 50.0f, 600.0f, 1.0f, -2.0f},
                {-16.0f, 1.8f, 30.0f, 500.0f, 1.0f, -2.0f},
                {-14.0f, 1.5f, 20.0f, 400.0f, 1.0f, -2.0f},
                {-18.0f, 1.5f, 10.0f, 300.0f, 1.0f, -2.0f},
                {-22.0f, 2.0f, 5.0f, 200.0f, 2.0f, -2.0f},
                kSpareBand}}),
      builtin("VOICE", 5, kFiveBandSplits, 0.0f, -0.2f,
              {{{-18.0f, 4.0f, 10.0f, 150.0f, 2.0f, -1.0f},
                {-16.0f, 5.0f, 6.0f, 120.0f, 3.0f, -0.5f},
                {-14.0f, 6.0f, 4.0f, 100.0f, 7.0f, -0.5f},
                {-16.0f, 8.0f, 2.0f, 60.0f, 5.0f, -0.5f},
                {-22.0f, 4.0f, 1.5f, 40.0f, 2.0f, -1.0f},
                kSpareBand}}),
      builtin("HARD BASS", 6, {80.0f, 320.0f, 1200.0f, 4800.0f, 12000.0f}, -2.0f, -0.2f,
              {{{-16.0f, 8.0f, 3.0f, 80.0f, 12.0f, -0.3f},
                {-18.0f, 6.0f, 5.0f, 100.0f, 9.0f, -0.3f},
                {-20.0f, 4.0f, 4.0f, 100.0f, 4.0f, -0.5f},
                {-22.0f, 3.5f, 3.0f, 80.0f, 3.0f, -0.5f},
                {-26.0f, 3.0f, 2.0f, 60.0f, 2.0f, -1.0f},
                {-28.0f, 2.5f, 2.0f, 50.0f, 1.5f, -1.5f}}}),
      builtin("STRONG", 5, kFiveBandSplits, 0.0f, -0.1f,
              {{{-30.0f, 8.0f, 5.0f, 100.0f, 10.0f, -0.3f},
                {-28.0f, 8.0f, 4.0f, 80.0f, 10.0f, -0.3f},
                {-26.0f, 8.0f, 3.0f, 70.0f, 10.0f, -0.3f},
                {-28.0f, 6.0f, 2.0f, 60.0f, 8.0f, -0.3f},
                {-30.0f, 5.0f, 1.5f, 50.0f, 7.0f, -0.3f},
                kSpareBand}}),
  };
}

// A listing that fails this many times in a row is taken as broken for good: reading it
// again would only fail again, and the start must not hang on it.
constexpr int kMaxListingErrors = 8;

// One listed file to a preset, or nothing: only "*.json" files that read cleanly count.
std::optional<Preset> load_preset_file(const fs::path& path) {
  if (path.extension() != ".json") return std::nullopt;
  const FileRead file = read_settings_file(path);
  if (file.outcome != FileRead::Outcome::Read) return std::nullopt;
  std::optional<Preset> preset = json_form::preset_from_json(file.bytes);
  // The selectors' item ids end at a NUL, so such a preset could be listed but never loaded.
  if (preset && preset->name.find('\0') != std::string::npos) return std::nullopt;
  return preset;
}

std::vector<Preset> read_presets_folder(const fs::path& folder) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return {};
  return load_user_presets(folder, [&dir] {
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) return ListingStep{errno == 0 ? ListingStep::Kind::End : ListingStep::Kind::Error, {}};
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") return ListingStep{ListingStep::Kind::Name, std::string(name)};
    }
  });
}

// `name` as it shows: without the characters that show as nothing (Default_Ignorable_Code_Point),
// such as a zero-width space, a word joiner, a soft hyphen or the joiner inside an emoji.
std::string visible_part(std::string_view name) {
  std::string shown;
  for_each_char(name, [&shown](UChar32 c, std::string_view bytes) {
    if (c < 0 || !u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) shown += bytes;
  });
  return shown;
}

// The first of `presets` that a name showing as `shown` would pass for: named differently from
// `name`, the same once invisible characters are left out of both.
const Preset* shown_alike(std::string_view name, std::string_view shown, std::span<const Preset> presets) {
  for (const Preset& p : presets) {
    if (p.name != name && p.name.size() >= shown.size() && visible_part(p.name) == shown) return &p;
  }
  return nullptr;
}

}  // namespace

Preset Preset::from_config(std::string name, const ProcessorConfig& cfg) {
  Preset p;
  p.name = std::move(name);
  p.num_bands = cfg.num_bands;
  p.crossover_freqs = cfg.crossover_freqs;
  p.input_gain_db = cfg.input_gain_db;
  p.output_gain_db = cfg.output_gain_db;
  p.limiter_threshold = cfg.limiter_threshold;
  p.bands = cfg.bands;
  p.mpx = cfg.mpx;
  return p;
}

void Preset::apply(ProcessorConfig& cfg) const {
  cfg.num_bands = num_bands;
  cfg.crossover_freqs = crossover_freqs;
  cfg.input_gain_db = input_gain_db;
  cfg.output_gain_db = output_gain_db;
  cfg.limiter_threshold = limiter_threshold;
  cfg.bands = bands;
  cfg.mpx = mpx;
}

// Two refusals keep a save from losing a preset: a built-in's name would give a file that no
// LOAD reaches after a restart (the built-in comes first), and a name that shares its file
// with another preset ("a b", "a.b") would replace that preset. A file that reads as no
// preset is no preset to keep. A pasted name keeps its line breaks and direction controls,
// which no selector shows as typed: "\u202EKCOR" would pass for "ROCK"; and its invisible
// characters, with which "ROCK\u200B" would sit in the selectors as a second "ROCK". A name
// without invisible characters is what it shows, and passes for nothing.
Result<void> Preset::save(std::span<const Preset> listed) const {
  bool control = false;
  for_each_char(name, [&control](UChar32 c, std::string_view) { control = control || (c >= 0 && is_control_char(c)); });
  if (control) {
    return Error{"el nombre lleva saltos de línea u otros caracteres de control; escríbalo en una sola línea"};
  }
  if (holds_preset_named(builtin_presets(), name)) {
    return Error{"\"" + name + "\" es el nombre de un preset de fábrica; elija otro nombre"};
  }
  if (const std::string shown = visible_part(name); shown != name) {
    if (const Preset* builtin = shown_alike(name, shown, builtin_presets())) {
      return Error{"el nombre solo se distingue de \"" + builtin->name +
                   "\", un preset de fábrica, por caracteres invisibles; elija otro nombre"};
    }
    if (const Preset* other = shown_alike(name, shown, listed)) {
      return Error{"el nombre solo se distingue del preset \"" + other->name +
                   "\" por caracteres invisibles; elija otro nombre"};
    }
  }
  const fs::path folder = presets_dir();
  if (Result<void> made = create_folders(folder); !made) return made;
  const std::string file_name = preset_file_stem(name) + ".json";
  if (const std::optional<Preset> held = load_preset_file(folder / file_name); held && held->name != name) {
    return Error{"el archivo " + file_name + " ya guarda el preset \"" + held->name + "\"; elija otro nombre"};
  }
  // The writer cannot fail: a non-finite value is written as null.
  return write_file_atomically(folder / file_name, json_form::to_json(*this));
}

const std::vector<Preset>& builtin_presets() {
  static const std::vector<Preset> presets = make_builtins();
  return presets;
}

fs::path presets_dir() { return config_dir() / "velmora" / "presets"; }

std::vector<Preset> load_user_presets(const fs::path& folder, const std::function<ListingStep()>& next) {
  std::vector<Preset> found;
  for (int errors = 0; errors < kMaxListingErrors;) {
    const ListingStep step = next();
    if (step.kind == ListingStep::Kind::End) break;
    if (step.kind == ListingStep::Kind::Error) {
      ++errors;
      continue;
    }
    errors = 0;
    if (std::optional<Preset> p = load_preset_file(folder / step.name)) found.push_back(std::move(*p));
  }
  return found;
}

std::vector<Preset> all_presets() {
  std::vector<Preset> list = builtin_presets();
  std::vector<Preset> user = read_presets_folder(presets_dir());
  // std::string compares bytes as unsigned values, so "Zeta" sorts before "beta".
  std::stable_sort(user.begin(), user.end(),
                   [](const Preset& a, const Preset& b) { return a.name < b.name; });
  list.insert(list.end(), std::make_move_iterator(user.begin()), std::make_move_iterator(user.end()));
  return list;
}

bool holds_preset_named(const std::vector<Preset>& list, std::string_view name) {
  return std::any_of(list.begin(), list.end(), [name](const Preset& p) { return p.name == name; });
}

void remove_presets_named(std::vector<Preset>& list, std::string_view name) {
  std::erase_if(list, [name](const Preset& p) { return p.name == name; });
}

std::string preset_file_stem(std::string_view name) {
  std::string stem;
  stem.reserve(name.size());
  for_each_char(name, [&stem](UChar32 c, std::string_view bytes) {
    bool keep = c == '-';
    if (c >= 0 && !keep) {
      const auto category = static_cast<UCharCategory>(u_charType(c));
      keep = u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || category == U_DECIMAL_DIGIT_NUMBER ||
             category == U_LETTER_NUMBER || category == U_OTHER_NUMBER;
    }
    if (keep) {
      stem += bytes;
    } else {
      stem += '_';
    }
  });
  return stem;
}

}  // namespace velmora
