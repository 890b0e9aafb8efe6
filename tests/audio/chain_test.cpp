#include "audio/chain.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <future>
#include <limits>
#include <optional>

#include "reference_chain.hpp"
#include "test_support.hpp"

namespace velmora {
namespace {

using test::Rig;
constexpr std::size_t kBuf = 512 * 2;
constexpr float kInf = std::numeric_limits<float>::infinity();

// Six bands, one gentle, one without clipper, one disabled with clipper on; expander fields ignored.
ProcessorConfig hard_config(std::uint32_t rate, bool mpx, std::uint64_t bands = 6) {
  ProcessorConfig c;
  c.sample_rate = rate, c.num_bands = bands, c.crossover_freqs = {120, 400, 2000, 6000, 12000};
  c.input_gain_db = 6, c.output_gain_db = -1, c.limiter_threshold = -1;
  const float thr[] = {-30, -28, -26, -24, -24, -22}, ratio[] = {8, 6, 10, 4, 20, 1.2f},
              atk[] = {5, 10, 2, 1, 0.5f, 20}, rel[] = {100, 150, 80, 60, 50, 200},
              mk[] = {10, 8, 12, 6, 9, 4}, clip[] = {-1, -1.5f, -0.5f, -1, -2, -1};
  for (int b = 0; b < 6; ++b) c.bands[b] = {true, thr[b], ratio[b], atk[b], rel[b], mk[b], true, clip[b], true, -10, 8};
  c.bands[3].clip_enable = false, c.bands[4].enabled = false;
  c.mpx = {mpx, Tau::Us50, -20.0f, 0.09f};
  return c;
}

std::span<const float> block(const std::vector<float>& v, std::size_t i, std::size_t len = kBuf) {
  return std::span<const float>(v).subspan(i * len, len);
}

// The meters in SharedState's order: in L, in R, out L, out R, limiter, then level and gr per band.
std::array<float, 17> published(const SharedState& s) {
  std::array<float, 17> m{s.in_l.load(), s.in_r.load(), s.out_l.load(), s.out_r.load(), s.limiter_gr.load()};
  for (int b = 0; b < 6; ++b) m[5 + 2 * b] = s.band_meters[b].level.load(), m[6 + 2 * b] = s.band_meters[b].gr.load();
  return m;
}

// Every kernel's output and meters stay within 1e-5 of full scale of the plain model. Buffers of 500
// frames end on a short kernel block; at 22050 Hz the splits are clamped to [1 Hz, 0.499 × rate].
TEST(AgainstReference, OutputAndMetersFollowTheReferenceModel) {
  struct { std::uint32_t rate; bool mpx; std::size_t seconds; std::uint64_t bands; bool hot; } const cases[] = {
      {48000, false, 20, 6, false}, {48000, true, 3, 3, false}, {44100, false, 3, 2, false},
      {192000, true, 4, 6, false}, {22050, false, 3, 6, false}, {48000, false, 3, 6, true}};
  ASSERT_TRUE(kernel_available(KernelKind::Scalar));  // the fallback on every processor
  for (KernelKind kind : {KernelKind::Scalar, KernelKind::Sse2, KernelKind::Avx2}) {
    for (const auto& rc : cases) {
      if (!kernel_available(kind)) continue;
      ProcessorConfig cfg = hard_config(rc.rate, rc.mpx, rc.bands);
      if (rc.rate == 22050) cfg.crossover_freqs[0] = -50;  // raised to 1 Hz
      if (rc.hot) cfg.input_gain_db = 40, cfg.bands[3].ratio = 1;  // band meters clamp
      Rig rig(cfg);
      rig.chain.kernels = kernels(kind);
      ref::Model model(cfg);
      constexpr std::size_t len = 1000;
      const auto in = test::programme(rc.rate * rc.seconds, rc.rate);
      double worst = 0.0, worst_meter = 0.0, peak = 0.0;
      for (std::size_t i = 0; i < in.size() / len; ++i) {
        const auto out = rig.run(block(in, i, len));
        for (std::size_t f = 0; f < len / 2; ++f) {
          const auto [l, r] = model.frame(in[i * len + 2 * f], in[i * len + 2 * f + 1]);
          worst = std::max({worst, std::fabs(double(out[2 * f]) - l), std::fabs(double(out[2 * f + 1]) - r)});
          peak = std::max(peak, std::fabs(double(l)));
        }
        const auto want = model.meters(len / 2), got = published(*rig.shared);
        for (int m = 0; m < 17; ++m) worst_meter = std::max(worst_meter, std::fabs(double(got[m]) - want[m]));
      }
      const std::string row = "kernel " + std::to_string(int(kind)) + ", " + std::to_string(rc.rate) + " Hz";
      EXPECT_LE(worst, 1e-5) << row;
      EXPECT_LE(worst_meter, 1e-5) << row;
      EXPECT_GT(peak, 0.5) << row;  // the comparison ran on a real signal
    }
  }
}

// Bypass copies the input, metering it as input and output, freezes every state and band meter, and
// leaves the rebuild to the first processing call after it: fresh filters, kept envelopes and gains,
// inactive bands' meters as they were. A lone sample, no whole frame, plays as silence and meters 0.
TEST(ProcessingChain, BypassFreezesEverythingAndTheRebuildAfterItKeepsOnlyEnvelopesAndGains) {
  ProcessorConfig edited = hard_config(96000, true, 2);
  Rig rig(edited);
  const Lr4Stage* storage = rig.chain.crossover.stages.data();
  const auto in = test::programme(96000, 96000);
  for (std::size_t i = 0; i < 40; ++i) rig.run(block(in, i));
  SharedState& s = *rig.shared;
  for (int b = 0; b < 6; ++b) {
    s.band_meters[b].level.store(0.25f * (5 + 2 * b)), s.band_meters[b].gr.store(0.25f * (6 + 2 * b));
  }
  edited.num_bands = 3, edited.bands[2].attack_ms = 40, edited.limiter_threshold = -3, edited.mpx.pilot_level = 0.1f;
  rig.edit([&](ProcessorConfig& c) { c = edited; });
  s.bypass.store(true);
  const ProcessingChain before = rig.chain;
  ASSERT_LT(before.limiter.gain, 1.0f);
  const auto src = block(in, 50);
  EXPECT_EQ(rig.run(src), std::vector<float>(src.begin(), src.end()));
  float sum[2] = {};
  for (std::size_t j = 0; j < kBuf; ++j) sum[j % 2] += std::fabs(src[j]);
  auto m = published(s);
  EXPECT_FLOAT_EQ(m[0], sum[0] / (kBuf / 2));
  EXPECT_FLOAT_EQ(m[1], sum[1] / (kBuf / 2));
  EXPECT_TRUE(m[2] == m[0] && m[3] == m[1] && m[4] == 0.0f);
  for (int b = 5; b < 17; ++b) EXPECT_EQ(m[b], 0.25f * b);
  const std::vector<float> lone{0.9f}, silent{0.0f};
  EXPECT_EQ(rig.run(lone), silent);
  EXPECT_TRUE(published(s)[0] == 0.0f && s.params_dirty.load());
  s.bypass.store(false);
  EXPECT_EQ(rig.run(lone), silent);
  EXPECT_FALSE(s.params_dirty.load());
  m = published(s);
  for (int i = 0; i < 17; ++i) EXPECT_EQ(m[i], i < 11 ? 0.0f : 0.25f * i) << i;  // cells 11.. are bands 3..5
  const Rig fresh_build(edited);
  const ProcessingChain &c = rig.chain, &fresh = fresh_build.chain;
  // in the room reserved at the build: the audio thread never allocates
  ASSERT_TRUE(c.crossover.num_bands == 3 && c.crossover.stages.size() == 2 && c.crossover.stages.data() == storage);
  EXPECT_EQ(std::memcmp(c.crossover.stages.data(), fresh.crossover.stages.data(), 2 * sizeof(Lr4Stage)), 0);
  EXPECT_TRUE(std::memcmp(&c.mpx, &fresh.mpx, sizeof c.mpx) == 0 && c.limiter.threshold == fresh.limiter.threshold);
  EXPECT_EQ(c.limiter.gain, before.limiter.gain);
  for (std::size_t b = 0; b < 6; ++b) {
    const BandState &now = c.band_states[b], &was = before.band_states[b], &made = fresh.band_states[b];
    EXPECT_TRUE(now.env == was.env && now.gain_db == was.gain_db && now.attack_coeff == made.attack_coeff &&
                now.release_coeff == made.release_coeff) << b;
  }
}

// Non-finite or beyond 1e6 samples enter as silence, and so does a whole buffer when too few are
// held (those wait). A busy or poisoned configuration lock keeps the last good snapshot, the build
// copy at first. Either way the chain carries on exactly like a twin given zeros and no edit.
TEST(ProcessingChain, UnusableCaptureEntersAsSilenceAndAnUnavailableLockKeepsTheLastSnapshot) {
  for (std::uint32_t rate : {48000u, 96000u, 192000u}) {
    for (int lock = 0; lock < 4; ++lock) {
      const bool busy = lock % 2 == 0, from_start = lock < 2;
      Rig rig(hard_config(rate, true)), twin(hard_config(rate, true));
      auto in = test::programme(kBuf * 3, rate), zeroed = in;
      const std::pair<std::size_t, float> bad[] = {
          {3, std::numeric_limits<float>::quiet_NaN()}, {40, kInf}, {1041, -kInf}, {1500, 1e30f}, {2000, -3e38f}};
      for (auto [j, v] : bad) in[j] = v, zeroed[j] = 0.0f;
      const std::string row = std::to_string(rate) + " Hz, lock " + std::to_string(lock);
      if (!from_start) {
        ASSERT_EQ(rig.run(block(in, 0)), twin.run(block(zeroed, 0))) << row;
      }
      rig.edit([](ProcessorConfig& c) { c.bands[0].ratio = 2, c.input_gain_db = -20, c.mpx.enabled = false; });
      std::vector<float> kept(100, 0.5f), out(kBuf, 1.0f);
      {
        std::optional<decltype(rig.config->lock())> held;  // by this thread, while another one processes
        if (busy) {
          held.emplace(rig.config->lock());
        } else {
          test::poison(*rig.config);
        }
        std::async(std::launch::async, [&] {
          for (std::size_t i = from_start ? 0 : 1; i < 4; ++i) {
            const auto got = rig.run(block(in, i));
            EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](float v) { return std::isfinite(v); })) << row;
            EXPECT_EQ(got, twin.run(block(zeroed, i))) << row;
          }
          rig.input->append(kept);
          rig.chain.output_callback(out);
        }).get();
        EXPECT_EQ(out, twin.run(std::vector<float>(kBuf))) << row;
        EXPECT_TRUE(rig.shared->params_dirty.load());
      }
      out.resize(kept.size());
      EXPECT_TRUE(rig.input->take(out) && out == kept) << row;
      if (busy) {
        EXPECT_NE(rig.run(block(in, 4)), twin.run(block(in, 4))) << row;
      }
    }
  }
}

