// Crossover alone and the whole playback callback on 512-frame buffers, for each
// kernel kind (0 plain, 1 SSE2, 2 AVX2). Counters: ns_per_frame; realtime_x, the
// seconds of audio processed per second; period_frac, the fraction of one buffer
// period (512 frames at the rate) that one buffer takes.
#include <benchmark/benchmark.h>

#include <chrono>
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

// Times the benchmark loop itself, so that the counters are plain numbers.
class Meter {
 public:
  explicit Meter(double rate) : rate_(rate), start_(std::chrono::steady_clock::now()) {}
  void report(benchmark::State& state) const {
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start_).count();
    const double per_frame = ns / (static_cast<double>(state.iterations()) * kFrames);
    state.counters["ns_per_frame"] = per_frame;
    state.counters["realtime_x"] = 1e9 / (per_frame * rate_);
    state.counters["period_frac"] = per_frame * rate_ * 1e-9;
  }

 private:
  double rate_;
  std::chrono::steady_clock::time_point start_;
};

ProcessorConfig bench_config(std::int64_t bands, std::int64_t rate, bool mpx) {
  ProcessorConfig c;
  c.num_bands = static_cast<std::uint64_t>(bands);
  c.sample_rate = static_cast<std::uint32_t>(rate);
  c.mpx.enabled = mpx;
  for (auto& b : c.bands) b.threshold_db = -30.0f, b.ratio = 6.0f;
  return c;
}

// Args: bands, kernel. The split kernel on blocks of 64 frames, as the chain runs it.
void BM_Crossover(benchmark::State& state) {
  const auto bands = static_cast<std::size_t>(state.range(0));
  const auto kind = static_cast<KernelKind>(state.range(1));
  if (!kernel_available(kind)) {
    state.SkipWithError("kernel not offered by this processor");
    return;
  }
  const SplitKernel split = kernels(kind).split;
  Crossover x(bands, {120, 400, 2000, 6000, 12000}, 48000.0f);
  const auto in = test_signal(kFrames, 48000.0);
  alignas(32) float xl[kBlockFrames], xr[kBlockFrames];
  LaneRow rows_l[kBlockFrames], rows_r[kBlockFrames];
  Meter meter(48000.0);
  for (auto _ : state) {
    for (std::size_t start = 0; start < kFrames; start += kBlockFrames) {
      for (std::size_t f = 0; f < kBlockFrames; ++f) {
        xl[f] = in[2 * (start + f)];
        xr[f] = in[2 * (start + f) + 1];
      }
      split(x, xl, xr, kBlockFrames, rows_l, rows_r);
      benchmark::DoNotOptimize(rows_l);
      benchmark::DoNotOptimize(rows_r);
    }
  }
  meter.report(state);
}
BENCHMARK(BM_Crossover)->ArgNames({"bands", "kernel"})->ArgsProduct({{2, 6}, {0, 1, 2}});

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
  Meter meter(rate);
  for (auto _ : state) {
    input->append(std::span<const float>(in).subspan(pos, kFrames * 2));
    pos = (pos + kFrames * 2) % in.size();
    chain.output_callback(out);
    benchmark::DoNotOptimize(out.data());
  }
  meter.report(state);
}
BENCHMARK(BM_Callback)
    ->ArgNames({"bands", "rate", "mpx", "kernel"})
    ->ArgsProduct({{2, 6}, {48000}, {0}, {0, 1, 2}})
    ->ArgsProduct({{6}, {192000}, {1}, {0, 1, 2}});

}  // namespace
}  // namespace velmora
