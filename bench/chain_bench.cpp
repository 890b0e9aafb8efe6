// Crossover alone and the whole playback callback on 512-frame buffers.
// Counters: ns per frame, real-time factor (seconds of audio per second of CPU)
// and the fraction of a buffer period that one callback takes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audio/chain.hpp"

namespace velmora {
namespace {

constexpr std::size_t kFrames = 512;

std::vector<float> test_signal(std::size_t frames, double rate) {
  std::vector<float> v(frames * 2);
  std::uint32_t seed = 7;
  for (std::size_t i = 0; i < frames; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double t = static_cast<double>(i) / rate;
    const double n = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    v[2 * i] = static_cast<float>(0.4 * std::sin(6.2832 * 90 * t) + 0.2 * std::sin(6.2832 * 2500 * t) + 0.1 * n);
    v[2 * i + 1] = static_cast<float>(0.4 * std::sin(6.2832 * 600 * t) + 0.1 * n);
  }
  return v;
}

void add_counters(benchmark::State& state, double rate) {
  using benchmark::Counter;
  const double frames = kFrames;
  state.counters["ns/frame"] = Counter(frames * 1e-9, Counter::kIsIterationInvariantRate | Counter::kInvert);
  state.counters["realtime_x"] = Counter(frames / rate, Counter::kIsIterationInvariantRate);
  state.counters["period_frac"] = Counter(frames / rate, Counter::kIsIterationInvariantRate | Counter::kInvert);
}

ProcessorConfig bench_config(std::int64_t bands, std::int64_t rate, bool mpx) {
  ProcessorConfig c;
  c.num_bands = static_cast<std::uint64_t>(bands);
  c.sample_rate = static_cast<std::uint32_t>(rate);
  c.mpx.enabled = mpx;
  for (auto& b : c.bands) b.threshold_db = -30.0f, b.ratio = 6.0f;
  return c;
}

void BM_Crossover(benchmark::State& state) {
  const auto bands = static_cast<std::size_t>(state.range(0));
  Crossover x(bands, {120, 400, 2000, 6000, 12000}, 48000.0f);
  const auto in = test_signal(kFrames, 48000.0);
  float bl[8], br[8];
  for (auto _ : state) {
    for (std::size_t f = 0; f < kFrames; ++f) x.process(in[2 * f], in[2 * f + 1], bl, br);
    benchmark::DoNotOptimize(bl);
    benchmark::DoNotOptimize(br);
  }
  add_counters(state, 48000.0);
}
BENCHMARK(BM_Crossover)->ArgName("bands")->Arg(2)->Arg(6);

// Args: bands, rate, mpx, kernel (0 scalar, 1 SSE2, 2 AVX2). Each iteration puts one
// block into the capture buffer, as the capture side would, and runs the callback.
void BM_Callback(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(1));
  const auto kind = static_cast<KernelKind>(state.range(3));
  if (!kernel_available(kind)) {
    state.SkipWithError("kernel not offered by this processor");
    return;
  }
  const ProcessorConfig cfg = bench_config(state.range(0), state.range(1), state.range(2) != 0);
  auto shared = SharedState::create();
  InputBuffer input = make_input_buffer(kFrames * 16);
  auto chain = ProcessingChain::build(cfg, shared, input, make_shared_config(cfg)).value();
  chain.kernels = kernels(kind);
  const auto in = test_signal(kFrames * 64, rate);
  std::vector<float> out(kFrames * 2);
  std::size_t pos = 0;
  for (auto _ : state) {
    {
      auto g = input->try_lock();
      g->insert(g->end(), in.begin() + static_cast<std::ptrdiff_t>(pos),
                in.begin() + static_cast<std::ptrdiff_t>(pos + kFrames * 2));
    }
    pos = (pos + kFrames * 2) % in.size();
    chain.output_callback(out);
    benchmark::DoNotOptimize(out.data());
  }
  add_counters(state, rate);
}
BENCHMARK(BM_Callback)
    ->ArgNames({"bands", "rate", "mpx", "kernel"})
    ->ArgsProduct({{2, 6}, {48000}, {0}, {0, 1, 2}})
    ->ArgsProduct({{6}, {192000}, {1}, {0, 1, 2}});

}  // namespace
}  // namespace velmora
