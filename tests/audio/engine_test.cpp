#include "audio/engine.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <optional>

#include "test_support.hpp"

namespace velmora {
namespace {

// An audio layer whose answers a test decides. Its steps ("build capture in", "play playback",
// "drop capture") go into a transcript as lines, the step named fail_at fails, and the callbacks
// of the latest streams built are kept for the test to call.
struct FakeHost final : audio::Host {
  using Desc = std::pair<std::string, std::optional<std::string>>;  // id in the transcript, name
  using Built = Result<std::unique_ptr<audio::Stream>>;
  struct Stream final : audio::Stream {
    FakeHost& h;
    std::string kind;
    Stream(FakeHost& h, std::string kind) : h(h), kind(kind) { ++h.live_streams; }
    ~Stream() override { (void)h.step("drop " + kind), --h.live_streams; }
    Result<void> play() override { return h.step("play " + kind); }
  };
  struct Device final : audio::Device {
    FakeHost& h;
    Desc desc;
    Device(FakeHost& h, Desc desc) : h(h), desc(std::move(desc)) {}
    Result<std::string> name() const override {
      ++h.name_reads;
      return desc.second ? Result<std::string>(*desc.second) : Error{"nombre ilegible"};
    }
    Built build_input_stream(const audio::StreamConfig& c, audio::CaptureCallback d, audio::EventCallback e) override {
      h.capture = std::move(d), h.capture_events = std::move(e);
      return h.build("capture " + desc.first, c);
    }
    Built build_output_stream(const audio::StreamConfig& c, audio::PlaybackCallback d, audio::EventCallback e) override {
      h.playback = std::move(d), h.playback_events = std::move(e);
      return h.build("playback " + desc.first, c);
    }
  };

  explicit FakeHost(std::ostream& transcript) : transcript(transcript) {}
  Result<void> step(const std::string& line) {
    transcript << line << '\n';
    return line == fail_at ? Result<void>(Error{"EBUSY"}) : Result<void>();
  }
  Built build(const std::string& what, const audio::StreamConfig& c) {
    config = c;
    if (auto built = step("build " + what); !built) return Error{built.error()};
    return std::unique_ptr<audio::Stream>(std::make_unique<Stream>(*this, what.substr(0, what.find(' '))));
  }
  Result<audio::DeviceList> input_devices() override { return list(inputs, "list capture"); }
  Result<audio::DeviceList> output_devices() override { return list(outputs, "list playback"); }
  std::unique_ptr<audio::Device> default_input_device() override { return make(default_input); }
  std::unique_ptr<audio::Device> default_output_device() override { return make(default_output); }
  Result<std::unique_ptr<audio::Device>> named_device(const std::string& name, bool) override {
    if (name == unlisted) return make(Desc{name, name});
    return Error{name + ": snd_pcm_open: No such device"};
  }
  std::unique_ptr<audio::Device> make(const std::optional<Desc>& desc) {
    return desc ? std::make_unique<Device>(*this, *desc) : nullptr;
  }
  Result<audio::DeviceList> list(const std::vector<Desc>& descs, const std::string& what) {
    if (what == fail_at) return Error{"hints rotos"};
    audio::DeviceList out;
    for (const auto& d : descs) out.push_back(std::make_unique<Device>(*this, d));
    return out;
  }

  std::ostream& transcript;
  std::vector<Desc> inputs{{"in", "in"}}, outputs{{"out", "out"}};
  std::optional<Desc> default_input{Desc{"default-in", "default"}}, default_output{Desc{"default-out", "default"}};
  std::string unlisted, fail_at;  // a device that opens by its name; the step that fails
  int live_streams = 0, name_reads = 0;
  audio::StreamConfig config;
  audio::CaptureCallback capture;
  audio::PlaybackCallback playback;
  audio::EventCallback capture_events, playback_events;
};

// The fake layer's transcript and the engine's log share one stream.
struct Bench {
  Bench() { cfg.input_device = "in", cfg.output_device = "out"; }
  Result<AudioEngine> start() {
    auto config = make_shared_config(cfg);
    if (poisoned) test::poison(*config);
    return AudioEngine::start_with(host, config, shared);
  }
  std::string logged() const {
    std::string all;
    for (const auto& line : log.lines()) {
      if (!all.empty()) all += "; ";
      all += line;
    }
    return all;
  }

