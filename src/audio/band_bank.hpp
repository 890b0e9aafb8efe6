#pragma once
// The six band compressors side by side, one lane per band (lanes 6 and 7 idle),
// as the band kernels read and update them over a block of frames. The envelope
// and gain smoothers are recursive in time but independent across bands.
#include <array>
#include <cstddef>
#include <cstdint>

#include "audio/dynamics.hpp"
#include "audio/lanes.hpp"

namespace velmora {

struct BandBank {
  // Settings of the current buffer.
  alignas(32) float threshold_db[kLanes];
  alignas(32) float slope[kLanes];
  alignas(32) float makeup_db[kLanes];
  alignas(32) float ceiling[kLanes];
  alignas(32) float attack[kLanes];
  alignas(32) float release[kLanes];
  alignas(32) std::uint32_t compress[kLanes];  // all ones: active and enabled
  alignas(32) std::uint32_t clip[kLanes];      // all ones: active and clipping
  // Recursive state, copied in and out of the six BandState once per buffer.
  alignas(32) float env[kLanes];
  alignas(32) float gain_db[kLanes];
  // Sums of the current buffer for the band meters: (|L| + |R|) / 2 and |gr|.
  alignas(32) float level_sum[kLanes];
  alignas(32) float gr_sum[kLanes];
  std::size_t active = 0;

  // Start of a buffer: settings, states and zeroed sums. Idle lanes hold neutral values.
  void load(const std::array<BandState, kMaxBands>& states, const std::array<BandParams, kMaxBands>& params,
            std::size_t active_count) noexcept;
  // End of a buffer: envelopes and gains back into the states.
  void store(std::array<BandState, kMaxBands>& states) const noexcept;
};

}  // namespace velmora
