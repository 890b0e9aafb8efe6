#include "audio/input_buffer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace velmora {
namespace {

// Release stores and acquire loads of a float are plain moves on x86-64. Per slot rather than as
// fences: a reader that sees a sample also sees the floor raised before it was written.
void put(float& slot, float value) noexcept { std::atomic_ref<float>(slot).store(value, std::memory_order_release); }
float get(float& slot) noexcept { return std::atomic_ref<float>(slot).load(std::memory_order_acquire); }

}  // namespace

// The slots are left unwritten until used, so a large ring costs only the memory its audio touches.
InputRing::InputRing(std::uint64_t limit)
    : kept_(3 * limit),
      capacity_(std::bit_ceil(std::max<std::uint64_t>(4 * limit, 1))),
      slots_(std::make_unique_for_overwrite<float[]>(capacity_)) {}

// The slots of positions [from, from + n): at most two runs of adjacent slots, split where the ring
// wraps, so the copies below walk plain pointers.
std::array<std::span<float>, 2> InputRing::runs(std::uint64_t from, std::uint64_t n) const noexcept {
  const std::span<float> all(slots_.get(), capacity_);
  const std::uint64_t at = from & (capacity_ - 1), first = std::min(n, capacity_ - at);
  return {all.subspan(at, first), all.first(n - first)};
}

void InputRing::append(std::span<const float> block) noexcept {
  const std::uint64_t n = block.size();
  const std::uint64_t w = write_.load(std::memory_order_relaxed);
  std::uint64_t oldest = std::max(read_.load(std::memory_order_acquire), floor_.load(std::memory_order_relaxed));
  if (w - oldest + n > kept_) {
    oldest += n;
    floor_.store(oldest, std::memory_order_relaxed);
  }
  // Only the samples the trim leaves are written: none of a block longer than 3 × limit.
  const std::uint64_t from = std::max(oldest, w);
  const float* in = block.data() + (from - w);
  for (const std::span<float> run : runs(from, w + n - from)) {
    for (float& slot : run) put(slot, *in++);
  }
  write_.store(w + n, std::memory_order_release);
}

bool InputRing::take(std::span<float> out) noexcept {
  const std::uint64_t n = out.size();
  const std::uint64_t w = write_.load(std::memory_order_acquire);
  const std::uint64_t oldest = std::max(read_.load(std::memory_order_relaxed), floor_.load(std::memory_order_relaxed));
  if (w >= oldest + n) {  // the floor may already stand past w
    // A broken capture driver can deliver NaN, infinity or absurd values far beyond full scale
    // (1.0); one such sample would stay in the filter and envelope memories for good (the square
    // of 1e30 is already infinite), so it enters as silence.
    float* to = out.data();
    for (const std::span<float> run : runs(oldest, n)) {
      for (float& slot : run) {
        const float x = get(slot);
        *to++ = std::abs(x) <= kMaxCapturedSample ? x : 0.0f;
      }
    }
    // Capture writes only below floor + 3 × limit. Within one lap of `oldest` it cannot have
    // touched a slot just copied; beyond it the copy may mix laps and is dropped.
    if (floor_.load(std::memory_order_relaxed) + kept_ <= oldest + capacity_) {
      read_.store(oldest + n, std::memory_order_release);
      return true;
    }
  }
  std::fill(out.begin(), out.end(), 0.0f);
  return false;
}

}  // namespace velmora
