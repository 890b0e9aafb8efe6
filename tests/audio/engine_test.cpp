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

// Capture and playback are built, then played, capture first. Capture keeps at most 24 buffers
// for playback (bypass passes the samples through untouched, which shows what input_buffer
// kept). The streams report from their workers; only the engine turns that into lines, and the
// streams go on. The band count is logged clamped to 2..6 and a name that cannot be read as the
// empty text; a moved-from engine stops nothing, and the drop stops capture first.
TEST_F(EngineTest, StartsInOrderTrimsTheCaptureLogsStreamEventsAndDropStopsCaptureFirst) {
  cfg.buffer_size = 4, cfg.num_bands = 9, cfg.input_device = "";  // capture limit 32 samples, trimmed above 96
  host.default_input->name.reset();
  {
    auto engine = start();
    ASSERT_TRUE(engine.ok()) << engine.error();
    const audio::StreamConfig& sc = host.record.config;
    EXPECT_TRUE(sc.channels == 2 && sc.sample_rate == 48000u && sc.buffer_size == 4u);
    shared->bypass.store(true);
    for (int block = 1; block <= 20; ++block) host.record.capture(std::vector<float>(8, static_cast<float>(block)));
    std::vector<float> played(96);
    host.record.playback(played);
    for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], static_cast<float>(9 + i / 8)) << i;
    host.record.playback(played);
    EXPECT_EQ(played, std::vector<float>(96, 0.0f));
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

// Without an info log no device name is read, not even the list's for an empty wanted name. The
// largest buffer size, 2^20 frames, starts.
TEST_F(EngineTest, QuietLogReadsNoDeviceNameAndTheLargestBufferStarts) {
  log.use("velmora::audio::engine=warn");
  cfg.input_device = cfg.output_device = "", cfg.buffer_size = 1u << 20;
  auto quiet = start();
  ASSERT_TRUE(quiet.ok()) << quiet.error();
  EXPECT_EQ(host.record.name_reads, 0);
  EXPECT_EQ(log.lines(), Lines({"build capture default-in", "build playback default-out", "play capture", "play playback"}));
}

// The first listed device whose name reads back byte for byte as the wanted one: names that cannot
// be read are passed over, and reading stops at the match. Else the wanted name opened as it is, and
// only when that fails the default, with a warning. (An empty wanted name, and no match without a
// default, are start cases above.)
TEST(ResolveDevice, PicksTheFirstExactNameElseOpensTheNameElseTheDefault) {
  struct { std::vector<std::optional<std::string>> names; bool opens; std::string chosen; } const cases[] = {
      {{"a", "b", "b"}, false, "d1"}, {{std::nullopt, "b"}, false, "d1"},
      {{"b ", "B", "bb", "hw:0"}, true, "b"}, {{"b ", "B", "bb", "hw:0"}, false, "default-out"}};
  for (const auto& c : cases) {
    test::LogCapture log{"velmora::audio::engine=warn"};
    fake::Host host;
    host.outputs.clear();
    for (const auto& name : c.names) host.outputs.push_back({"d" + std::to_string(host.outputs.size()), name});
    if (c.opens) host.unlisted.push_back({"b", "b"});
    auto got = resolve_device(host, false, "b");
    ASSERT_TRUE(got.ok()) << got.error();
    EXPECT_EQ(dynamic_cast<fake::Device&>(*got.value()).desc.id, c.chosen);
    EXPECT_EQ(host.record.name_reads, c.chosen == "d1" ? 2 : 4);
    EXPECT_EQ(log.lines(), c.chosen != "default-out" ? Lines{} : Lines{
        "WARN Dispositivo de salida b no disponible, se usa el predeterminado: b: snd_pcm_open: No such device"});
  }
}

// Samples held before, block length and limit; the newest `after` samples of both remain.
TEST(InputCallback, AppendsAndDropsTheOldestBlockAboveThreeLimits) {
  struct { std::size_t before, block, limit, after; } const cases[] = {
      {100, 1024, 4096, 1124}, {11264, 1024, 4096, 12288},  // exactly 3 × limit stays
      {12000, 1024, 4096, 12000},                           // one block off, not down to 3 × limit
      {100, 12200, 4096, 100}, {0, 12289, 4096, 0}, {0, 2, 0, 0}};
  for (const auto& c : cases) {
    std::vector<float> all(c.before + c.block);
    std::iota(all.begin(), all.end(), 0.0f);
    auto buffer = make_input_buffer(c.limit);
    input_callback(*buffer, std::span<const float>(all).first(c.before));
    input_callback(*buffer, std::span<const float>(all).subspan(c.before));
    std::vector<float> held(c.after), more(1);
    EXPECT_TRUE(take_input(*buffer, held) && !take_input(*buffer, more) &&
                held == std::vector<float>(all.end() - c.after, all.end())) << "row " << &c - cases;
  }
}

// Capture and playback on two threads, in blocks of different sizes that wrap the ring anywhere,
// for many periods: capture stays at or below the trim, and playback finds every buffer that
// capture has already appended. Every sample arrives once and in order.
TEST(InputCallback, EverySampleArrivesOnceAndInOrderAcrossThreads) {
  constexpr std::size_t kLimit = 100, kIn = 47, kOut = 60, kBuffers = 15000;  // samples stay below kMaxCapturedSample
  auto buffer = make_input_buffer(kLimit);
  std::atomic<std::size_t> sent{0}, taken{0};
  std::jthread capture([&](std::stop_token stop) {
    std::vector<float> block(kIn);
    for (std::size_t n = 0; n < kOut * kBuffers; sent = n += kIn) {
      while (n + kIn > taken * kOut + 3 * kLimit && !stop.stop_requested()) std::this_thread::yield();
      std::iota(block.begin(), block.end(), static_cast<float>(n));
      input_callback(*buffer, block);
    }
  });
  for (std::vector<float> out(kOut); taken < kBuffers;) {
    const std::size_t ready = sent;
    const bool got = take_input(*buffer, out);
    ASSERT_TRUE(got || ready < (taken + 1) * kOut) << "ran dry at buffer " << taken;
    for (std::size_t j = 0; got && j < kOut; ++j) ASSERT_EQ(out[j], static_cast<float>(taken * kOut + j)) << taken;
    taken += got;
  }
}

}  // namespace
}  // namespace velmora
