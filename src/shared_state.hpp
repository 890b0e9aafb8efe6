#pragma once
// Meter cells and flags that the GUI thread and the playback worker exchange
// without a lock. Every access is one relaxed atomic load or store.
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>

#include "settings/bands.hpp"

namespace velmora {

// Shared handle to one f32 held as its bit pattern; copying the handle shares the cell.
class MeterCell {
 public:
  MeterCell() : cell_(std::make_shared<std::atomic<std::uint32_t>>(0u)) {}
  void store(float v) const noexcept {
    cell_->store(std::bit_cast<std::uint32_t>(v), std::memory_order_relaxed);
  }
  float load() const noexcept {
    return std::bit_cast<float>(cell_->load(std::memory_order_relaxed));
  }

 private:
  std::shared_ptr<std::atomic<std::uint32_t>> cell_;
};

// A one-byte flag offering only a plain load and store.
class Flag {
 public:
  bool load() const noexcept { return v_.load(std::memory_order_relaxed); }
  void store(bool v) noexcept { v_.store(v, std::memory_order_relaxed); }

 private:
  std::atomic<bool> v_{false};
};

struct BandMeters {
  MeterCell level;
  MeterCell gr;
};

struct SharedState {
  MeterCell in_l;
  MeterCell in_r;
  MeterCell out_l;
  MeterCell out_r;
  MeterCell limiter_gr;
  std::array<BandMeters, kMaxBands> band_meters;
  Flag params_dirty;
  Flag bypass;

  // A new shared state: all 17 cells at 0.0, both flags false.
  static std::shared_ptr<SharedState> create() { return std::make_shared<SharedState>(); }
};

}  // namespace velmora
