#pragma once
// Linkwitz-Riley band splitter: a cascade of split points, taken from the bottom.
//
//   in ─┬─ LP ─ LP ───────────────────────────────► band 0
//       └─ HP ─ HP ─┬─ LP ─ LP ───────────────────► band 1
//                   └─ HP ─ HP ─┬─ …
//                               └─ HP ─ HP ───────► band n-1
//
// Each LP/HP is a second-order Butterworth section; two in a row make the
// fourth-order Linkwitz-Riley slope. No all-pass compensation between bands.
// Filter arithmetic is f64; the signal between stages and the bands are f32.
#include <array>
#include <cstddef>
#include <vector>

#include "settings/bands.hpp"

namespace velmora {

// One second-order section in Direct Form I; coefficients already divided by a0.
struct Biquad {
  double b0 = 0.0, b1 = 0.0, b2 = 0.0;
  double a1 = 0.0, a2 = 0.0;
  double x1 = 0.0, x2 = 0.0;
  double y1 = 0.0, y2 = 0.0;

  double process(double x) noexcept {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// One split point for both channels: two identical sections per path.
struct Lr4Stage {
  std::array<Biquad, 2> low_l;
  std::array<Biquad, 2> high_l;
  std::array<Biquad, 2> low_r;
  std::array<Biquad, 2> high_r;

  // Coefficients for `freq` (clamped to [1, 0.499 × sample_rate]); memories 0.
  Lr4Stage(float freq, float sample_rate) noexcept;
};

inline constexpr std::size_t kMaxStages = kCrossoverCount;

struct Crossover {
  std::vector<Lr4Stage> stages;
  std::size_t num_bands = 2;
  float sample_rate = 0.0f;

  // `count` is the active band count, already clamped to 2..6; entries from
  // count - 1 on are not read.
  Crossover(std::size_t count, const Crossovers& freqs, float sample_rate);

  // Splits one frame into bands 0..num_bands-1 of band_l / band_r.
  void process(float left, float right, float* band_l, float* band_r) noexcept;

  // Fresh stages for a new count and frequencies; every filter memory restarts at 0.
  void rebuild(std::size_t count, const Crossovers& freqs) noexcept;
};

}  // namespace velmora
