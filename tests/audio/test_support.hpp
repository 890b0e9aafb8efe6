#pragma once
// Helpers shared by the audio tests: a poisoned lock, a programme-like test signal, a chain wired
// to its own shared state and buffers, and a captured log.
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <cmath>
#include <cstdint>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "audio/chain.hpp"
#include "log.hpp"

namespace velmora::test {

template <class T>
void poison(Guarded<T>& cell) {
  try {
    auto guard = cell.lock();
    throw 1;
  } catch (int) {
  }
}

// Interleaved stereo: five partials a channel across the spectrum, each swelling at its own slow
// rate, noise bursts every three seconds and a loud passage every seven.
inline std::vector<float> programme(std::size_t frames, double rate) {
  constexpr double hz[2][5] = {{55, 440, 3100, 9000, 15000}, {80, 700, 2300, 7000, 11000}}, tau = 6.283185307179586;
  std::vector<float> v(frames * 2);
  std::uint32_t seed = 12345;
  for (std::size_t j = 0; j < v.size(); ++j) {
    const double t = static_cast<double>(j / 2) / rate;
    seed = seed * 1664525u + 1013904223u;
    double x = (std::fmod(t, 3.0) < 0.4 ? 0.25 : 0.02) * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0);
    for (int k = 0; k < 5; ++k) {
      x += (0.3 - 0.05 * k) * (0.6 + 0.4 * std::sin(tau * (0.07 + 0.04 * k) * t)) * std::sin(tau * hz[j % 2][k] * t);
    }
    v[j] = static_cast<float>((std::fmod(t, 7.0) < 1.0 ? 2.5 : 1.0) * x);
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

  // Feeds `in` and runs one callback of the same size.
  std::vector<float> run(std::span<const float> in) {
    input->append(in);
    std::vector<float> out(in.size());
    chain.output_callback(out);
    return out;
  }
  // Changes the live configuration the way the window does: write, release, raise.
  template <class F>
  void edit(F&& f) {
    config->with(std::forward<F>(f));
    shared->params_dirty.store(true);
  }
};

// The log of `filter` goes into `out` for the capture's lifetime; text() shows its lines
// "[time LEVEL target] text" as "LEVEL text", joined by "; ".
struct LogCapture {
  std::ostringstream out;

  explicit LogCapture(const char* filter) { use(filter); }
  ~LogCapture() { log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>()); }
  void use(const char* filter) {
    log::init(log::parse_filter(filter), std::make_shared<spdlog::sinks::ostream_sink_mt>(out));
  }
  std::string text() const {
    std::string all = std::regex_replace(out.str(), std::regex(R"(\[\S+ (\S+) \S+\] )"), "$1 ");
    if (!all.empty()) all.pop_back();  // the last line's newline
    return std::regex_replace(all, std::regex("\n"), "; ");
  }
};

}  // namespace velmora::test
