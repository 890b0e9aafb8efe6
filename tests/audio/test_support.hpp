#pragma once
// Helpers shared by the audio tests: a lock held by another thread, a programme-like
// test signal, and a chain wired to its own shared state and buffers.
#include <cmath>
#include <cstdint>
#include <future>
#include <span>
#include <thread>
#include <vector>

#include "audio/chain.hpp"

namespace velmora::test {

// Holds a Guarded's lock on another thread until destroyed (a try_lock from the
// holding thread itself would be undefined for std::mutex).
template <class T>
class LockHolder {
 public:
  explicit LockHolder(Guarded<T>& cell) {
    std::promise<void> held;
    auto held_f = held.get_future();
    thread_ = std::thread([&cell, held = std::move(held), f = release_.get_future()]() mutable {
      auto guard = cell.lock();
      held.set_value();
      f.wait();
    });
    held_f.wait();
  }
  ~LockHolder() {
    release_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> release_;
  std::thread thread_;
};

template <class T>
void poison(Guarded<T>& cell) {
  try {
    auto guard = cell.lock();
    throw 1;
  } catch (int) {
  }
}

// Interleaved stereo: tones at moving levels in every region of the spectrum,
// noise bursts and a loud passage every seven seconds.
inline std::vector<float> programme(std::size_t frames, double rate) {
  std::vector<float> v(frames * 2);
  std::uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
  };
  constexpr double tau = 6.283185307179586;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double e1 = 0.5 + 0.5 * std::sin(tau * 0.23 * t);
    const double e2 = 0.5 + 0.5 * std::sin(tau * 0.071 * t + 1.0);
    const double loud = std::fmod(t, 7.0) < 1.0 ? 2.5 : 1.0;
    const double burst = std::fmod(t, 3.0) < 0.4 ? 0.25 : 0.02;
    const double l = 0.3 * e1 * std::sin(tau * 55 * t) + 0.2 * std::sin(tau * 440 * t + 0.3 * std::sin(tau * 5 * t)) +
                     0.15 * e2 * std::sin(tau * 3100 * t) + 0.1 * e1 * std::sin(tau * 9000 * t) +
                     0.05 * std::sin(tau * 15000 * t) + burst * noise();
    const double r = 0.25 * e2 * std::sin(tau * 80 * t) + 0.2 * e1 * std::sin(tau * 700 * t) +
                     0.15 * std::sin(tau * 2300 * t + 2 * e2) + 0.1 * e2 * std::sin(tau * 7000 * t) +
                     burst * noise();
    v[2 * i] = static_cast<float>(loud * l);
    v[2 * i + 1] = static_cast<float>(loud * r);
  }
  return v;
}

// A chain with its own shared state, capture buffer and configuration cell.
struct Rig {
  std::shared_ptr<SharedState> shared = SharedState::create();
  InputBuffer input = make_input_buffer(1 << 16);
  SharedConfig config;
  ProcessingChain chain;

  explicit Rig(const ProcessorConfig& cfg)
      : config(make_shared_config(cfg)), chain(ProcessingChain::build(cfg, shared, input, config).value()) {}

  void feed(std::span<const float> samples) {
    auto g = input->lock();
    g->insert(g->end(), samples.begin(), samples.end());
  }
  // Feeds `in` and runs one callback of the same size.
  std::vector<float> run(std::span<const float> in) {
    feed(in);
    std::vector<float> out(in.size());
    chain.output_callback(out);
    return out;
  }
  // Changes the live configuration the way the window does: write, release, raise.
  template <class F>
  void edit(F&& f, bool rebuild) {
    config->with(std::forward<F>(f));
    if (rebuild) shared->params_dirty.store(true);
  }
};

}  // namespace velmora::test
