#pragma once
// What every layer knows about bands: how many there can be, how many are active,
// one band's settings and the range of each band control, the crossover table that
// a band count brings, and the range texts the views show.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

inline constexpr std::size_t kMaxBands = 6;
// One crossover between each pair of neighbouring bands; 0 marks an unused slot.
inline constexpr std::size_t kCrossoverCount = kMaxBands - 1;
using Crossovers = std::array<float, kCrossoverCount>;

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

using Bands = std::array<BandConfig, kMaxBands>;

// One band knob of both views: caption, unit, range, the value a new knob shows, the
// field it edits, and whether the audio side reads that field only at a rebuild.
struct BandKnob {
  const char* label;
  const char* unit;
  float min;
  float max;
  float initial;
  float BandConfig::*field;
  bool needs_rebuild;
};

inline constexpr std::array<BandKnob, 6> kBandKnobs{{
    {"THR", "dB", -60.0f, 0.0f, -18.0f, &BandConfig::threshold_db, false},
    {"RATIO", ":1", 1.0f, 20.0f, 3.0f, &BandConfig::ratio, false},
    {"ATK", "ms", 0.1f, 200.0f, 10.0f, &BandConfig::attack_ms, true},
    {"REL", "ms", 10.0f, 2000.0f, 150.0f, &BandConfig::release_ms, true},
    {"GAIN", "dB", 0.0f, 24.0f, 3.0f, &BandConfig::makeup_db, false},
    {"LVL", "dB", -12.0f, 0.0f, -0.5f, &BandConfig::clip_level_db, false},
}};

// num_bands clamped to 2..6: the band count that the engine, the chain and both views use.
constexpr std::uint64_t active_band_count(std::uint64_t num_bands) noexcept {
  return num_bands < 2 ? 2 : (num_bands > kMaxBands ? kMaxBands : num_bands);
}

// The crossovers that the band-count controls write for n bands (6 for anything but 2..5).
Crossovers default_crossovers(std::uint64_t n);

// The six range texts: "<120", "120-400", …, ">12k", "—" past the last crossover. The
// number of ranges follows the crossovers above 0, not the band count.
std::array<std::string, kMaxBands> band_freq_labels(const Crossovers& freqs);

}  // namespace velmora
