#include "audio/engine.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <functional>
#include <latch>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "audio/fake_audio.hpp"
#include "log.hpp"

namespace velmora {
namespace {

using Lines = std::vector<std::string>;

// Transcript lines; a log line "[time LEVEL target] text" reads "LEVEL text".
Lines lines_of(const std::string& text) {
  Lines out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.front() == '[') {
      const auto level = line.find(' ') + 1;
      const auto close = line.find("] ");
      line = line.substr(level, line.find(' ', level) - level) + " " + line.substr(close + 2);
    }
    out.push_back(line);
  }
  return out;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.record.transcript = &out;
    cfg.input_device = "in";
    cfg.output_device = "out";
    use_log("velmora::audio::engine=info");
  }
  void TearDown() override { log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>()); }

  void use_log(const char* filter) {
    log::init(log::parse_filter(filter), std::make_shared<spdlog::sinks::ostream_sink_mt>(out));
  }
  Result<AudioEngine> start() { return AudioEngine::start_with(host, make_shared_config(cfg), shared); }
  Lines transcript() const { return lines_of(out.str()); }

  std::ostringstream out;
  fake::Host host;
  ProcessorConfig cfg;
  std::shared_ptr<SharedState> shared = SharedState::create();
};

const Lines kDeviceLines{"INFO Entrada:  in", "INFO Salida:   out"};
Lines with_devices(Lines tail) {
  Lines all = kDeviceLines;
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

struct FailureCase {
  const char* what;
  std::function<void(fake::Host&, ProcessorConfig&)> setup;
  std::string error;
  Lines transcript;
};

class StartFailure : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartFailure, ReturnsTheErrorAndLeavesNothingRunning) {
  GetParam().setup(host, cfg);
  auto engine = start();
  ASSERT_FALSE(engine.ok());
  EXPECT_EQ(engine.error(), GetParam().error);
  EXPECT_EQ(transcript(), GetParam().transcript);
  EXPECT_EQ(host.record.live_streams, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartFailure,
    ::testing::Values(
        FailureCase{"capture list", [](auto& h, auto&) { h.inputs_error = "hints rotos"; }, "hints rotos", {}},
        FailureCase{"playback list", [](auto& h, auto&) { h.outputs_error = "hints rotos"; }, "hints rotos", {}},
        FailureCase{"no capture device",
                    [](auto& h, auto& c) { c.input_device = "otro"; h.default_input.reset(); },
                    "Sin dispositivo de entrada", {}},
        FailureCase{"no playback device",
                    [](auto& h, auto& c) { c.output_device = "otro"; h.default_output.reset(); },
                    "Sin dispositivo de salida", {}},
        FailureCase{"capture build", [](auto& h, auto&) { h.inputs[0].build_error = "EBUSY"; }, "EBUSY",
                    with_devices({"build capture in"})},
        FailureCase{"playback build", [](auto& h, auto&) { h.outputs[0].build_error = "EBUSY"; }, "EBUSY",
                    with_devices({"build capture in", "build playback out", "drop capture"})},
        FailureCase{"capture play", [](auto& h, auto&) { h.inputs[0].play_error = "pausa"; }, "pausa",
                    with_devices({"build capture in", "build playback out", "play capture",
                                  "drop playback", "drop capture"})},
        FailureCase{"playback play", [](auto& h, auto&) { h.outputs[0].play_error = "pausa"; }, "pausa",
                    with_devices({"build capture in", "build playback out", "play capture",
                                  "play playback", "drop playback", "drop capture"})},
        FailureCase{"buffer size 0", [](auto&, auto& c) { c.buffer_size = 0; },
                    "Tamaño de búfer no válido: 0 frames", {}},
        FailureCase{"sample rate 2 Hz", [](auto&, auto& c) { c.sample_rate = 2; },
                    "Frecuencia de muestreo no válida: 2 Hz (mínimo 3 Hz)", {}}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST_F(EngineTest, PoisonedConfigurationLockIsAnError) {
  auto config = make_shared_config(cfg);
  EXPECT_THROW(config->with([](ProcessorConfig&) { throw std::runtime_error("edición a medias"); }),
               std::runtime_error);
  auto engine = AudioEngine::start_with(host, config, shared);
  ASSERT_FALSE(engine.ok());
  EXPECT_EQ(engine.error(), "Configuración ilegible: su cerrojo quedó envenenado");
  EXPECT_TRUE(transcript().empty());
}

TEST_F(EngineTest, UnallocatableCaptureBufferIsAnError) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of throwing";
#endif
  cfg.buffer_size = 0xFFFFFFFFu;  // 8 × that many samples: 137 GB
  auto engine = start();
  ASSERT_FALSE(engine.ok());
  EXPECT_EQ(engine.error(),
            "Sin memoria para el búfer de captura de 34359738360 muestras (buffer_size 4294967295)");
  EXPECT_EQ(host.record.live_streams, 0);
}

TEST_F(EngineTest, StartsInOrderAndDropStopsCaptureFirst) {
  {
    auto engine = start();
    ASSERT_TRUE(engine.ok()) << engine.error();
    EXPECT_EQ(host.record.config.channels, 2);
    EXPECT_EQ(host.record.config.sample_rate, 48000u);
    EXPECT_EQ(host.record.config.buffer_size, 512u);
    AudioEngine moved = std::move(engine).value();  // the moved-from engine stops nothing
  }
  EXPECT_EQ(transcript(), with_devices({"build capture in", "build playback out", "play capture",
                                        "play playback", "INFO AudioEngine activo — 5 bandas @ 48000 Hz",
                                        "INFO AudioEngine detenido", "drop capture", "drop playback"}));
  EXPECT_EQ(host.record.live_streams, 0);
}

TEST_F(EngineTest, ReportsTheClampedBandCount) {
  for (auto [bands, shown] : {std::pair{0, 2}, {1, 2}, {2, 2}, {5, 5}, {9, 6}}) {
    out.str("");
    cfg.num_bands = static_cast<std::uint64_t>(bands);
    auto engine = start();
    ASSERT_TRUE(engine.ok());
    EXPECT_EQ(transcript().at(6), "INFO AudioEngine activo — " + std::to_string(shown) + " bandas @ 48000 Hz");
  }
}

TEST_F(EngineTest, DeviceNamesAreReadOnlyForAnEnabledInfoLog) {
  use_log("velmora::audio::engine=warn");
  cfg.input_device = cfg.output_device = "";
  auto quiet = start();
  EXPECT_EQ(host.record.name_reads, 0);
  EXPECT_EQ(transcript(), Lines({"build capture default-in", "build playback default-out", "play capture",
                                 "play playback"}));

  use_log("velmora::audio::engine=info");
  out.str("");
  host.default_input->name.reset();  // unreadable: logged as the empty text
  auto loud = start();
  EXPECT_EQ(transcript().at(0), "INFO Entrada:  ");
  EXPECT_EQ(transcript().at(1), "INFO Salida:   default");
}

TEST_F(EngineTest, StreamErrorsAreLoggedAndTheStreamsGoOn) {
  auto engine = start();
  ASSERT_TRUE(engine.ok());
  out.str("");
  host.record.capture_error("Input/output error");
  host.record.playback_error("No such device");
  EXPECT_EQ(transcript(), Lines({"ERROR Error entrada CPAL: Input/output error",
                                 "ERROR Error salida CPAL: No such device"}));
  EXPECT_EQ(host.record.live_streams, 2);
}

// Bypass passes the captured samples through untouched, which shows what input_buffer kept.
TEST_F(EngineTest, CaptureKeepsAtMostTwentyFourBuffersForPlayback) {
  cfg.buffer_size = 4;  // limit 32 samples, trimmed above 96
  auto engine = start();
  ASSERT_TRUE(engine.ok());
  shared->bypass.store(true);
  for (int block = 1; block <= 13; ++block) {
    std::vector<float> samples(8, static_cast<float>(block));
    host.record.capture(samples);
  }
  std::vector<float> played(96);
  host.record.playback(played);
  for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], static_cast<float>(2 + i / 8)) << i;
  host.record.playback(played);
  EXPECT_EQ(played, std::vector<float>(96, 0.0f));
}

