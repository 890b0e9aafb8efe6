#pragma once
// The captured samples on their way from the capture callback to the playback callback:
// interleaved stereo f32, oldest first, in a ring with one writer and one reader that neither
// side ever waits for.
//
//   capture:  block ──> slots [w, w + n) ──> publish w      (floor t raised first when trimming)
//   playback: slots [max(r, t), + n) ──> out ──> publish r
//
// Neither side ever waits: each index has one writer, and each side only loads the other's. No
// sample is read torn: the slots are atomic floats, and playback copies only slots below the w it
// has loaded. Capture could overwrite one of those only by running a whole lap ahead, which raises
// the floor past the copy's start by more than the spare lap; playback reads the floor again after
// the copy and drops such a copy.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

namespace velmora {

// 120 dB above full scale: even at the largest input gain the chain accepts, the power of such a
// sample stays far from the f32 limit.
inline constexpr float kMaxCapturedSample = 1e6f;

class InputRing {
 public:
  // Holds at most 3 × `limit` samples. Throws what the allocation throws.
  explicit InputRing(std::uint64_t limit);

  // Capture side, one thread: appends `block`; when more than 3 × limit samples are then held,
  // removes as many of the oldest as the block holds.
  void append(std::span<const float> block) noexcept;
  // Playback side, one thread: copies the oldest out.size() samples into `out`, non-finite ones and
  // those beyond kMaxCapturedSample as silence, removes them and reports true. With fewer held, or
  // a copy that capture overtook, nothing is removed, `out` becomes silence and the answer is false.
  bool take(std::span<float> out) noexcept;

 private:
  std::array<std::span<float>, 2> runs(std::uint64_t from, std::uint64_t n) const noexcept;

  std::uint64_t kept_;      // 3 × limit
  std::uint64_t capacity_;  // a power of two of at least 4 × limit: the spare lap is one limit or more
  std::unique_ptr<float[]> slots_;
  // Positions count samples since the start and never wrap; slot = position mod capacity.
  alignas(64) std::atomic<std::uint64_t> write_{0};  // capture's: the end of the held samples
  std::atomic<std::uint64_t> floor_{0};              // capture's: below it, trimmed away
  alignas(64) std::atomic<std::uint64_t> read_{0};   // playback's: below it, taken
};

using InputBuffer = std::shared_ptr<InputRing>;

// An empty buffer that is trimmed above 3 × `limit` samples. Throws what the allocation throws.
inline InputBuffer make_input_buffer(std::uint64_t limit) { return std::make_shared<InputRing>(limit); }

}  // namespace velmora
