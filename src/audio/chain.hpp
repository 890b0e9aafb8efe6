#pragma once
// The processing state that the playback callback owns, and the callback itself.
//
//   input_buffer ─► × input gain ─► Crossover ─► bands 0..n-1 ─► compressor + clipper ─► Σ
//       (ring)                                                                           │
//   device ◄─ × output gain ◄─ [MpxEncoder: pre-emphasis, mono, pilot, 38 kHz] ◄─ Limiter ◄┘
//
// Per call: bypass, or rebuild (on params_dirty, lock tried), parameter snapshot
// (lock tried; the last good one is kept), input, frame loop, meters.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "audio/band_bank.hpp"
#include "audio/crossover.hpp"
#include "audio/dynamics.hpp"
#include "audio/input_buffer.hpp"
#include "audio/kernels.hpp"
#include "audio/preemphasis.hpp"
#include "settings/config.hpp"
#include "result.hpp"
#include "shared_state.hpp"

namespace velmora {

// The settings one buffer is processed with, copied under the configuration lock.
struct ChainSnapshot {
  Bands bands{};
  std::size_t band_count = 2;  // already clamped to 2..6
  float input_gain_db = 0.0f;
  float output_gain_db = 0.0f;
  bool mpx_enabled = false;

  static ChainSnapshot from_config(const ProcessorConfig& cfg) noexcept;
};

// Below 3 Hz the crossover's frequency range [1 Hz, 0.499 × rate] is empty: such a rate
// is refused with a clear error, by the chain and by the engine before it opens a device.
Result<void> check_sample_rate(std::uint32_t rate);

struct ProcessingChain {
  Crossover crossover;
  std::array<BandState, kMaxBands> band_states;
  std::shared_ptr<SharedState> shared;
  InputBuffer input_buffer;
  SharedConfig config;
  MpxEncoder mpx;
  Limiter limiter;
  // Used whenever the configuration lock is busy or poisoned; the first one comes
  // from the copy the chain was built from.
  ChainSnapshot snapshot;
  // The frame loop's block kernels, the fastest this processor runs.
  Kernels kernels;
  // Scratch of the frame loop, kept here so that the audio thread never allocates.
  BandBank bank;
  alignas(32) std::array<float, kBlockFrames> split_l;
  alignas(32) std::array<float, kBlockFrames> split_r;
  std::array<LaneRow, kBlockFrames> rows_l;
  std::array<LaneRow, kBlockFrames> rows_r;
  std::array<float, kBlockFrames> sum_l;
  std::array<float, kBlockFrames> sum_r;

  // Crossover, band states, limiter and encoder from `copy`; fails as check_sample_rate does.
  static Result<ProcessingChain> build(const ProcessorConfig& copy, std::shared_ptr<SharedState> shared,
                                       InputBuffer input_buffer, SharedConfig config);

  // The playback callback: fills `out` (interleaved stereo) and publishes the meters.
  void output_callback(std::span<float> out) noexcept;

 private:
  void run_bypass(std::span<float> out, float k) noexcept;
  void try_rebuild() noexcept;
  void try_snapshot() noexcept;
};

}  // namespace velmora
