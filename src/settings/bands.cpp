#include "settings/bands.hpp"

#include <spdlog/fmt/fmt.h>

#include <cmath>

namespace velmora {
namespace {

// Whole numbers, an exact half going to the even neighbour (1500 → "2k", 2500 → "2k").
std::string whole(float x) { return fmt::format("{:.0f}", std::nearbyint(x)); }

std::string freq_text(float hz) {
  constexpr float kKilo = 1000.0f;
  return hz >= kKilo ? fmt::format("{}k", whole(hz / kKilo)) : whole(hz);
}

}  // namespace

Crossovers default_crossovers(std::uint64_t n) {
  switch (n) {
    case 2: return {800.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    case 3: return {300.0f, 3000.0f, 0.0f, 0.0f, 0.0f};
    case 4: return {150.0f, 1000.0f, 6000.0f, 0.0f, 0.0f};
    case 5: return {120.0f, 400.0f, 2000.0f, 6000.0f, 0.0f};
    default: return {80.0f, 320.0f, 1200.0f, 4800.0f, 12000.0f};
  }
}

std::array<std::string, kMaxBands> band_freq_labels(const Crossovers& f) {
  std::size_t count = 1;
  for (float x : f) count += x > 0.0f ? 1 : 0;
  std::array<std::string, kMaxBands> out;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i == 0) {
      out[i] = fmt::format("<{}", freq_text(f[0]));
    } else if (i >= count) {
      out[i] = "\u2014";
    } else if (i == count - 1) {
      out[i] = fmt::format(">{}", freq_text(f[i - 1]));
    } else {
      out[i] = fmt::format("{}-{}", freq_text(f[i - 1]), freq_text(f[i]));
    }
  }
  return out;
}

}  // namespace velmora
