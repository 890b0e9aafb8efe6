#pragma once
// The persisted settings as plain records: the whole configuration and the preset,
// a named snapshot of its processing fields. The file operations that the records
// declare are defined with their files (settings/config.cpp, settings/presets.cpp),
// above the JSON form that both files share.
#include <cstdint>
#include <span>
#include <string>

#include "result.hpp"
#include "settings/bands.hpp"

namespace velmora {

struct ConfigLoad;

// Pre-emphasis time constant of the multiplex encoder; stored by its variant name.
enum class Tau { Us50, Us75 };

// The multiplex encoder carries the stereo pilot and subcarrier only from this rate on.
inline constexpr std::uint32_t kStereoMinRate = 96000;

struct MpxConfig {
  bool enabled = false;
  Tau tau = Tau::Us75;
  float level_db = -1.0f;
  float pilot_level = 0.09f;

  bool operator==(const MpxConfig&) const = default;
};

struct ProcessorConfig {
  std::uint64_t num_bands = 5;
  Crossovers crossover_freqs{120.0f, 400.0f, 2000.0f, 6000.0f, 12000.0f};
  float input_gain_db = 0.0f;
  float output_gain_db = 0.0f;
  float limiter_threshold = -0.3f;
  Bands bands{};
  std::string input_device;
  std::string output_device;
  std::uint32_t sample_rate = 48000;
  std::uint32_t buffer_size = 512;
  MpxConfig mpx{};
  std::string last_preset;

  bool operator==(const ProcessorConfig&) const = default;

  // The parsed "config.json", or the built-in defaults when it can't be used. Never fails, logs nothing.
  static ProcessorConfig cargar();
  // What cargar() returns, and whether "config.json" gave it.
  static ConfigLoad leer();
  // Writes the whole record to "config.json"; failures are only logged (target velmora::config).
  void guardar() const;
};

// A load's result. `read` is false when "config.json" is missing, rejected or unreadable: the
// configuration is then the built-in defaults, and the start is a first run.
struct ConfigLoad {
  ProcessorConfig config;
  bool read = false;
};

struct Preset {
  std::string name;
  std::uint64_t num_bands = 5;
  Crossovers crossover_freqs{};
  float input_gain_db = 0.0f;
  float output_gain_db = 0.0f;
  float limiter_threshold = 0.0f;
  Bands bands{};
  MpxConfig mpx{};

  bool operator==(const Preset&) const = default;

  // A preset named `name` holding the processing fields of `cfg`.
  static Preset from_config(std::string name, const ProcessorConfig& cfg);
  // Copies the processing fields into `cfg`; devices, rate, buffer and last_preset stay.
  void apply(ProcessorConfig& cfg) const;
  // Writes <presets_dir>/<preset_file_stem(name)>.json; the error text is the failing operation's
  // own. Refused, with a reason in Spanish and nothing written, for a name with control characters,
  // a built-in's name, a name that differs from a built-in's or one of `listed` only by invisible
  // characters, and when that file holds a preset of another name.
  Result<void> save(std::span<const Preset> listed = {}) const;
};

}  // namespace velmora