// A bad setting may sound odd but plays finite audio; once fixed, the chain converges back to one
// that never saw it (an envelope driven to +200 dB takes its release time per 4.3 dB to come down).
TEST(ProcessingChain, BadSettingNeverPoisonsTheStateForGood) {
  using C = ProcessorConfig;
  const std::function<void(C&)> bad[] = {
      [](C& c) { for (auto& b : c.bands) b.ratio = 0; },
      [](C& c) { for (auto& b : c.bands) b.makeup_db = 1e30f; },
      [](C& c) { for (auto& b : c.bands) b.threshold_db = -kInf, b.ratio = 1; },
      [](C& c) { for (auto& b : c.bands) b.clip_level_db = -1e30f; },
      [](C& c) { c.input_gain_db = 1e30f; },
      [](C& c) { c.output_gain_db = kInf; },
      [](C& c) { c.limiter_threshold = -kInf; },
      [](C& c) { for (auto& b : c.bands) b.attack_ms = -3, b.release_ms = -1e30f; },
      [](C& c) { c.mpx.pilot_level = kInf, c.output_gain_db = 300; }};  // at 192 kHz
  for (const auto& apply : bad) {
    const std::size_t row = &apply - bad;
    const std::uint32_t rate = row == 8 ? 192000 : 48000;
    const ProcessorConfig good = hard_config(rate, true);
    Rig rig(good), clean(good);
    const std::size_t per_s = rate * 2 / kBuf;
    const auto in = test::programme(per_s * 21 * kBuf / 2, rate);
    const auto rebuild_both = [&](auto&& change) { rig.edit(change), clean.edit([](C&) {}); };
    rebuild_both(apply);
    double worst = 1.0;
    for (std::size_t i = 0, second = 0; second < 21 && (second < 2 || worst > 1e-4); ++second) {
      if (second == 1) rebuild_both([&](C& c) { c = good; });
      for (worst = 0.0; i < per_s * (second + 1); ++i) {
        const auto a = rig.run(block(in, i)), b = clean.run(block(in, i));
        for (std::size_t j = 0; j < a.size(); ++j) {
          ASSERT_TRUE(std::isfinite(a[j])) << "row " << row << ", buffer " << i;
          worst = std::max(worst, std::fabs(double(a[j]) - b[j]));
        }
      }
    }
    EXPECT_LE(worst, 1e-4) << "row " << row << ": no second within 1e-4 after 20 s";
  }
}

}  // namespace
}  // namespace velmora
