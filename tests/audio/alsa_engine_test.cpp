#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "audio/alsa_sandbox.hpp"
#include "audio/engine.hpp"
#include "test_support.hpp"

namespace velmora {
namespace {

using testing::alsa_workers;
using testing::AlsaSandbox;

// The limiter's ceiling at the default threshold of -0.3 dB.
const float kCeiling = std::pow(10.0f, -0.3f / 20.0f);

float peak(const std::vector<float>& v) {
  float p = 0.0f;
  for (float s : v) p = std::max(p, std::abs(s));
  return p;
}

struct AlsaEngine : ::testing::Test {
  // Runs the engine on the sandbox devices, calling `tick` up to n times `every` apart until it
  // returns false, then drops it. Both workers run and are gone after the drop; the playback
  // device got finite audio within the limiter's ceiling, which is returned.
  std::vector<float> run(int n, std::chrono::microseconds every, const std::function<bool(int, AlsaSandbox&)>& tick) {
    AlsaSandbox sandbox(true);
    auto started = AudioEngine::start(config, shared);
    if (!started.ok()) {
      ADD_FAILURE() << started.error();
      return {};
    }
    EXPECT_EQ(alsa_workers().size(), 2u);
    for (int i = 0; i < n; ++i) {
      std::this_thread::sleep_for(every);
      if (!tick(i, sandbox)) break;
    }
    { AudioEngine engine = std::move(started).value(); }
    EXPECT_TRUE(testing::workers_gone());
    const std::vector<float> out = sandbox.stop_pump();
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
    EXPECT_LE(peak(out), kCeiling + 1e-4f);
    return out;
  }

  test::LogCapture log{"velmora::audio::engine=info"};
  SharedConfig config = make_shared_config([] {
    ProcessorConfig c;
    c.input_device = "velmora_in";
    c.output_device = "velmora_out";
    return c;
  }());
  std::shared_ptr<SharedState> shared = SharedState::create();
};

TEST_F(AlsaEngine, ProcessesTheCaptureIntoThePlaybackAndStopsBothWorkers) {
  float in_meter = 0.0f, out_meter = 0.0f, band_meter = 0.0f;
  const auto out = run(100, std::chrono::milliseconds(10), [&](int, AlsaSandbox&) {
    in_meter = std::max(in_meter, shared->in_l.load());
    out_meter = std::max(out_meter, shared->out_r.load());
    for (const auto& band : shared->band_meters) band_meter = std::max(band_meter, band.level.load());
    return true;
  });
  ASSERT_GT(out.size(), 48000u);  // at least half a second of stereo
  const auto loud = std::count_if(out.begin(), out.end(), [](float s) { return std::abs(s) > 0.01f; });
  EXPECT_GT(loud, static_cast<long>(out.size() / 10));
  EXPECT_GT(std::abs(peak(out) - AlsaSandbox::kAmplitude), 0.05f) << "the input came out unprocessed";
  EXPECT_GT(in_meter, 0.25f);  // mean |x| of a 0.5 sine is 0.318
  EXPECT_GT(out_meter, 0.01f);
  EXPECT_GT(band_meter, 0.01f);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"INFO Entrada:  velmora_in", "INFO Salida:   velmora_out",
                                                   "INFO AudioEngine activo — 5 bandas @ 48000 Hz",
                                                   "INFO AudioEngine detenido"}));
}

// The window edits the settings and flips the flags while the workers run.
TEST_F(AlsaEngine, RunsCleanlyUnderConcurrentEditsAndFlagToggles) {
  run(400, std::chrono::microseconds(1500), [&](int i, AlsaSandbox&) {
    config->with([i](ProcessorConfig& c) {
      c.num_bands = 2 + static_cast<std::uint64_t>(i % 5);
      c.input_gain_db = static_cast<float>(i % 7);
    });
    shared->params_dirty.store(true);
    shared->bypass.store(i % 3 == 0);
    return true;
  });
}

// The playback FIFO loses its reader for a while: one error line, then the stream comes back by
// itself and says so once.
TEST_F(AlsaEngine, PlaybackComesBackWhenItsReaderReturns) {
  constexpr std::size_t kSecond = 48000 * 2 * sizeof(float);
  std::size_t back_at = 0;
  const auto out = run(1000, std::chrono::milliseconds(10), [&](int i, AlsaSandbox& sandbox) {
    if (i == 30) sandbox.listen(false);
    if (i == 60) sandbox.listen(true), back_at = sandbox.received();
    return back_at == 0 || sandbox.received() < back_at + kSecond;  // a second of audio after the return
  });
  ASSERT_GT(back_at, 0u);
  const std::vector<float> last(out.end() - 4800, out.end());
  EXPECT_GT(peak(last), 0.1f) << "no sound after the return";
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"INFO Entrada:  velmora_in", "INFO Salida:   velmora_out",
                                                   "INFO AudioEngine activo — 5 bandas @ 48000 Hz",
                                                   "ERROR Error salida CPAL: Input/output error",
                                                   "INFO Stream de salida recuperado", "INFO AudioEngine detenido"}));
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