  test::LogCapture log{"velmora::audio::engine=info"};
  FakeHost host{log.out};
  ProcessorConfig cfg;
  bool poisoned = false;
  std::shared_ptr<SharedState> shared = SharedState::create();
};

// Every stream built before the failing step is dropped again, capture last.
TEST(EngineTest, StartFailureReturnsTheErrorAndLeavesNothingRunning) {
  const std::string names = "INFO Entrada:  in; INFO Salida:   out; build capture in";
  const struct { std::function<void(Bench&)> setup; std::string error, log; } cases[] = {
      {[](auto& t) { t.host.fail_at = "list capture"; }, "hints rotos", ""},
      {[](auto& t) { t.host.fail_at = "list playback"; }, "hints rotos", ""},
      {[](auto& t) { t.cfg.input_device = "otro", t.host.default_input.reset(); }, "Sin dispositivo de entrada", ""},
      {[](auto& t) { t.cfg.output_device = "otro", t.host.default_output.reset(); }, "Sin dispositivo de salida", ""},
      {[](auto& t) { t.host.fail_at = "build capture in"; }, "EBUSY", names},
      {[](auto& t) { t.host.fail_at = "build playback out"; }, "EBUSY", names + "; build playback out; drop capture"},
      {[](auto& t) { t.host.fail_at = "play playback"; }, "EBUSY",
       names + "; build playback out; play capture; play playback; drop playback; drop capture"},
      {[](auto& t) { t.cfg.buffer_size = 0; }, "Tamaño de búfer no válido: 0 frames", ""},
      {[](auto& t) { t.cfg.buffer_size = (1u << 20) + 1; }, "Tamaño de búfer no válido: 1048577 frames (máximo 1048576)", ""},
      {[](auto& t) { t.cfg.sample_rate = 2; }, "Frecuencia de muestreo no válida: 2 Hz (mínimo 3 Hz)", ""},
      // 3 Hz is the lowest rate that passes its check
      {[](auto& t) { t.cfg.sample_rate = 3, t.host.fail_at = "list capture"; }, "hints rotos", ""},
      {[](auto& t) { t.poisoned = true; }, "Configuración ilegible: su cerrojo quedó envenenado", ""}};
  for (const auto& c : cases) {
    Bench t;
    c.setup(t);
    auto engine = t.start();
    ASSERT_FALSE(engine.ok()) << "row " << &c - cases;
    EXPECT_EQ(engine.error(), c.error);
    EXPECT_EQ(t.logged(), c.log);
    EXPECT_EQ(t.host.live_streams, 0);
  }
}

// Capture and playback are built, then played, capture first. Capture keeps at most 24 buffers
// for playback (bypass passes the samples through untouched, which shows what input_buffer
// kept). The streams report from their workers; only the engine turns that into lines, and the
// streams go on. The band count is logged clamped to 2..6 and a name that cannot be read as the
// empty text; without an info log no name is read at all, and the largest buffer, 2^20 frames,
// starts. A moved-from engine stops nothing; a drop or an assignment stops capture first.
TEST(EngineTest, StartsInOrderTrimsTheCaptureLogsStreamEventsAndStopsCaptureFirst) {
  Bench b;
  b.cfg.buffer_size = 4, b.cfg.num_bands = 9, b.cfg.input_device = "";  // capture limit 32 samples, trimmed above 96
  b.host.default_input->second.reset();
  FakeHost& host = b.host;
  {
    auto engine = b.start();
    ASSERT_TRUE(engine.ok()) << engine.error();
    EXPECT_TRUE(host.config.channels == 2 && host.config.sample_rate == 48000u && host.config.buffer_size == 4u);
    b.shared->bypass.store(true);
    for (int block = 1; block <= 20; ++block) host.capture(std::vector<float>(8, static_cast<float>(block)));
    std::vector<float> played(96);
    host.playback(played);
    for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], static_cast<float>(9 + i / 8)) << i;
    EXPECT_FLOAT_EQ(b.shared->in_l.load(), 14.5f);  // the chain meters into the engine's shared state
    host.playback(played);
    EXPECT_EQ(played, std::vector<float>(96, 0.0f));
    using Kind = audio::StreamEvent::Kind;
    host.capture_events({Kind::Error, "Input/output error"});
    host.playback_events({Kind::StillDown, "out: snd_pcm_open: No such device", std::chrono::minutes(3)});
    host.playback_events({Kind::Recovered});
    host.capture_events({Kind::Recovered});
    AudioEngine running = std::move(engine).value();
    b.log.use("velmora::audio::engine=warn");
    b.cfg.buffer_size = 1u << 20, b.cfg.output_device = "";
    const int reads = host.name_reads;
    auto quiet = b.start();
    ASSERT_TRUE(quiet.ok()) << quiet.error();
    EXPECT_EQ(host.name_reads, reads);
    EXPECT_EQ(host.live_streams, 4);
    b.log.use("velmora::audio::engine=info");
    running = std::move(quiet).value();
  }
  const std::string stopped = "INFO AudioEngine detenido; drop capture; drop playback";
  EXPECT_EQ(b.logged(), "INFO Entrada:  ; INFO Salida:   out; build capture default-in; build playback out; "
                        "play capture; play playback; INFO AudioEngine activo — 6 bandas @ 48000 Hz; "
                        "ERROR Error entrada CPAL: Input/output error; "
                        "WARN Stream de salida sigue caído desde hace 3 min: out: snd_pcm_open: No such device; "
                        "INFO Stream de salida recuperado; INFO Stream de entrada recuperado; "
                        "build capture default-in; build playback default-out; play capture; play playback; " +
                            stopped + "; " + stopped);
  EXPECT_EQ(host.live_streams, 0);
}

// The first listed device whose name reads back byte for byte as the wanted one: names that cannot
// be read are passed over, and reading stops at the match. Else the wanted name opened as it is, and
// only when that fails the default, with a warning. (An empty wanted name, and no match without a
// default, are start cases above.)
TEST(ResolveDevice, PicksTheFirstExactNameElseOpensTheNameElseTheDefault) {
  struct { std::vector<std::optional<std::string>> names; bool opens; std::string chosen; } const cases[] = {
      {{"a", "b", "b"}, false, "1"}, {{std::nullopt, "b"}, false, "1"},
      {{"b ", "B", "bb", "hw:0"}, true, "b"}, {{"b ", "B", "bb", "hw:0"}, false, "default-out"}};
  for (const auto& c : cases) {
    Bench b;
    b.host.outputs.clear();
    for (const auto& name : c.names) b.host.outputs.push_back({std::to_string(b.host.outputs.size()), name});
    if (c.opens) b.host.unlisted = "b";
    auto got = resolve_device(b.host, false, "b");
    ASSERT_TRUE(got.ok()) << got.error();
    EXPECT_EQ(dynamic_cast<FakeHost::Device&>(*got.value()).desc.first, c.chosen);
    EXPECT_EQ(b.host.name_reads, c.chosen == "1" ? 2 : 4);
    EXPECT_EQ(b.logged(), c.chosen != "default-out" ? "" : "WARN Dispositivo de salida b no disponible, se usa el "
                                                          "predeterminado: b: snd_pcm_open: No such device");
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
