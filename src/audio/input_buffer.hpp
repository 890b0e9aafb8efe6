#pragma once
// The captured samples on their way from the capture callback to the playback
// callback: interleaved stereo f32, oldest first, behind a mutex that both
// callbacks only ever try.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "sync.hpp"

namespace velmora {

using InputBufferCell = Guarded<std::vector<float>>;
using InputBuffer = std::shared_ptr<InputBufferCell>;

// 120 dB above full scale: even at the largest input gain the chain accepts, the
// power of such a sample stays far from the f32 limit.
inline constexpr float kMaxCapturedSample = 1e6f;

// An empty buffer with room for `capacity_samples`. Throws what the allocation throws.
inline InputBuffer make_input_buffer(std::size_t capacity_samples) {
  std::vector<float> v;
  v.reserve(capacity_samples);
  return std::make_shared<InputBufferCell>(std::move(v));
}

// Playback side: moves the oldest out.size() samples into `out` and reports true.
// Busy, poisoned or holding too few samples: `out` becomes silence, the buffer is
// left as it is, and the answer is false. Never waits, never allocates.
inline bool take_input(InputBufferCell& cell, std::span<float> out) noexcept {
  bool taken = false;
  {
    auto guard = cell.try_lock();
    if (guard.ok() && guard->size() >= out.size()) {
      std::vector<float>& v = *guard;
      const auto n = static_cast<std::ptrdiff_t>(out.size());
      std::copy(v.begin(), v.begin() + n, out.begin());
      v.erase(v.begin(), v.begin() + n);
      taken = true;
    }
  }
  if (!taken) {
    std::fill(out.begin(), out.end(), 0.0f);
    return false;
  }
  // A broken capture driver can deliver NaN, infinity or absurd values far beyond full
  // scale (1.0); one such sample would stay in the filter and envelope memories for good
  // (the square of 1e30 is already infinite), so it enters as silence.
  for (float& x : out) {
    if (!(std::abs(x) <= kMaxCapturedSample)) x = 0.0f;
  }
  return true;
}

}  // namespace velmora
