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
  EngineTest() { host.record.transcript = &log.out, cfg.input_device = "in", cfg.output_device = "out"; }
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

struct FailureCase { const char* what; std::function<void(EngineTest&)> setup; std::string error; Lines transcript; };
class StartFailure : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

// Every stream built before the failing step is dropped again, capture last; a transcript that
// gets that far starts with the two device lines.
TEST_P(StartFailure, ReturnsTheErrorAndLeavesNothingRunning) {
  GetParam().setup(*this);
  auto engine = start();
  ASSERT_FALSE(engine.ok());
  EXPECT_EQ(engine.error(), GetParam().error);
  Lines want = GetParam().transcript;
  if (!want.empty()) want.insert(want.begin(), {"INFO Entrada:  in", "INFO Salida:   out"});
  EXPECT_EQ(log.lines(), want);
  EXPECT_EQ(host.record.live_streams, 0);
}
INSTANTIATE_TEST_SUITE_P(
    Table, StartFailure,
    ::testing::Values(
        FailureCase{"CaptureList", [](auto& t) { t.host.inputs_error = "hints rotos"; }, "hints rotos", {}},
        FailureCase{"PlaybackList", [](auto& t) { t.host.outputs_error = "hints rotos"; }, "hints rotos", {}},
        FailureCase{"NoCaptureDevice", [](auto& t) { t.cfg.input_device = "otro", t.host.default_input.reset(); },
                    "Sin dispositivo de entrada", {}},
        FailureCase{"NoPlaybackDevice", [](auto& t) { t.cfg.output_device = "otro", t.host.default_output.reset(); },
                    "Sin dispositivo de salida", {}},
        FailureCase{"CaptureBuild", [](auto& t) { t.host.inputs[0].build_error = "EBUSY"; }, "EBUSY",
                    {"build capture in"}},
        FailureCase{"PlaybackBuild", [](auto& t) { t.host.outputs[0].build_error = "EBUSY"; }, "EBUSY",
                    {"build capture in", "build playback out", "drop capture"}},
        FailureCase{"PlaybackPlay", [](auto& t) { t.host.outputs[0].play_error = "pausa"; }, "pausa",
                    {"build capture in", "build playback out", "play capture", "play playback", "drop playback",
                     "drop capture"}},
        FailureCase{"BufferSize0", [](auto& t) { t.cfg.buffer_size = 0; }, "Tamaño de búfer no válido: 0 frames", {}},
        FailureCase{"BufferSizeAboveTwoToThe20", [](auto& t) { t.cfg.buffer_size = (1u << 20) + 1; },
                    "Tamaño de búfer no válido: 1048577 frames (máximo 1048576)", {}},
        FailureCase{"SampleRate2Hz", [](auto& t) { t.cfg.sample_rate = 2; },
                    "Frecuencia de muestreo no válida: 2 Hz (mínimo 3 Hz)", {}},
        FailureCase{"PoisonedLock", [](auto& t) { t.poisoned = true; },
                    "Configuración ilegible: su cerrojo quedó envenenado", {}}),
    [](const auto& info) { return std::string(info.param.what); });

// The streams report from their workers; only the engine turns that into lines, and the
// streams go on. The largest buffer size starts, the band count is logged clamped to 2..6, a
// name that cannot be read is logged as the empty text, and a moved-from engine stops nothing.
TEST_F(EngineTest, StartsInOrderLogsStreamEventsAndDropStopsCaptureFirst) {
  cfg.buffer_size = 1u << 20, cfg.num_bands = 9, cfg.input_device = "";
  host.default_input->name.reset();
  {
    auto engine = start();
    ASSERT_TRUE(engine.ok()) << engine.error();
    const audio::StreamConfig& sc = host.record.config;
    EXPECT_TRUE(sc.channels == 2 && sc.sample_rate == 48000u && sc.buffer_size == 1u << 20);
    using Kind = audio::StreamEvent::Kind;
    host.record.capture_events({Kind::Error, "Input/output error"});
    host.record.playback_events({Kind::StillDown, "out: snd_pcm_open: No such device", std::chrono::minutes(3)});
    host.record.playback_events({Kind::Recovered});
    host.record.capture_events({Kind::Recovered});
    EXPECT_EQ(host.record.live_streams, 2);
    AudioEngine moved = std::move(engine).value();
  }
  EXPECT_EQ(log.lines(), Lines({"INFO Entrada:  ", "INFO Salida:   out", "build capture default-in", "build playback out",
                                "play capture", "play playback", "INFO AudioEngine activo — 6 bandas @ 48000 Hz",
                                "ERROR Error entrada CPAL: Input/output error",
                                "WARN Stream de salida sigue caído desde hace 3 min: out: snd_pcm_open: No such device",
                                "INFO Stream de salida recuperado", "INFO Stream de entrada recuperado",
                                "INFO AudioEngine detenido", "drop capture", "drop playback"}));
  EXPECT_EQ(host.record.live_streams, 0);
}

TEST_F(EngineTest, DeviceNamesAreReadOnlyForAnEnabledInfoLog) {
  log.use("velmora::audio::engine=warn");
  cfg.input_device = cfg.output_device = "";
  auto quiet = start();
  EXPECT_EQ(host.record.name_reads, 0);
  EXPECT_EQ(log.lines(), Lines({"build capture default-in", "build playback default-out", "play capture", "play playback"}));
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
                                           ResolveCase{{"a"}, "z", false, "", 1}));

// Samples held before, block length, limit and the buffer's lock as the block arrives; the
// newest `after` samples of both remain. A busy or poisoned lock loses the block: the capture
// worker never waits.
struct TrimCase { std::size_t before, block; std::uint64_t limit; std::size_t after; test::Lock lock = test::Lock::Free; };
class InputCallback : public ::testing::TestWithParam<TrimCase> {};

TEST_P(InputCallback, AppendsAndDropsTheOldestBlockAboveThreeLimitsUnlessLocked) {
  const auto& c = GetParam();
  std::vector<float> all(c.before + c.block);
  std::iota(all.begin(), all.end(), 0.0f);
  auto buffer = make_input_buffer(c.limit);
  buffer->with([&](std::vector<float>& v) { v.assign(all.begin(), all.begin() + c.before); });
  {
    test::LockAs unavailable(*buffer, c.lock);
    input_callback(*buffer, c.limit, std::span<const float>(all).subspan(c.before));
  }
  EXPECT_EQ(*buffer->lock(), std::vector<float>(all.end() - static_cast<std::ptrdiff_t>(c.after), all.end()));
}
INSTANTIATE_TEST_SUITE_P(Cases, InputCallback,
                         ::testing::Values(TrimCase{100, 1024, 4096, 1124},
                                           TrimCase{11264, 1024, 4096, 12288},  // exactly 3 × limit stays
                                           TrimCase{12000, 1024, 4096, 12000},  // one block off, not down to 3 × limit
                                           TrimCase{0, 12289, 4096, 0}, TrimCase{0, 2, 0, 0},
                                           TrimCase{0, 2, 8, 0, test::Lock::Busy}, TrimCase{0, 2, 8, 0, test::Lock::Poisoned}));

}  // namespace
}  // namespace velmora
