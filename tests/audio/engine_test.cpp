#include "audio/engine.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "audio/fake_audio.hpp"
#include "test_support.hpp"

namespace velmora {
namespace {

using Lines = std::vector<std::string>;

// The fake layer's transcript and the engine's log share one stream.
struct EngineTest : ::testing::Test {
  void SetUp() override {
    host.record.transcript = &log.out;
    cfg.input_device = "in";
    cfg.output_device = "out";
  }
  Result<AudioEngine> start() {
    auto config = make_shared_config(cfg);
    if (poisoned) test::poison(*config);
    return AudioEngine::start_with(host, config, shared);
  }

  test::LogCapture log{"velmora::audio::engine=info"};
  fake::Host host;
  ProcessorConfig cfg;
  bool poisoned = false;
  std::shared_ptr<SharedState> shared = SharedState::create();
};

Lines with_devices(Lines tail) {
  Lines all{"INFO Entrada:  in", "INFO Salida:   out"};
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

struct FailureCase { const char* what; std::function<void(EngineTest&)> setup; std::string error; Lines transcript; };
class StartFailure : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartFailure, ReturnsTheErrorAndLeavesNothingRunning) {
  GetParam().setup(*this);
  auto engine = start();
  ASSERT_FALSE(engine.ok());
  EXPECT_EQ(engine.error(), GetParam().error);
  EXPECT_EQ(log.lines(), GetParam().transcript);
  EXPECT_EQ(host.record.live_streams, 0);
}
INSTANTIATE_TEST_SUITE_P(
    Table, StartFailure,
    ::testing::Values(
        FailureCase{"capture list", [](auto& t) { t.host.inputs_error = "hints rotos"; }, "hints rotos", {}},
        FailureCase{"playback list", [](auto& t) { t.host.outputs_error = "hints rotos"; }, "hints rotos", {}},
        FailureCase{"no capture device", [](auto& t) { t.cfg.input_device = "otro", t.host.default_input.reset(); },
                    "Sin dispositivo de entrada", {}},
        FailureCase{"no playback device", [](auto& t) { t.cfg.output_device = "otro", t.host.default_output.reset(); },
                    "Sin dispositivo de salida", {}},
        FailureCase{"capture build", [](auto& t) { t.host.inputs[0].build_error = "EBUSY"; }, "EBUSY",
                    with_devices({"build capture in"})},
        FailureCase{"playback build", [](auto& t) { t.host.outputs[0].build_error = "EBUSY"; }, "EBUSY",
                    with_devices({"build capture in", "build playback out", "drop capture"})},
        FailureCase{"capture play", [](auto& t) { t.host.inputs[0].play_error = "pausa"; }, "pausa",
                    with_devices({"build capture in", "build playback out", "play capture", "drop playback",
                                  "drop capture"})},
        FailureCase{"playback play", [](auto& t) { t.host.outputs[0].play_error = "pausa"; }, "pausa",
                    with_devices({"build capture in", "build playback out", "play capture", "play playback",
                                  "drop playback", "drop capture"})},
        FailureCase{"buffer size 0", [](auto& t) { t.cfg.buffer_size = 0; }, "Tamaño de búfer no válido: 0 frames", {}},
        FailureCase{"buffer size 2^20 + 1", [](auto& t) { t.cfg.buffer_size = (1u << 20) + 1; },
                    "Tamaño de búfer no válido: 1048577 frames (máximo 1048576)", {}},
        FailureCase{"sample rate 2 Hz", [](auto& t) { t.cfg.sample_rate = 2; },
                    "Frecuencia de muestreo no válida: 2 Hz (mínimo 3 Hz)", {}},
        FailureCase{"poisoned lock", [](auto& t) { t.poisoned = true; },
                    "Configuración ilegible: su cerrojo quedó envenenado", {}}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST_F(EngineTest, StartsInOrderAndDropStopsCaptureFirst) {
  {
    auto engine = start();
    ASSERT_TRUE(engine.ok()) << engine.error();
    EXPECT_EQ(host.record.config.channels, 2);
    EXPECT_EQ(host.record.config.sample_rate, 48000u);
    EXPECT_EQ(host.record.config.buffer_size, 512u);
    AudioEngine moved = std::move(engine).value();  // the moved-from engine stops nothing
  }
  EXPECT_EQ(log.lines(), with_devices({"build capture in", "build playback out", "play capture", "play playback",
                                       "INFO AudioEngine activo — 5 bandas @ 48000 Hz", "INFO AudioEngine detenido",
                                       "drop capture", "drop playback"}));
  EXPECT_EQ(host.record.live_streams, 0);
}

TEST_F(EngineTest, ReportsTheClampedBandCount) {
  for (auto [bands, shown] : {std::pair{0, 2}, {1, 2}, {2, 2}, {5, 5}, {9, 6}}) {
    log.out.str("");
    cfg.num_bands = static_cast<std::uint64_t>(bands);
    auto engine = start();
    ASSERT_TRUE(engine.ok());
    EXPECT_EQ(log.lines().at(6), "INFO AudioEngine activo — " + std::to_string(shown) + " bandas @ 48000 Hz");
  }
}

TEST_F(EngineTest, DeviceNamesAreReadOnlyForAnEnabledInfoLog) {
  log.use("velmora::audio::engine=warn");
  cfg.input_device = cfg.output_device = "";
  auto quiet = start();
  EXPECT_EQ(host.record.name_reads, 0);
  EXPECT_EQ(log.lines(), Lines({"build capture default-in", "build playback default-out", "play capture",
                                "play playback"}));
  log.use("velmora::audio::engine=info");
  log.out.str("");
  host.default_input->name.reset();  // unreadable: logged as the empty text
  auto loud = start();
  EXPECT_EQ(log.lines().at(0), "INFO Entrada:  ");
  EXPECT_EQ(log.lines().at(1), "INFO Salida:   default");
}

// The streams report from their workers; only the engine turns that into lines.
TEST_F(EngineTest, StreamEventsAreLoggedAndTheStreamsGoOn) {
  auto engine = start();
  ASSERT_TRUE(engine.ok());
  log.out.str("");
  using Kind = audio::StreamEvent::Kind;
  host.record.capture_events({Kind::Error, "Input/output error"});
  host.record.playback_events({Kind::Error, "No such device"});
  host.record.playback_events({Kind::StillDown, "out: snd_pcm_open: No such device", std::chrono::minutes(3)});
  host.record.playback_events({Kind::Recovered});
  host.record.capture_events({Kind::Recovered});
  EXPECT_EQ(log.lines(), Lines({"ERROR Error entrada CPAL: Input/output error", "ERROR Error salida CPAL: No such device",
                                "WARN Stream de salida sigue caído desde hace 3 min: out: snd_pcm_open: No such device",
                                "INFO Stream de salida recuperado", "INFO Stream de entrada recuperado"}));
  EXPECT_EQ(host.record.live_streams, 2);
}

TEST_F(EngineTest, LargestBufferSizeStarts) {
  cfg.buffer_size = 1u << 20;
  EXPECT_TRUE(start().ok());
}

// Bypass passes the captured samples through untouched, which shows what input_buffer kept.
TEST_F(EngineTest, CaptureKeepsAtMostTwentyFourBuffersForPlayback) {
  cfg.buffer_size = 4;  // limit 32 samples, trimmed above 96
  auto engine = start();
  ASSERT_TRUE(engine.ok());
  shared->bypass.store(true);
  for (int block = 1; block <= 13; ++block) host.record.capture(std::vector<float>(8, static_cast<float>(block)));
  std::vector<float> played(96);
  host.record.playback(played);
  for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], static_cast<float>(2 + i / 8)) << i;
  host.record.playback(played);
  EXPECT_EQ(played, std::vector<float>(96, 0.0f));
}

// Listed devices d0, d1, ... with these names; the wanted name; a default "def" or none; the
// id chosen ("" for none) and the names read on the way.
struct ResolveCase { std::vector<std::optional<std::string>> names; std::string wanted; bool has_default;
                     std::string chosen; int name_reads; };
class ResolveDevice : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveDevice, PicksByExactNameElseTheDefault) {
  const auto& c = GetParam();
  fake::Record record;
  audio::DeviceList list;
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    list.push_back(std::make_unique<fake::Device>(record, fake::DeviceDesc{"d" + std::to_string(i), c.names[i]}));
  }
  auto fallback = c.has_default ? std::make_unique<fake::Device>(record, fake::DeviceDesc{"def", "default"}) : nullptr;
  auto chosen = resolve_device(std::move(list), c.wanted, std::move(fallback));
  EXPECT_EQ(chosen ? dynamic_cast<fake::Device&>(*chosen).id() : "", c.chosen);
  EXPECT_EQ(record.name_reads, c.name_reads);
}
INSTANTIATE_TEST_SUITE_P(Cases, ResolveDevice,
                         ::testing::Values(ResolveCase{{"a", ""}, "", true, "def", 0},  // the list is not looked at
                                           ResolveCase{{"a", "b", "b"}, "b", true, "d1", 2},
                                           ResolveCase{{std::nullopt, "b"}, "b", true, "d1", 2},
                                           ResolveCase{{"b ", "B", "bb", "hw:0"}, "b", true, "def", 4},
                                           ResolveCase{{"a"}, "z", false, "", 1},
                                           ResolveCase{{}, "z", true, "def", 0}));

