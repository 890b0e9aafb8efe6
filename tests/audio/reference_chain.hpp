#pragma once
// A plain, frame-by-frame model of the processing formulas, written apart from the
// production code so that the chain can be checked against it: f64 biquads with
// f32 between stages, everything else single precision, every formula per frame.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "settings/config.hpp"

namespace ref {

struct Section {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double run(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};

struct Split {
  Section lo[2][2], hi[2][2];  // [channel][section]
  explicit Split(float freq = 1, float rate = 48000) {
    const double sr = rate, fc = std::clamp<double>(freq, 1.0, 0.499 * sr);
    const double w = fc * 6.283185307179586 / sr, s = std::sin(w), c = std::cos(w);
    const double al = s / 1.4142135623730951, a0 = 1 + al;
    const Section l{(1 - c) * 0.5 / a0, (1 - c) / a0, (1 - c) * 0.5 / a0, -2 * c / a0, (1 - al) / a0};
    const Section h{(1 + c) * 0.5 / a0, -(1 + c) / a0, (1 + c) * 0.5 / a0, -2 * c / a0, (1 - al) / a0};
    for (int ch = 0; ch < 2; ++ch) lo[ch][0] = lo[ch][1] = l, hi[ch][0] = hi[ch][1] = h;
  }
  float low(int ch, float x) { return float(lo[ch][1].run(lo[ch][0].run(x))); }
  float high(int ch, float x) { return float(hi[ch][1].run(hi[ch][0].run(x))); }
};

inline float coeff(float ms, float sr) { return std::exp(-1.0f / ((ms * 0.001f) * sr)); }
inline float lin(float db) { return std::pow(10.0f, db / 20.0f); }

struct Model {
  velmora::ProcessorConfig cfg;
  float sr;
  std::size_t bands;
  std::array<Split, 5> splits;
  std::array<float, 6> env{}, gdb{}, att{}, rel{};
  float lim_gain = 1.0f, lim_rel, lim_thr;
  float a, pl = 0, pr = 0, phase = 0;
  // Meter sums of the current buffer: in L, in R, out L, out R, limiter, then level and gr per band.
  std::array<float, 17> sums{};

  explicit Model(const velmora::ProcessorConfig& c)
      : cfg(c), sr(static_cast<float>(c.sample_rate)),
        bands(c.num_bands < 2 ? 2 : c.num_bands > 6 ? 6 : c.num_bands),
        lim_rel(std::exp(-1.0f / (0.2f * sr))), lim_thr(lin(c.limiter_threshold)),
        a(std::exp(-1.0f / (velmora::tau_seconds(c.mpx.tau) * sr))) {
    for (std::size_t i = 0; i + 1 < bands; ++i) splits[i] = Split(c.crossover_freqs[i], sr);
    for (int b = 0; b < 6; ++b) {
      gdb[b] = c.bands[b].makeup_db, att[b] = coeff(c.bands[b].attack_ms, sr), rel[b] = coeff(c.bands[b].release_ms, sr);
    }
  }

  std::pair<float, float> frame(float xl, float xr) {
    float L = xl * lin(cfg.input_gain_db), R = xr * lin(cfg.input_gain_db);
    sums[0] += std::fabs(L), sums[1] += std::fabs(R);
    float bl[6] = {}, br[6] = {};
    for (std::size_t k = 0; k + 1 < bands; ++k) {
      bl[k] = splits[k].low(0, L), br[k] = splits[k].low(1, R);
      L = splits[k].high(0, L), R = splits[k].high(1, R);
    }
    bl[bands - 1] = L, br[bands - 1] = R;
    float sl = 0, sr_ = 0;
    for (std::size_t b = 0; b < bands; ++b) {
      const velmora::BandConfig& bc = cfg.bands[b];
      float gr = 0;
      if (bc.enabled) {
        float p = bl[b] * bl[b] + br[b] * br[b];
        float c = env[b] < p ? att[b] : rel[b];
        env[b] = (1 - c) * p + c * env[b];
        float level = 10.0f * std::log10(env[b] + 1e-12f);
        if (level > bc.threshold_db) gr = (1 - 1 / bc.ratio) * (bc.threshold_db - level);
        float target = bc.makeup_db + gr;
        float c2 = target < gdb[b] ? att[b] : rel[b];
        gdb[b] = (1 - c2) * target + c2 * gdb[b];
        float g = std::pow(10.0f, gdb[b] / 20.0f);
        bl[b] *= g, br[b] *= g;
      }
      if (bc.clip_enable) {
        float c = lin(bc.clip_level_db);
        bl[b] = c * std::tanh(bl[b] / c), br[b] = c * std::tanh(br[b] / c);
      }
      sl += bl[b], sr_ += br[b];
      sums[5 + 2 * b] += (std::fabs(bl[b]) + std::fabs(br[b])) * 0.5f;
      sums[6 + 2 * b] += std::fabs(gr);
    }
    float peak = std::max(std::fabs(sl), std::fabs(sr_));
    float target = peak > lim_thr ? lim_thr / peak : 1.0f;
    lim_gain = lim_gain > target ? target : target * (1 - lim_rel) + lim_gain * lim_rel;
    L = sl * lim_gain, R = sr_ * lim_gain;
    sums[4] += 1 - lim_gain;
    if (cfg.mpx.enabled) {
      float yl = (L - a * pl) / (1 - a), yr = (R - a * pr) / (1 - a);
      pl = L, pr = R;
      const float mono = (yl + yr) * 0.45f;
      phase = std::fmod(119380.52f / sr + phase, 6.2831855f);
      // Pilot and stereo subcarrier only where the rate carries 38 kHz.
      L = R = sr < 96000 ? mono : (mono + cfg.mpx.pilot_level * std::sin(phase)) + std::sin(2 * phase) * ((yl - yr) * 0.45f);
    }
    L *= lin(cfg.output_gain_db), R *= lin(cfg.output_gain_db);
    sums[2] += std::fabs(L), sums[3] += std::fabs(R);
    return {L, R};
  }

  // The meters of a buffer of `frames` (≥ 1) frames, in SharedState's order; clears the sums.
  std::array<float, 17> meters(std::size_t frames) {
    const float k = 1.0f / static_cast<float>(frames);
    std::array<float, 17> m;
    for (int i = 0; i < 17; ++i) m[i] = sums[i] * k;
    m[4] = std::clamp(m[4], 0.0f, 1.0f);
    for (int b = 0; b < 6; ++b) {
      m[5 + 2 * b] = std::clamp(m[5 + 2 * b], 0.0f, 2.0f), m[6 + 2 * b] = std::clamp(m[6 + 2 * b] / 40, 0.0f, 1.0f);
    }
    sums = {};
    return m;
  }
};

}  // namespace ref
