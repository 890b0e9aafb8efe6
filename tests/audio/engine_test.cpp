#include "audio/engine.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <numeric>
#include <optional>
#include <thread>
#include <utility>

#include "test_support.hpp"

namespace velmora {
namespace {

// An audio layer whose answers a test decides, and an engine to start on it. The layer's steps
// ("build capture in", "play playback", "drop capture") share the log with the engine's lines, the
// step named fail_at fails, and the callbacks of the latest streams built are kept for the test.
struct FakeHost final : audio::Host {
  using Desc = std::pair<std::string, std::optional<std::string>>;  // id in the transcript, name
  using Built = Result<std::unique_ptr<audio::Stream>>;
  struct Stream final : audio::Stream {
    FakeHost& h;
    std::string kind;
    Stream(FakeHost& h, std::string kind) : h(h), kind(kind) {}
    ~Stream() override { (void)h.step("drop " + kind); }
    Result<void> play() override { return h.step("play " + kind); }
    bool stop() noexcept override { return true; }
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

  FakeHost() { cfg.input_device = "in", cfg.output_device = "out"; }
  Result<AudioEngine> start() {
    auto config = make_shared_config(cfg);
    if (poisoned) test::poison(*config);
    return AudioEngine::start_with(*this, config, shared);
  }
  Result<void> step(const std::string& line) {
    log.out << line << '\n';
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
    return name == unlisted ? Result<std::unique_ptr<audio::Device>>(make(Desc{name, name}))
                            : Error{name + ": snd_pcm_open: No such device"};
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

  test::LogCapture log{"velmora::audio::engine=info"};
  ProcessorConfig cfg;
  bool poisoned = false;
  std::shared_ptr<SharedState> shared = SharedState::create();
  std::vector<Desc> inputs{{"in", "in"}}, outputs{{"out", "out"}};
  std::optional<Desc> default_input{Desc{"default-in", "default"}}, default_output{Desc{"default-out", "default"}};
  std::string unlisted, fail_at;  // a device that opens by its name; the step that fails
  int name_reads = 0;
  audio::StreamConfig config;
  audio::CaptureCallback capture;
  audio::PlaybackCallback playback;
  audio::EventCallback capture_events, playback_events;
};

// Every stream built before the failing step is dropped again, capture last.
TEST(EngineTest, StartFailureReturnsTheErrorAndLeavesNothingRunning) {
  const std::string names = "INFO Entrada:  in; INFO Salida:   out; build capture in";
  const struct { std::function<void(FakeHost&)> setup; std::string error, log; } cases[] = {
      {[](auto& t) { t.fail_at = "list capture"; }, "hints rotos", ""},
      {[](auto& t) { t.fail_at = "list playback"; }, "hints rotos", ""},
      {[](auto& t) { t.cfg.input_device = "otro", t.default_input.reset(); }, "Sin dispositivo de entrada", ""},
      {[](auto& t) { t.cfg.output_device = "otro", t.default_output.reset(); }, "Sin dispositivo de salida", ""},
      {[](auto& t) { t.fail_at = "build capture in"; }, "EBUSY", names},
      {[](auto& t) { t.fail_at = "build playback out"; }, "EBUSY", names + "; build playback out; drop capture"},
      {[](auto& t) { t.fail_at = "play playback"; }, "EBUSY",
       names + "; build playback out; play capture; play playback; drop playback; drop capture"},
      {[](auto& t) { t.cfg.buffer_size = 0; }, "Tamaño de búfer no válido: 0 frames", ""},
      {[](auto& t) { t.cfg.buffer_size = (1u << 20) + 1; }, "Tamaño de búfer no válido: 1048577 frames (máximo 1048576)", ""},
      {[](auto& t) { t.cfg.sample_rate = 2; }, "Frecuencia de muestreo no válida: 2 Hz (mínimo 3 Hz)", ""},
      {[](auto& t) { t.cfg.sample_rate = 3, t.fail_at = "list capture"; }, "hints rotos", ""},  // 3 Hz is valid
      {[](auto& t) { t.poisoned = true; }, "Configuración ilegible: su cerrojo quedó envenenado", ""}};
  for (const auto& c : cases) {
    FakeHost t;
    c.setup(t);
    auto engine = t.start();
    ASSERT_FALSE(engine.ok()) << "row " << &c - cases;
    EXPECT_EQ(engine.error(), c.error);
    EXPECT_EQ(t.log.text(), c.log);
  }
}

// Built, then played, capture first; capture keeps 24 buffers for playback (bypass shows them).
// Stream events become log lines, the band count is logged clamped to 2..6 and an unreadable name
// as the empty text. A wanted device is the first listed whose name reads back byte for byte, else
// the one of that name if it opens, else the default with a warning; without an info log no other
// name is read. The largest buffer, 2^20 frames, starts; a drop or an assignment stops capture first.
TEST(EngineTest, StartsInOrderTrimsTheCaptureLogsStreamEventsAndStopsCaptureFirst) {
  FakeHost host;
  host.cfg.buffer_size = 4, host.cfg.num_bands = 9, host.cfg.input_device = "";  // capture limit 32, trimmed above 96
  host.default_input->second.reset();
  host.inputs = {{"x", std::nullopt}, {"y", "b "}, {"z", "B"}}, host.unlisted = "b";
  {
    auto engine = host.start();
    ASSERT_TRUE(engine.ok()) << engine.error();
    EXPECT_TRUE(host.config.channels == 2 && host.config.sample_rate == 48000u && host.config.buffer_size == 4u);
    host.shared->bypass.store(true);
    for (int block = 1; block <= 20; ++block) host.capture(std::vector<float>(8, static_cast<float>(block)));
    std::vector<float> played(96);
    host.playback(played);
    for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], static_cast<float>(9 + i / 8)) << i;
    EXPECT_FLOAT_EQ(host.shared->in_l.load(), 14.5f);  // the chain meters into the engine's shared state
    host.playback(played);
    EXPECT_EQ(played, std::vector<float>(96, 0.0f));
    using Kind = audio::StreamEvent::Kind;
    host.capture_events({Kind::Error, "Input/output error"});
    host.playback_events({Kind::StillDown, "out: snd_pcm_open: No such device", std::chrono::minutes(3)});
    host.playback_events({Kind::Recovered});
    host.capture_events({Kind::Recovered});
    AudioEngine running = std::move(engine).value();
    host.log.use("velmora::audio::engine=warn");
    host.cfg.buffer_size = 1u << 20, host.cfg.input_device = "b", host.cfg.output_device = "c";
    const int reads = host.name_reads;
    auto quiet = host.start();
    ASSERT_TRUE(quiet.ok()) << quiet.error();
    EXPECT_EQ(host.name_reads, reads + 4);  // the lists', to find "b" and "c"
    host.log.use("velmora::audio::engine=info");
    running = std::move(quiet).value();
  }
  const std::string stopped = "INFO AudioEngine detenido; drop capture; drop playback";
  EXPECT_EQ(host.log.text(), "INFO Entrada:  ; INFO Salida:   out; build capture default-in; build playback out; "
                             "play capture; play playback; INFO AudioEngine activo — 6 bandas @ 48000 Hz; "
                             "ERROR Error entrada CPAL: Input/output error; "
                             "WARN Stream de salida sigue caído desde hace 3 min: out: snd_pcm_open: No such device; "
                             "INFO Stream de salida recuperado; INFO Stream de entrada recuperado; "
                             "WARN Dispositivo de salida c no disponible, se usa el predeterminado: c: snd_pcm_open: "
                             "No such device; build capture b; build playback default-out; play capture; play playback; " +
                                 stopped + "; " + stopped);
}

// Samples held before, block length and limit; the newest `after` samples of both remain.
TEST(InputCallback, AppendsAndDropsTheOldestBlockAboveThreeLimits) {
  struct { std::size_t before, block, limit, after; } const cases[] = {
      {100, 1024, 4096, 1124}, {11264, 1024, 4096, 12288}, {12000, 1024, 4096, 12000},  // 12288 = 3 × limit stays,
      {100, 12200, 4096, 100}, {0, 12289, 4096, 0}, {0, 2, 0, 0}};  // 13024 drops a block, not down to 12288
  for (const auto& c : cases) {
    std::vector<float> all(c.before + c.block);
    std::iota(all.begin(), all.end(), 0.0f);
    auto buffer = make_input_buffer(c.limit);
    buffer->append(std::span<const float>(all).first(c.before));
    buffer->append(std::span<const float>(all).subspan(c.before));
    std::vector<float> held(c.after), more(1);
    EXPECT_TRUE(buffer->take(held) && !buffer->take(more) &&
                held == std::vector<float>(all.end() - c.after, all.end())) << "row " << &c - cases;
  }
}

// Capture and playback on two threads, in blocks of different sizes wrapping the ring anywhere and
// below the trim: playback finds every buffer appended, each sample once and in order.
TEST(InputCallback, EverySampleArrivesOnceAndInOrderAcrossThreads) {
  constexpr std::size_t kLimit = 100, kIn = 47, kOut = 60, kBuffers = 15000;  // samples stay below kMaxCapturedSample
  auto buffer = make_input_buffer(kLimit);
  std::atomic<std::size_t> sent{0}, taken{0};
  std::jthread capture([&](std::stop_token stop) {
    std::vector<float> block(kIn);
    for (std::size_t n = 0; n < kOut * kBuffers; sent = n += kIn) {
      while (n + kIn > taken * kOut + 3 * kLimit && !stop.stop_requested()) std::this_thread::yield();
      std::iota(block.begin(), block.end(), static_cast<float>(n));
      buffer->append(block);
    }
  });
  for (std::vector<float> out(kOut); taken < kBuffers;) {
    const std::size_t ready = sent;
    const bool got = buffer->take(out);
    ASSERT_TRUE(got || ready < (taken + 1) * kOut) << "ran dry at buffer " << taken;
    for (std::size_t j = 0; got && j < kOut; ++j) ASSERT_EQ(out[j], static_cast<float>(taken * kOut + j)) << taken;
    taken += got;
  }
}

// Capture overtakes a copy at a known point on any core: the copy's first write into a protected page
// of `out` traps, and the trap handler appends as capture would (append neither locks nor calls the
// system). The handler only touches the ring, this state and the page.
InputRing* trapped_ring;
std::span<const float> lap;  // emptied once appended
std::span<float> guarded;
struct sigaction before_trap;
void append_on_trap(int, siginfo_t* info, void*) {
  const auto* at = static_cast<const float*>(info->si_addr);
  if (at < guarded.data() || at >= guarded.data() + guarded.size()) {
    sigaction(SIGSEGV, &before_trap, nullptr);  // not ours: it faults again under the previous handler
    return;
  }
  trapped_ring->append(std::exchange(lap, {}));
  mprotect(guarded.data(), guarded.size_bytes(), PROT_READ | PROT_WRITE);
}

// A ring of 3 pages held in 4 pages of slots, full, and a lap appended when the copy of all of it
// reaches its second page. One page more keeps capture a lap behind the copy, which is handed out;
// four overwrite what is left to copy, and that copy is refused: the next take hands out the newest
// samples, one unbroken run of what capture wrote.
TEST(InputCallback, ACopyThatCaptureOvertookIsNeverHandedOut) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) / sizeof(float), held = 3 * page;
  std::vector<float> written(7 * page);
  std::iota(written.begin(), written.end(), 0.0f);  // all below kMaxCapturedSample
  void* memory = mmap(nullptr, held * sizeof(float), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  const std::span<float> out(static_cast<float*>(memory), held);
  struct sigaction trap {};
  trap.sa_sigaction = append_on_trap, trap.sa_flags = SA_SIGINFO;
  ASSERT_EQ(sigaction(SIGSEGV, &trap, &before_trap), 0);
  struct { std::size_t lapped; bool refused; std::size_t first; } const cases[] = {
      {page, false, 0}, {4 * page, true, 4 * page}};
  for (const auto& c : cases) {
    InputRing ring(page);
    ring.append(std::span<const float>(written).first(held));
    trapped_ring = &ring, guarded = out.subspan(page, page);
    lap = std::span<const float>(written).subspan(held, c.lapped);
    EXPECT_EQ(mprotect(guarded.data(), guarded.size_bytes(), PROT_READ), 0);
    const bool taken = ring.take(out);
    EXPECT_EQ(taken, !c.refused) << "row " << &c - cases;
    EXPECT_TRUE(lap.empty()) << "row " << &c - cases;  // the lap landed inside the copy
    if (!taken) {
      EXPECT_EQ(std::count(out.begin(), out.end(), 0.0f), std::ssize(out)) << "row " << &c - cases;
      EXPECT_TRUE(ring.take(out)) << "row " << &c - cases;
    }
    // What was handed out starts where expected and runs unbroken: it breaks nowhere before the end.
    const auto breaks = std::ranges::adjacent_find(out, [](float a, float b) { return b != a + 1; });
    EXPECT_EQ(out[0], static_cast<float>(c.first)) << "row " << &c - cases;
    EXPECT_EQ(breaks - out.begin(), std::ssize(out)) << "row " << &c - cases;
  }
  sigaction(SIGSEGV, &before_trap, nullptr);
  munmap(memory, held * sizeof(float));
}

}  // namespace
}  // namespace velmora
