#pragma once
// The persisted settings: records, defaults, "config.json" path, load and save.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "audio/tau.hpp"
#include "sync.hpp"

namespace velmora {

struct BandConfig {
  bool enabled = true;
  float threshold_db = -18.0f;
  float ratio = 3.0f;
  float attack_ms = 10.0f;
  float release_ms = 150.0f;
  float makeup_db = 3.0f;
  bool clip_enable = true;
  float clip_level_db = -0.5f;
  bool exp_enable = false;
  float exp_threshold = -60.0f;
  float exp_ratio = 2.0f;

  bool operator==(const BandConfig&) const = default;
};

struct MpxConfig {
  bool enabled = false;
  Tau tau = Tau::Us75;
  float level_db = -1.0f;
  float pilot_level = 0.09f;

  bool operator==(const MpxConfig&) const = default;
};

struct ProcessorConfig {
  std::uint64_t num_bands = 5;
  std::array<float, 5> crossover_freqs{120.0f, 400.0f, 2000.0f, 6000.0f, 12000.0f};
  float input_gain_db = 0.0f;
  float output_gain_db = 0.0f;
  float limiter_threshold = -0.3f;
  std::array<BandConfig, 6> bands{};
  std::string input_device;
  std::string output_device;
  std::uint32_t sample_rate = 48000;
  std::uint32_t buffer_size = 512;
  MpxConfig mpx{};
  std::string last_preset;

  bool operator==(const ProcessorConfig&) const = default;

  // The parsed "config.json", or the built-in defaults when it can't be used. Never fails, logs nothing.
  static ProcessorConfig cargar();
  // Writes the whole record to "config.json"; failures are only logged (target velmora::config).
  void guardar() const;
};

// num_bands clamped to 2..6: the band count that the engine, the chain and both views use.
constexpr std::uint64_t active_band_count(std::uint64_t num_bands) noexcept {
  return num_bands < 2 ? 2 : (num_bands > 6 ? 6 : num_bands);
}

// The user's configuration directory: $XDG_CONFIG_HOME if absolute, else <home>/.config, else ".".
std::filesystem::path config_dir();
// <config_dir>/velmora/config.json; reads the environment anew on each call.
std::filesystem::path config_path();

// The one live configuration, shared between the window and the audio engine.
using ConfigCell = Guarded<ProcessorConfig>;
using SharedConfig = std::shared_ptr<ConfigCell>;

inline SharedConfig make_shared_config(ProcessorConfig cfg) {
  return std::make_shared<ConfigCell>(std::move(cfg));
}

}  // namespace velmora
