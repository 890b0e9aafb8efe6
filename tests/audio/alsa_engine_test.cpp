#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "audio/alsa_sandbox.hpp"
#include "audio/engine.hpp"
#include "test_support.hpp"

namespace velmora {
namespace {

using testing::AlsaSandbox;

float peak(std::span<const float> v) {
  float p = 0.0f;
  for (float s : v) p = std::max(p, std::abs(s));
  return p;
}

struct AlsaEngine : ::testing::Test {
  AlsaEngine() { config->with([](ProcessorConfig& c) { c.input_device = "velmora_in", c.output_device = "velmora_out"; }); }

  // Runs the engine on the sandbox devices, calling `tick` up to n times `every` apart until it
  // returns false, then drops it. Both workers run and are gone after the drop; the playback
  // device got finite audio within the limiter's ceiling at its default -0.3 dB, kept in `out`.
  void run(int n, std::chrono::microseconds every, const std::function<bool(int, AlsaSandbox&)>& tick) {
    AlsaSandbox sandbox(true);
    auto started = AudioEngine::start(config, shared);
    ASSERT_TRUE(started.ok()) << started.error();
    EXPECT_EQ(testing::alsa_workers().size(), 2u);
    for (int i = 0; i < n; ++i) {
      if (std::this_thread::sleep_for(every); !tick(i, sandbox)) break;
    }
    { AudioEngine engine = std::move(started).value(); }
    EXPECT_TRUE(testing::workers_gone());
    out = sandbox.stop_pump();
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
    EXPECT_LE(peak(out), std::pow(10.0f, -0.3f / 20.0f) + 1e-4f);
  }

  test::LogCapture log{"velmora::audio::engine=info"};
  SharedConfig config = make_shared_config({});
  std::shared_ptr<SharedState> shared = SharedState::create();
  std::vector<float> out;
};

// The capture comes out processed and the meters move. Then the playback FIFO loses its reader
// for a while: one error line, and the stream comes back by itself and says so once.
TEST_F(AlsaEngine, ProcessesTheCaptureAndPlaybackComesBackWhenItsReaderReturns) {
  constexpr std::size_t kSecond = 48000 * 2 * sizeof(float);
  float in_meter = 0.0f, out_meter = 0.0f, band_meter = 0.0f;
  std::size_t back_at = 0;
  run(1000, std::chrono::milliseconds(10), [&](int i, AlsaSandbox& sandbox) {
    in_meter = std::max(in_meter, shared->in_l.load());
    out_meter = std::max(out_meter, shared->out_r.load());
    for (const auto& band : shared->band_meters) band_meter = std::max(band_meter, band.level.load());
    if (i == 30) sandbox.listen(false);
    if (i == 60) sandbox.listen(true), back_at = sandbox.received();
    return back_at == 0 || sandbox.received() < back_at + kSecond;  // a second of audio after the return
  });
  ASSERT_GT(back_at, 0u);
  const auto loud = std::count_if(out.begin(), out.end(), [](float s) { return std::abs(s) > 0.01f; });
  EXPECT_GT(loud, static_cast<long>(out.size() / 10));
  EXPECT_GT(std::abs(peak(out) - AlsaSandbox::kAmplitude), 0.05f) << "the input came out unprocessed";
  EXPECT_GT(peak(std::span<const float>(out).last(4800)), 0.1f) << "no sound after the return";
  EXPECT_GT(in_meter, 0.25f);  // mean |x| of a 0.5 sine is 0.318
  EXPECT_TRUE(out_meter > 0.01f && band_meter > 0.01f);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"INFO Entrada:  velmora_in", "INFO Salida:   velmora_out",
                                                   "INFO AudioEngine activo — 5 bandas @ 48000 Hz",
                                                   "ERROR Error salida CPAL: Input/output error",
                                                   "INFO Stream de salida recuperado", "INFO AudioEngine detenido"}));
}

// The window edits the settings and flips the flags while the workers run.
TEST_F(AlsaEngine, RunsCleanlyUnderConcurrentEditsAndFlagToggles) {
  run(400, std::chrono::microseconds(1500), [&](int i, AlsaSandbox&) {
    config->with([i](ProcessorConfig& c) { c.num_bands = 2 + i % 5u, c.input_gain_db = static_cast<float>(i % 7); });
    shared->params_dirty.store(true);
    shared->bypass.store(i % 3 == 0);
    return true;
  });
}

TEST_F(AlsaEngine, WithoutAnyDeviceStartFailsAndLeavesNoWorker) {
  AlsaSandbox sandbox(false);  // no card and no .asoundrc
  config->with([](ProcessorConfig& c) { c.input_device = c.output_device = ""; });
  auto started = AudioEngine::start(config, shared);
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error().rfind("default: snd_pcm_open: ", 0), 0u) << started.error();
  EXPECT_TRUE(testing::workers_gone());
}

}  // namespace
}  // namespace velmora
