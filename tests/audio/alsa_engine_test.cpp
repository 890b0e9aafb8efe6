#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>

#include "audio/alsa_sandbox.hpp"
#include "audio/engine.hpp"
#include "log.hpp"

namespace velmora {
namespace {

using testing::alsa_workers;
using testing::AlsaSandbox;

// The limiter's ceiling at the default threshold of -0.3 dB.
const float kCeiling = std::pow(10.0f, -0.3f / 20.0f);

class AlsaEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    log::init(log::parse_filter("velmora::audio::engine=info"),
              std::make_shared<spdlog::sinks::ostream_sink_mt>(log_));
    cfg.input_device = "velmora_in";
    cfg.output_device = "velmora_out";
  }
  void TearDown() override { log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>()); }

  // Log messages without their time stamps.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    std::istringstream in(log_.str());
    std::regex line(R"(\[\S+ (\w+) velmora::audio::engine\] (.*))");
    std::smatch m;
    for (std::string l; std::getline(in, l);) {
      if (std::regex_match(l, m, line)) out.push_back(m[1].str() + " " + m[2].str());
    }
    return out;
  }

  std::ostringstream log_;
  ProcessorConfig cfg;
  std::shared_ptr<SharedState> shared = SharedState::create();
};

float peak(const std::vector<float>& v) {
  float p = 0.0f;
  for (float s : v) p = std::max(p, std::abs(s));
  return p;
}

TEST_F(AlsaEngine, ProcessesTheCaptureIntoThePlaybackAndStopsBothWorkers) {
  AlsaSandbox sandbox(true);
  sandbox.start_pump();
  auto started = AudioEngine::start(make_shared_config(cfg), shared);
  ASSERT_TRUE(started.ok()) << started.error();
  EXPECT_EQ(alsa_workers(), 2);

  float in_meter = 0.0f, out_meter = 0.0f, band_meter = 0.0f;
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    in_meter = std::max(in_meter, shared->in_l.load());
    out_meter = std::max(out_meter, shared->out_r.load());
    for (const auto& band : shared->band_meters) band_meter = std::max(band_meter, band.level.load());
  }
  { AudioEngine engine = std::move(started).value(); }
  EXPECT_EQ(alsa_workers(), 0);
  sandbox.stop_pump();

  const std::vector<float> out = sandbox.output();
  ASSERT_GT(out.size(), 48000u);  // at least half a second of stereo
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
  const auto loud = std::count_if(out.begin(), out.end(), [](float s) { return std::abs(s) > 0.01f; });
  EXPECT_GT(loud, static_cast<long>(out.size() / 10));
  EXPECT_LE(peak(out), kCeiling + 1e-4f);
  EXPECT_GT(std::abs(peak(out) - AlsaSandbox::kAmplitude), 0.05f) << "the input came out unprocessed";
  EXPECT_GT(in_meter, 0.25f);  // mean |x| of a 0.5 sine is 0.318
  EXPECT_GT(out_meter, 0.01f);
  EXPECT_GT(band_meter, 0.01f);
  EXPECT_EQ(messages(), (std::vector<std::string>{"INFO Entrada:  velmora_in", "INFO Salida:   velmora_out",
                                                  "INFO AudioEngine activo — 5 bandas @ 48000 Hz",
                                                  "INFO AudioEngine detenido"}));
}

// The window edits the settings and flips the flags while the workers run.
TEST_F(AlsaEngine, RunsCleanlyUnderConcurrentEditsAndFlagToggles) {
  AlsaSandbox sandbox(true);
  sandbox.start_pump();
  auto config = make_shared_config(cfg);
  auto started = AudioEngine::start(config, shared);
  ASSERT_TRUE(started.ok()) << started.error();
  for (int i = 0; i < 400; ++i) {
    config->with([i](ProcessorConfig& c) {
      c.num_bands = 2 + static_cast<std::uint64_t>(i % 5);
      c.input_gain_db = static_cast<float>(i % 7);
    });
    shared->params_dirty.store(true);
    shared->bypass.store(i % 3 == 0);
    std::this_thread::sleep_for(std::chrono::microseconds(1500));
  }
  { AudioEngine engine = std::move(started).value(); }
  EXPECT_EQ(alsa_workers(), 0);
  sandbox.stop_pump();
  const std::vector<float> out = sandbox.output();
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
  EXPECT_LE(peak(out), kCeiling + 1e-4f);
}

TEST_F(AlsaEngine, WithoutAnyDeviceStartFailsAndLeavesNoWorker) {
  AlsaSandbox sandbox(false);  // no card and no .asoundrc
  cfg.input_device = cfg.output_device = "";
  auto started = AudioEngine::start(make_shared_config(cfg), shared);
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error().rfind("default: snd_pcm_open: ", 0), 0u) << started.error();
  EXPECT_EQ(alsa_workers(), 0);
}

}  // namespace
}  // namespace velmora
