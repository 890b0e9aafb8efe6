#include "audio/chain.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "reference_chain.hpp"
#include "test_support.hpp"

namespace velmora {
namespace {

using test::Lock;
using test::Rig;
constexpr std::size_t kBuf = 512 * 2;
constexpr float kInf = std::numeric_limits<float>::infinity();

// Six bands squeezed hard, one band without clipper, one disabled with clipper on. The
// expander fields and the multiplex level are set too: the chain must ignore them.
ProcessorConfig hard_config(std::uint32_t rate, bool mpx, std::uint64_t bands = 6) {
  ProcessorConfig c;
  c.sample_rate = rate, c.num_bands = bands, c.crossover_freqs = {120, 400, 2000, 6000, 12000};
  c.input_gain_db = 6, c.output_gain_db = -1, c.limiter_threshold = -1;
  const float thr[] = {-30, -28, -26, -24, -24, -22}, ratio[] = {8, 6, 10, 4, 20, 3},
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

template <class T>
bool same_bytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// The 17 meter cells in SharedState's order; copies of the handles share the cells.
std::array<MeterCell, 17> cells(const SharedState& s) {
  std::array<MeterCell, 17> c{s.in_l, s.in_r, s.out_l, s.out_r, s.limiter_gr};
  for (int b = 0; b < 6; ++b) c[5 + 2 * b] = s.band_meters[b].level, c[6 + 2 * b] = s.band_meters[b].gr;
  return c;
}
std::array<float, 17> published(const SharedState& s) {
  std::array<float, 17> m;
  const auto c = cells(s);
  for (int i = 0; i < 17; ++i) m[i] = c[i].load();
  return m;
}

struct RefCase { std::uint32_t rate; bool mpx; std::size_t seconds; std::uint64_t bands; };
class AgainstReference : public testing::TestWithParam<std::tuple<RefCase, KernelKind>> {};

// The production chain (any kernel) stays within 1e-5 of full scale of the plain model,
// and so do its meters. Buffers of 500 frames end on a short kernel block.
TEST_P(AgainstReference, OutputAndMetersFollowTheReferenceModel) {
  const auto [rc, kind] = GetParam();
  if (!kernel_available(kind)) GTEST_SKIP() << "kernel not offered by this processor";
  const ProcessorConfig cfg = hard_config(rc.rate, rc.mpx, rc.bands);
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
  EXPECT_LE(worst, 1e-5);
  EXPECT_LE(worst_meter, 1e-5);
  EXPECT_GT(peak, 0.5);  // the comparison ran on a real signal
}
INSTANTIATE_TEST_SUITE_P(
    Programme, AgainstReference,
    testing::Combine(testing::Values(RefCase{48000, false, 20, 6}, RefCase{48000, true, 3, 3},
                                     RefCase{44100, false, 3, 2}, RefCase{192000, true, 4, 6},
                                     RefCase{22050, false, 3, 6}),  // 12 kHz clamped to 0.499 × rate
                     testing::Values(KernelKind::Scalar, KernelKind::Sse2, KernelKind::Avx2)));

// Bypass copies the input, publishes it as both input and output, freezes the band meters
// and every state, and leaves a rebuild request to the first processing call after it. The
// rebuild makes every filter as a fresh build would but keeps envelopes and gains.
TEST(ProcessingChain, BypassFreezesEverythingAndTheRebuildAfterItKeepsOnlyEnvelopesAndGains) {
  ProcessorConfig edited = hard_config(96000, true);
  Rig rig(edited);
  const auto in = test::programme(96000, 96000);
  for (std::size_t i = 0; i < 40; ++i) rig.run(block(in, i));
  SharedState& s = *rig.shared;
  const auto meter = cells(s);
  for (int m = 5; m < 17; ++m) meter[m].store(0.25f * m);
  edited.num_bands = 3, edited.bands[2].attack_ms = 40, edited.limiter_threshold = -3, edited.mpx.pilot_level = 0.1f;
  rig.edit([&](ProcessorConfig& c) { c = edited; });
  s.bypass.store(true);
  const ProcessingChain before = rig.chain;
  ASSERT_LT(before.limiter.gain, 1.0f);
  const auto src = block(in, 50);
  EXPECT_EQ(rig.run(src), std::vector<float>(src.begin(), src.end()));
  float sum[2] = {};
  for (std::size_t j = 0; j < kBuf; ++j) sum[j % 2] += std::fabs(src[j]);
  const auto m = published(s);
  EXPECT_FLOAT_EQ(m[0], sum[0] / (kBuf / 2));
  EXPECT_FLOAT_EQ(m[1], sum[1] / (kBuf / 2));
  EXPECT_TRUE(m[2] == m[0] && m[3] == m[1] && m[4] == 0.0f);
  for (int b = 5; b < 17; ++b) EXPECT_EQ(m[b], 0.25f * b);
  EXPECT_TRUE(s.params_dirty.load());
  const Rig fresh_build(edited);
  const ProcessingChain &c = rig.chain, &fresh = fresh_build.chain;
  EXPECT_TRUE(same_bytes(c.band_states, before.band_states) && same_bytes(c.limiter, before.limiter) &&
              same_bytes(c.mpx, before.mpx) && c.crossover.num_bands == 6);
  for (std::size_t k = 0; k < 5; ++k) EXPECT_TRUE(same_bytes(c.crossover.stages[k], before.crossover.stages[k]));
  s.bypass.store(false);
  rig.chain.output_callback({});
  EXPECT_FALSE(s.params_dirty.load());
  ASSERT_TRUE(c.crossover.num_bands == 3 && c.crossover.stages.size() == 2);
  for (std::size_t k = 0; k < 2; ++k) EXPECT_TRUE(same_bytes(c.crossover.stages[k], fresh.crossover.stages[k]));
  EXPECT_TRUE(same_bytes(c.mpx, fresh.mpx) && c.limiter.threshold == fresh.limiter.threshold);
  EXPECT_EQ(c.limiter.gain, before.limiter.gain);
  for (std::size_t b = 0; b < 6; ++b) {
    const BandState &now = c.band_states[b], &was = before.band_states[b], &made = fresh.band_states[b];
    EXPECT_TRUE(now.env == was.env && now.gain_db == was.gain_db && now.attack_coeff == made.attack_coeff &&
                now.release_coeff == made.release_coeff) << b;
  }
}

class UnusableCapture : public testing::TestWithParam<std::uint32_t> {};

// Captured samples the chain cannot use enter as silence, and the chain carries on exactly like
// one given zeros in their place: non-finite or beyond 1e6 ones (the block still plays finite
// audio), or a whole buffer when too few are held; those then wait for a later call. From 96 kHz
// with the encoder on, silence carries the pilot.
TEST_P(UnusableCapture, EntersAsSilence) {
  const std::uint32_t rate = GetParam();
  Rig rig(hard_config(rate, true)), twin(hard_config(rate, true));
  auto in = test::programme(kBuf * 2, rate), zeroed = in;
  const std::pair<std::size_t, float> bad[] = {
      {3, std::numeric_limits<float>::quiet_NaN()}, {40, kInf}, {41, -kInf}, {500, 1e30f}, {1500, -3e38f}};
  for (auto [j, v] : bad) in[j] = v, zeroed[j] = 0.0f;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto out = rig.run(block(in, i));
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
    ASSERT_EQ(out, twin.run(block(zeroed, i)));
  }
  std::vector<float> kept(100, 0.5f), out(kBuf, 1.0f);
  rig.feed(kept);
  rig.chain.output_callback(out);
  EXPECT_EQ(out, twin.run(std::vector<float>(kBuf)));
  out.resize(kept.size());
  EXPECT_TRUE(take_input(*rig.input, out) && out == kept);
}
INSTANTIATE_TEST_SUITE_P(Rates, UnusableCapture, testing::Values(48000u, 96000u, 192000u));

class LockUnavailable : public testing::TestWithParam<std::tuple<Lock, bool>> {};

// A busy or poisoned configuration lock keeps the last good snapshot (the build copy
// when no call has found the lock free yet), never the built-in defaults.
TEST_P(LockUnavailable, ProcessesWithTheLastGoodSnapshot) {
  const auto [how, from_start] = GetParam();
  ProcessorConfig a = hard_config(48000, false);
  for (auto& b : a.bands) b.ratio = 6, b.makeup_db = 10;
  Rig rig(a), twin(a);
  const auto in = test::programme(48000, 48000);
  std::size_t i = 0;
  if (!from_start) rig.run(block(in, i)), twin.run(block(in, i)), ++i;
  rig.edit([](ProcessorConfig& c) { c.bands[0].ratio = 2, c.input_gain_db = -20, c.mpx.enabled = true; });
  {
    test::LockAs unavailable(*rig.config, how);
    for (std::size_t end = i + 5; i < end; ++i) ASSERT_EQ(rig.run(block(in, i)), twin.run(block(in, i)));
    EXPECT_TRUE(rig.shared->params_dirty.load());
  }
  if (how == Lock::Busy) {
    EXPECT_NE(rig.run(block(in, i)), twin.run(block(in, i)));
  }
}
INSTANTIATE_TEST_SUITE_P(Locks, LockUnavailable,
                         testing::Combine(testing::Values(Lock::Busy, Lock::Poisoned), testing::Bool()));

// Band meters clamp at 2 (level) and 1 (reduction), input and output means do not, and inactive
// bands keep what they showed. Without a whole frame every meter reads 0 (k = 1, no division by
// zero); band meters move only in a processing call.
TEST(ProcessingChain, MetersClampKeepInactiveBandsAndReadZeroWithoutAFrame) {
  ProcessorConfig c = hard_config(48000, false);
  c.num_bands = 2, c.crossover_freqs[0] = 1000, c.input_gain_db = 20;
  c.limiter_threshold = 40;  // out of the way: the outputs may exceed 1
  c.bands[0] = {true, 0, 1, 1, 50, 24, false, 0};
  c.bands[1] = {true, -60, 20, 0.1f, 50, 0, false, 0};
  Rig rig(c);
  for (const auto& cell : cells(*rig.shared)) cell.store(0.5f);
  for (bool bypass : {true, false}) {
    for (std::size_t n : {0u, 1u}) {
      rig.shared->bypass.store(bypass);
      for (float v : rig.run(std::vector<float>(n, 0.9f))) EXPECT_EQ(v, 0.0f);
      const auto m = published(*rig.shared);
      for (int i = 0; i < 17; ++i) EXPECT_EQ(m[i], i >= (bypass ? 5 : 9) ? 0.5f : 0.0f) << bypass << n << i;
    }
  }
  std::vector<float> in(kBuf);
  for (std::size_t j = 0; j < kBuf; ++j) in[j] = float(0.7 * std::sin(0.01 * (j / 2)) + 0.3 * std::sin(1.3 * (j / 2)));
  for (int i = 0; i < 20; ++i) rig.run(in);
  const auto m = published(*rig.shared);
  EXPECT_TRUE(m[5] == 2.0f && m[8] == 1.0f);  // band 0 level, band 1 reduction
  EXPECT_TRUE(m[0] > 2.0f && m[2] > 2.0f);
  for (int i = 9; i < 17; ++i) EXPECT_EQ(m[i], 0.5f);
}

struct BadChainSetting { const char* name; std::uint32_t rate; std::function<void(ProcessorConfig&)> apply; };
class BadSettingRecovery : public testing::TestWithParam<BadChainSetting> {};

// While set, a bad setting may sound odd but gives finite output; once it is fixed the
// chain converges back to one that never saw it (an envelope driven to +200 dB takes
// its release time per 4.3 dB to come down, hence the long wait allowed).
TEST_P(BadSettingRecovery, NeverPoisonsTheStateForGood) {
  const BadChainSetting& p = GetParam();
  const ProcessorConfig good = hard_config(p.rate, true);
  Rig rig(good), clean(good);
  const std::size_t per_s = p.rate * 2 / kBuf;
  const auto in = test::programme(per_s * 21 * kBuf / 2, p.rate);
  const auto rebuild_both = [&](auto&& change) { rig.edit(change), clean.edit([](ProcessorConfig&) {}); };
  rebuild_both(p.apply);
  std::size_t i = 0;
  for (; i < per_s; ++i) {
    clean.run(block(in, i));
    for (float v : rig.run(block(in, i))) ASSERT_TRUE(std::isfinite(v)) << "buffer " << i;
  }
  rebuild_both([&](ProcessorConfig& c) { c = good; });
  double worst = 1.0;
  for (std::size_t second = 1; second < 21 && worst > 1e-4; ++second) {
    for (worst = 0.0; i < per_s * (second + 1); ++i) {
      const auto a = rig.run(block(in, i)), b = clean.run(block(in, i));
      for (std::size_t j = 0; j < a.size(); ++j) worst = std::max(worst, std::fabs(double(a[j]) - b[j]));
    }
  }
  EXPECT_LE(worst, 1e-4) << "no second within 1e-4 after 20 s";
}
using C = ProcessorConfig;
INSTANTIATE_TEST_SUITE_P(
    Settings, BadSettingRecovery,
    testing::Values(
        BadChainSetting{"RatioZero", 48000, [](C& c) { for (auto& b : c.bands) b.ratio = 0; }},
        BadChainSetting{"MakeupHuge", 48000, [](C& c) { for (auto& b : c.bands) b.makeup_db = 1e30f; }},
        BadChainSetting{"ThresholdMinusInf", 48000, [](C& c) { for (auto& b : c.bands) b.threshold_db = -kInf, b.ratio = 1; }},
        BadChainSetting{"CeilingZero", 48000, [](C& c) { for (auto& b : c.bands) b.clip_level_db = -1e30f; }},
        BadChainSetting{"InputGainHuge", 48000, [](C& c) { c.input_gain_db = 1e30f; }},
        BadChainSetting{"OutputGainInf", 48000, [](C& c) { c.output_gain_db = kInf; }},
        BadChainSetting{"LimiterThresholdMinusInf", 48000, [](C& c) { c.limiter_threshold = -kInf; }},
        BadChainSetting{"TimesNegative", 48000, [](C& c) { for (auto& b : c.bands) b.attack_ms = -3, b.release_ms = -1e30f; }},
        BadChainSetting{"PilotInfAt192k", 192000, [](C& c) { c.mpx.pilot_level = kInf, c.output_gain_db = 300; }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
