#pragma once
// Presets: the built-in table, user preset files, apply and save.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config.hpp"
#include "result.hpp"

namespace velmora {

struct Preset {
  std::string name;
  std::uint64_t num_bands = 5;
  std::array<float, 5> crossover_freqs{};
  float input_gain_db = 0.0f;
  float output_gain_db = 0.0f;
  float limiter_threshold = 0.0f;
  std::array<BandConfig, 6> bands{};
  MpxConfig mpx{};

  bool operator==(const Preset&) const = default;

  // A preset named `name` holding the processing fields of `cfg`.
  static Preset from_config(std::string name, const ProcessorConfig& cfg);
  // Copies the processing fields into `cfg`; devices, rate, buffer and last_preset stay.
  void apply(ProcessorConfig& cfg) const;
  // Writes <presets_dir>/<preset_file_stem(name)>.json; the error text is the failing operation's own.
  Result<void> save() const;
};

// The six built-ins, in their fixed order.
const std::vector<Preset>& builtin_presets();
// <config_dir>/velmora/presets; creates nothing.
std::filesystem::path presets_dir();
// The built-ins followed by the user presets sorted by name bytes (stable). Never fails.
std::vector<Preset> all_presets();
void remove_presets_named(std::vector<Preset>& list, std::string_view name);
// Letters and numbers (Unicode) and "-" kept, everything else becomes "_".
std::string preset_file_stem(std::string_view name);

}  // namespace velmora