// Samples held before, block length and limit; the newest `after` samples of both remain.
struct TrimCase { std::size_t before, block; std::uint64_t limit; std::size_t after; };
class InputCallback : public ::testing::TestWithParam<TrimCase> {};

TEST_P(InputCallback, AppendsAndDropsTheOldestBlockAboveThreeLimits) {
  const auto& c = GetParam();
  std::vector<float> all(c.before + c.block);
  std::iota(all.begin(), all.end(), 0.0f);
  auto buffer = make_input_buffer(c.limit);
  buffer->with([&](std::vector<float>& v) { v.assign(all.begin(), all.begin() + c.before); });
  input_callback(*buffer, c.limit, std::span<const float>(all).subspan(c.before));
  EXPECT_EQ(*buffer->lock(), std::vector<float>(all.end() - static_cast<std::ptrdiff_t>(c.after), all.end()));
}
INSTANTIATE_TEST_SUITE_P(Cases, InputCallback,
                         ::testing::Values(TrimCase{100, 1024, 4096, 1124},
                                           TrimCase{11264, 1024, 4096, 12288},  // exactly 3 × limit stays
                                           TrimCase{12288, 1024, 4096, 12288}, TrimCase{12000, 1024, 4096, 12000},
                                           TrimCase{0, 12289, 4096, 0}, TrimCase{0, 2, 0, 0}));

TEST(InputCallbackLock, BusyOrPoisonedBufferDropsTheBlock) {
  auto buffer = make_input_buffer(8);
  for (test::Lock how : {test::Lock::Busy, test::Lock::Poisoned}) {
    test::LockAs unavailable(*buffer, how);
    input_callback(*buffer, 8, std::vector<float>{1.0f, 2.0f});
  }
  EXPECT_TRUE(buffer->lock()->empty());
}

}  // namespace
}  // namespace velmora