struct ResolveCase {
  std::vector<std::optional<std::string>> names;  // listed devices d0, d1, ...
  std::string wanted;
  bool has_default;
  std::string chosen;  // id, or "" for none
  int name_reads;
};

class ResolveDevice : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveDevice, PicksByExactNameElseTheDefault) {
  const auto& c = GetParam();
  fake::Record record;
  audio::DeviceList list;
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    list.push_back(std::make_unique<fake::Device>(record, fake::DeviceSpec{"d" + std::to_string(i), c.names[i], {}, {}}));
  }
  auto fallback = c.has_default ? std::make_unique<fake::Device>(record, fake::DeviceSpec{"def", "default", {}, {}}) : nullptr;
  auto chosen = resolve_device(std::move(list), c.wanted, std::move(fallback));
  EXPECT_EQ(chosen ? dynamic_cast<fake::Device&>(*chosen).id() : "", c.chosen);
  EXPECT_EQ(record.name_reads, c.name_reads);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveDevice,
    ::testing::Values(ResolveCase{{"a", ""}, "", true, "def", 0},  // empty: the list is not looked at
                      ResolveCase{{"a", "b", "b"}, "b", true, "d1", 2},
                      ResolveCase{{std::nullopt, "b"}, "b", true, "d1", 2},
                      ResolveCase{{"b ", "B", "bb", "hw:0"}, "b", true, "def", 4},
                      ResolveCase{{"a"}, "z", false, "", 1},
                      ResolveCase{{}, "z", true, "def", 0}));

