#include "audio/chain.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>

#include "audio/units.hpp"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace velmora {

namespace {

constexpr std::uint32_t kMinSampleRate = 3;
// 40 dB of mean band gain reduction reads full scale.
constexpr float kGrFullScaleDb = 40.0f;
constexpr float kBandLevelMax = 2.0f;

// In silence the filter memories and envelopes decay into subnormal numbers and
// stay there, which many processors handle through slow microcode. For the length
// of a callback they are flushed to zero instead (values below 1e-38 only).
class FlushSubnormals {
 public:
#if defined(__x86_64__)
  FlushSubnormals() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
  ~FlushSubnormals() { _mm_setcsr(saved_); }
  FlushSubnormals(const FlushSubnormals&) = delete;
  FlushSubnormals& operator=(const FlushSubnormals&) = delete;

 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
#endif
};

}  // namespace

// The engine moves the chain into the playback stream's callback.
static_assert(std::is_nothrow_move_constructible_v<ProcessingChain>);

Result<void> check_sample_rate(std::uint32_t rate) {
  if (rate >= kMinSampleRate) return {};
  return Error{"Frecuencia de muestreo no válida: " + std::to_string(rate) + " Hz (mínimo " +
               std::to_string(kMinSampleRate) + " Hz)"};
}

ChainSnapshot ChainSnapshot::from_config(const ProcessorConfig& cfg) noexcept {
  ChainSnapshot s;
  s.bands = cfg.bands;
  s.band_count = active_band_count(cfg.num_bands);
  s.input_gain_db = cfg.input_gain_db;
  s.output_gain_db = cfg.output_gain_db;
  s.mpx_enabled = cfg.mpx.enabled;
  return s;
}

Result<ProcessingChain> ProcessingChain::build(const ProcessorConfig& copy,
                                               std::shared_ptr<SharedState> shared,
                                               InputBuffer input_buffer, SharedConfig config) {
  if (auto valid = check_sample_rate(copy.sample_rate); !valid) return Error{valid.error()};
  const float rate = static_cast<float>(copy.sample_rate);
  std::array<BandState, kMaxBands> states{};
  for (std::size_t b = 0; b < kMaxBands; ++b) states[b] = BandState::from_config(copy.bands[b], rate);
  return ProcessingChain{
      .crossover = Crossover(active_band_count(copy.num_bands), copy.crossover_freqs, rate),
      .band_states = states,
      .shared = std::move(shared),
      .input_buffer = std::move(input_buffer),
      .config = std::move(config),
      .mpx = MpxEncoder(copy.mpx.tau, rate, copy.mpx.pilot_level),
      .limiter = Limiter(rate, copy.limiter_threshold),
      .snapshot = ChainSnapshot::from_config(copy),
      .kernels = velmora::kernels(best_kernel()),
      .bank = {},
      .split_l = {},
      .split_r = {},
      .rows_l = {},
      .rows_r = {},
      .sum_l = {},
      .sum_r = {},
  };
}

void ProcessingChain::try_rebuild() noexcept {
  auto guard = config->try_lock();
  if (!guard.ok()) return;  // busy, or poisoned (released with the guard): the flag stays
  const ProcessorConfig& cfg = *guard;
  const float rate = limiter.sample_rate;
  crossover.rebuild(active_band_count(cfg.num_bands), cfg.crossover_freqs);
  for (std::size_t b = 0; b < kMaxBands; ++b) band_states[b].set_times(cfg.bands[b], rate);
  limiter.set_threshold(cfg.limiter_threshold);
  mpx = MpxEncoder(cfg.mpx.tau, rate, cfg.mpx.pilot_level);
  // Cleared while the lock is still held, so an edit made after this read raises it again.
  shared->params_dirty.store(false);
}

void ProcessingChain::try_snapshot() noexcept {
  auto guard = config->try_lock();
  if (guard.ok()) snapshot = ChainSnapshot::from_config(*guard);
}