struct TrimCase {
  std::size_t before;
  std::size_t block;
  std::uint64_t limit;
  std::size_t after;  // the newest `after` samples of before + block remain
};

class InputCallback : public ::testing::TestWithParam<TrimCase> {};

TEST_P(InputCallback, AppendsAndDropsTheOldestBlockAboveThreeLimits) {
  const auto& c = GetParam();
  std::vector<float> all(c.before + c.block);
  std::iota(all.begin(), all.end(), 0.0f);
  auto buffer = make_input_buffer(c.limit);
  buffer->with([&](std::vector<float>& v) { v.assign(all.begin(), all.begin() + c.before); });
  input_callback(*buffer, c.limit, std::span<const float>(all).subspan(c.before));
  buffer->with([&](std::vector<float>& v) {
    EXPECT_EQ(v, std::vector<float>(all.end() - static_cast<std::ptrdiff_t>(c.after), all.end()));
  });
}

INSTANTIATE_TEST_SUITE_P(Cases, InputCallback,
                         ::testing::Values(TrimCase{100, 1024, 4096, 1124},
                                           TrimCase{11264, 1024, 4096, 12288},  // exactly 3 × limit stays
                                           TrimCase{12288, 1024, 4096, 12288},
                                           TrimCase{12000, 1024, 4096, 12000},
                                           TrimCase{0, 12289, 4096, 0},
                                           TrimCase{0, 2, 0, 0}));

TEST(InputCallbackLock, BusyOrPoisonedBufferDropsTheBlock) {
  const std::vector<float> block{1.0f, 2.0f};
  auto buffer = make_input_buffer(8);
  std::latch held(1), done(1);
  std::thread holder([&] {
    auto guard = buffer->lock();
    held.count_down();
    done.wait();
  });
  held.wait();
  input_callback(*buffer, 8, block);
  done.count_down();
  holder.join();
  EXPECT_THROW(buffer->with([](std::vector<float>&) { throw std::runtime_error("x"); }), std::runtime_error);
  input_callback(*buffer, 8, block);
  EXPECT_TRUE(buffer->try_lock()->empty());
}

}  // namespace
}  // namespace velmora