void ProcessingChain::run_bypass(std::span<float> out, float k) noexcept {
  input_buffer->take(out);
  const std::size_t frames = out.size() / 2;
  float sl = 0.0f;
  float sr = 0.0f;
  for (std::size_t i = 0; i < frames; ++i) {
    sl += std::abs(out[2 * i]);
    sr += std::abs(out[2 * i + 1]);
  }
  if (out.size() % 2 != 0) out.back() = 0.0f;
  shared->in_l.store(sl * k);
  shared->out_l.store(sl * k);
  shared->in_r.store(sr * k);
  shared->out_r.store(sr * k);
  shared->limiter_gr.store(0.0f);
}

void ProcessingChain::output_callback(std::span<float> out) noexcept {
  const std::size_t n = out.size();
  const std::size_t frames = n / 2;
  const float k = n >= 2 ? 1.0f / static_cast<float>(frames) : 1.0f;
  if (shared->bypass.load()) {
    run_bypass(out, k);
    return;
  }
  const FlushSubnormals flush;
  if (shared->params_dirty.load()) try_rebuild();
  try_snapshot();
  input_buffer->take(out);
  if (n % 2 != 0) out.back() = 0.0f;  // no frame owns a trailing odd sample

  // Constants of this buffer.
  const float in_gain = db_to_linear(snapshot.input_gain_db);
  const float out_gain = db_to_linear(snapshot.output_gain_db);
  const bool mpx_on = snapshot.mpx_enabled;
  const std::size_t active = snapshot.band_count;
  std::array<BandParams, kMaxBands> params;
  for (std::size_t b = 0; b < kMaxBands; ++b) params[b] = BandParams::from_config(snapshot.bands[b]);
  bank.load(band_states, params, active);
  for (LaneRow& row : rows_l) row = LaneRow{};
  for (LaneRow& row : rows_r) row = LaneRow{};

  float in_l = 0.0f, in_r = 0.0f, out_l = 0.0f, out_r = 0.0f, lim = 0.0f;
  for (std::size_t start = 0; start < frames; start += kBlockFrames) {
    const std::size_t m = std::min(kBlockFrames, frames - start);
    float* io = out.data() + 2 * start;
    for (std::size_t f = 0; f < m; ++f) {
      const float l = io[2 * f] * in_gain;
      const float r = io[2 * f + 1] * in_gain;
      in_l += std::abs(l);
      in_r += std::abs(r);
      split_l[f] = l;
      split_r[f] = r;
    }
    kernels.split(crossover, split_l.data(), split_r.data(), m, rows_l.data(), rows_r.data());
    kernels.bands(bank, rows_l.data(), rows_r.data(), sum_l.data(), sum_r.data(), m);
    for (std::size_t f = 0; f < m; ++f) {
      float l = sum_l[f];
      float r = sum_r[f];
      limiter.process(l, r);
      lim += 1.0f - limiter.gain;
      if (mpx_on) {
        l = r = mpx.process(l, r);
      }
      l *= out_gain;
      r *= out_gain;
      io[2 * f] = l;
      io[2 * f + 1] = r;
      out_l += std::abs(l);
      out_r += std::abs(r);
    }
  }
  bank.store(band_states);

  shared->in_l.store(in_l * k);
  shared->in_r.store(in_r * k);
  shared->out_l.store(out_l * k);
  shared->out_r.store(out_r * k);
  shared->limiter_gr.store(std::clamp(lim * k, 0.0f, 1.0f));
  for (std::size_t b = 0; b < active; ++b) {
    shared->band_meters[b].level.store(std::clamp(bank.level_sum[b] * k, 0.0f, kBandLevelMax));
    shared->band_meters[b].gr.store(std::clamp(bank.gr_sum[b] * k / kGrFullScaleDb, 0.0f, 1.0f));
  }
}

}  // namespace velmora
