#include "audio/alsa.hpp"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <fstream>
#include <map>
#include <mutex>
#include <numbers>
#include <optional>
#include <thread>

#include "audio/engine.hpp"
#include "test_support.hpp"

namespace velmora::audio {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const StreamConfig kConfig{2, 48000, 512};

// The threads of this process named "cpal_alsa_…", with what `field` of each one's task folder
// begins with: "schedstat" the nanoseconds it has run for, "syscall" the call it waits in.
std::map<std::string, long long> alsa_workers(const char* field = "schedstat") {
  std::map<std::string, long long> out;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    if (name.rfind("cpal_alsa_", 0) == 0) std::ifstream(task.path() / field) >> out[name];
  }
  return out;
}

// What a worker that waits between retries may run for in a second: 1 % of a core. Instrumented code
// runs several times slower, so a sanitizer build gets ten times that, still a tenth of a busy loop.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr long long kIdleNsPerSecond = 100'000'000;
#else
constexpr long long kIdleNsPerSecond = 10'000'000;
#endif

// Waits for what a worker brings about; the deadline only keeps a broken build from hanging.
template <class F>
bool eventually(F done) {
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(10ms);
  return done();
}

// Real ALSA without a sound card: file-plugin PCMs over "null" in a temporary HOME. A pump feeds a
// 0.5 sine of 440 Hz to "velmora_in" and drains "velmora_out" at 48 kHz, each FIFO holding one
// buffer, as a card would pace the workers; "velmora_stuck" writes into a FIFO nobody drains,
// "velmora_dead" into a pipe whose reader has gone, "velmora_ended" captures from an ended file,
// "velmora_broken" is a missing card, and "default" pairs in and out.
class AlsaSandbox {
 public:
  static constexpr long kFrames = 512;  // one buffer: one write of 4096 bytes, atomic on a pipe
  static constexpr int kBytes = kFrames * 2 * sizeof(float);

  // The pump runs until stop_pump.
  AlsaSandbox() {
    char tmpl[] = "/tmp/velmora-alsa-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    if (const char* home = std::getenv("HOME")) old_home_ = home;
    ::setenv("HOME", dir_.c_str(), 1);
    const std::string d = dir_.string();
    // Holding both ends keeps the plugin's opens from blocking and its reads and writes paced.
    for (auto [fd, name] : {std::pair{&in_, "/in.fifo"}, {&out_, "/out.fifo"}, {&stuck_, "/stuck.fifo"}}) {
      ::mkfifo((d + name).c_str(), 0600);
      *fd = ::open((d + name).c_str(), O_RDWR | O_NONBLOCK);
      ::fcntl(*fd, F_SETPIPE_SZ, kBytes);
    }
    std::ofstream(dir_ / "ended.raw");
    const std::string file = "{ type file slave.pcm \"null\" format \"raw\" file ";
    std::ofstream rc(dir_ / ".asoundrc");
    rc << "pcm.velmora_in " << file << "\"/dev/null\" infile \"" << d << "/in.fifo\" }\n";
    rc << "pcm.velmora_out " << file << '"' << d << "/out.fifo\" }\n";
    rc << "pcm.velmora_stuck " << file << '"' << d << "/stuck.fifo\" }\n";
    rc << "pcm.velmora_dead " << file << "\"|true\" }\n";
    rc << "pcm.velmora_ended " << file << "\"/dev/null\" infile \"" << d << "/ended.raw\" }\n";
    rc << "pcm.velmora_broken { type hw card 7 }\n";
    rc << "pcm.!default { type asym capture.pcm \"velmora_in\" playback.pcm \"velmora_out\" }\n";
    rc.close();
    snd_config_update_free_global();  // libasound re-reads the configuration under the new HOME
    pump_ = std::thread([this] { pump(); });
  }

  ~AlsaSandbox() {
    stop_pump();
    ::close(in_), ::close(out_), ::close(stuck_);
    if (old_home_.empty()) ::unsetenv("HOME"); else ::setenv("HOME", old_home_.c_str(), 1);
    snd_config_update_free_global();
    std::filesystem::remove_all(dir_);
  }

  // What velmora_out played; call it once its stream is dropped, which may sit in a FIFO write.
  std::vector<float> stop_pump() {
    stop_ = true;
    if (pump_.joinable()) pump_.join();
    std::vector<float> samples(bytes_.size() / sizeof(float));
    // memcpy with the null data of empty vectors is undefined, even for zero bytes.
    if (!samples.empty()) std::memcpy(samples.data(), bytes_.data(), samples.size() * sizeof(float));
    return samples;
  }

  // The bytes waiting in velmora_stuck's FIFO; drain() empties it.
  int stuck_bytes() const { return queued(stuck_); }
  void drain_stuck() const {
    char sink[kBytes];
    while (::read(stuck_, sink, sizeof sink) > 0) {
    }
  }

 private:
  static int queued(int fd) {
    int n = 0;
    ::ioctl(fd, FIONREAD, &n);
    return n;
  }

  // A card's clock for each FIFO, from the moment its stream first moves a frame: capture frames
  // are written as they fall due and at most one buffer ahead, playback is drained as due. What a
  // late reader or a late pump leaves undone is lost, as on a card, never made up in a burst.
  void pump() {
    constexpr double step = 2 * std::numbers::pi * 440.0 / 48000.0;
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> reading, playing;
    const auto due = [](Clock::time_point since) {
      return static_cast<long>(std::chrono::duration<double>(Clock::now() - since).count() * 48000);
    };
    std::vector<float> chunk(2 * kFrames);
    long fed = 0, drained = 0;  // frames
    for (; !stop_; std::this_thread::sleep_for(2ms)) {
      if (!reading && fed > 0 && queued(in_) < kBytes) reading = Clock::now();
      const long feed_to = reading ? due(*reading) + kFrames : kFrames;
      for (fed = std::max(fed, feed_to - kFrames); fed + kFrames <= feed_to; fed += kFrames) {
        for (long i = 0; i < 2 * kFrames; ++i) chunk[i] = 0.5f * static_cast<float>(std::sin(step * (fed + i / 2)));
        (void)!::write(in_, chunk.data(), kBytes);  // a full FIFO drops it, as an overrun would
      }
      if (!playing && queued(out_) > 0) playing = Clock::now();
      if (!playing) continue;
      const long drain_to = due(*playing);
      drained = std::max(drained, drain_to - kFrames);
      for (ssize_t n = 1; n > 0 && drained < drain_to;) {
        const std::size_t room = bytes_.size();
        bytes_.resize(room + static_cast<std::size_t>(drain_to - drained) * 2 * sizeof(float));
        n = ::read(out_, bytes_.data() + room, bytes_.size() - room);
        bytes_.resize(room + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        drained += std::max<ssize_t>(n, 0) / static_cast<ssize_t>(2 * sizeof(float));
      }
    }
  }

  std::filesystem::path dir_;
  std::string old_home_;
  int in_ = -1, out_ = -1, stuck_ = -1;
  std::thread pump_;
  std::atomic<bool> stop_{false};
  std::vector<char> bytes_;
};

// A stream's events as "error <text>", "down <n> min: <text>" and "back", added by its worker.
struct Events {
  std::mutex m;
  Lines seen;

  Lines lines() {
    std::lock_guard lock(m);
    return seen;
  }
  EventCallback callback() {
    return [this](const StreamEvent& e) {
      using K = StreamEvent::Kind;
      const std::string text(e.text);
      std::lock_guard lock(m);
      seen.push_back(e.kind == K::Error       ? "error " + text
                     : e.kind == K::Recovered ? "back"
                                              : "down " + std::to_string(e.down.count()) + " min: " + text);
    };
  }
};

// How a fake PCM is ready: at each tick of a timer running at the buffer rate; or at once, for
// ever, with no time passing on the driver's clock; or at once with each block coming after a
// stall as long as itself there, as a card delivering its whole buffer in one burst.
enum class Source { Paced, Clockless, Bursting };

// A device that fails as the test says while the worker runs.
struct FakeDriver final : PcmDriver {
  std::atomic<int> failures{0}, failure{-EIO};  // the next `failures` transfers fail with `failure`
  std::atomic<bool> present{true};              // false: every call and every open fails as unplugged
  std::atomic<int> opens{0}, closes{0};
  std::atomic<long> frames{0};  // moved by successful transfers
  std::atomic<long long> skipped_ns{0};  // how far the driver's clock runs ahead of the real one
  std::atomic<bool> hold{false};         // true: transfers wait until it is cleared, as on a stalled pipe
  std::atomic<int> holding{0};           // transfers waiting now
  const bool input;             // every open asks for "fake" this way, 2 channels at 48 kHz, 512 frames
  const Source source;

  FakeDriver(bool input, Source source) : input(input), source(source) {}

  struct FakePcm final : Pcm {
    FakePcm(FakeDriver& d, const StreamConfig& c) : d(d), buffer(c.buffer_size) {
      const long ns = 1'000'000'000L * c.buffer_size / c.sample_rate;
      const itimerspec every{{0, ns}, {0, ns}};
      timerfd_settime(fd.fd, 0, &every, nullptr);
    }
    ~FakePcm() override {
      ::close(fd.fd);
      ++d.closes;  // after the worker's last use of the driver
    }

    std::size_t buffer_frames() const noexcept override { return buffer; }
    std::size_t period_frames() const noexcept override { return buffer / 4; }
    std::span<const pollfd> descriptors() const noexcept override { return {&fd, 1}; }
    int revents(std::span<pollfd>, unsigned short& events) noexcept override {
      std::uint64_t ticks = 0;
      if (d.source == Source::Paced) (void)!::read(fd.fd, &ticks, sizeof ticks);
      events = d.present ? POLLIN | POLLOUT : POLLERR;
      return 0;
    }
    int state_error() noexcept override { return d.present ? -EIO : -ENODEV; }
    long avail() noexcept override { return d.present ? static_cast<long>(buffer) : -ENODEV; }
    long read(float*, std::size_t frames) noexcept override { return transfer(frames); }
    long write(const float*, std::size_t frames) noexcept override { return transfer(frames); }
    int recover(int) noexcept override { return d.present ? 0 : -ENODEV; }
    int prepare() noexcept override { return d.present ? 0 : -ENODEV; }
    int start() noexcept override { return d.present ? 0 : -ENODEV; }
    long transfer(std::size_t frames) {
      if (d.hold) {
        ++d.holding;
        d.hold.wait(true);
        --d.holding;
      }
      if (!d.present) return -ENODEV;
      if (d.failures > 0) return --d.failures, d.failure.load();
      if (d.source == Source::Bursting) d.skipped_ns += 1'000'000'000LL * static_cast<long long>(frames) / 48000;
      d.frames += static_cast<long>(frames);
      return static_cast<long>(frames);
    }

    FakeDriver& d;
    std::size_t buffer;
    // Never read when the source is not paced: the timer's first tick leaves it ready for good.
    pollfd fd{timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), POLLIN, 0};
  };

  Result<std::unique_ptr<Pcm>> open(const std::string& name, bool capture, const StreamConfig& c) override {
    EXPECT_TRUE(name == "fake" && c.channels == 2 && c.sample_rate == 48000 && c.buffer_size == 512 && capture == input);
    ++opens;
    if (!present) return Error{name + ": snd_pcm_open: No such device"};
    return std::unique_ptr<Pcm>(std::make_unique<FakePcm>(*this, c));
  }
  std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::now() + std::chrono::nanoseconds(skipped_ns);
  }
};

// How the device fails (the next `failures` transfers with `error`, or unplugged) and the events
// that follow; only an unplugged device is opened again, backing off from 10 ms doubling up to 1 s,
// with a reminder once a minute at most however long the gap. A capture source faster than its
// clock allows has ended, whatever the machine's load: playback has no such check.
TEST(Recovery, StreamComesBackByItselfAfterEachFault) {
  const std::string away = " min: fake: snd_pcm_open: No such device";
  const struct { int error, failures; bool unplugged; Source source; Lines events; bool capture_only; } cases[] = {
      {-EPIPE, 1, false, Source::Paced, {}, false},                                  // an xrun, recovered quietly
      {-EIO, 3, false, Source::Paced, {"error Input/output error", "back"}, false},  // three in a row: one fault
      {0, 3, false, Source::Paced, {"error No data available", "back"}, false},      // ready, yet moving nothing
      {0, 0, true, Source::Paced, {"error No such device", "down 1" + away, "down 3" + away, "back"}, false},
      {0, 0, false, Source::Clockless, {"error No data available"}, true},
      {0, 0, false, Source::Bursting, {}, false}};
  for (const auto& c : cases) {
    for (bool capture : {true, false}) {
      FakeDriver driver(capture, c.source);
      Events events;
      auto stream = capture ? build_input_stream(driver, "fake", kConfig, [](std::span<const float>) {}, events.callback())
                            : build_output_stream(driver, "fake", kConfig, [](std::span<float>) {}, events.callback());
      ASSERT_TRUE(stream.ok()) << stream.error();
      ASSERT_TRUE(eventually([&] { return driver.frames > 0; }));
      driver.failure = c.error;
      driver.failures = c.failures;
      const std::string row = "row " + std::to_string(&c - cases) + (capture ? " capture" : " playback");
      if (c.unplugged) {
        driver.present = false;
        ASSERT_TRUE(eventually([&] { return driver.opens >= 4; }));
        const int opens = driver.opens;
        std::this_thread::sleep_for(2s);
        EXPECT_LE(driver.opens - opens, 10) << row;
        driver.skipped_ns = std::chrono::nanoseconds(1min).count();
        ASSERT_TRUE(eventually([&] { return events.lines().size() == 2; }));
        driver.skipped_ns = std::chrono::nanoseconds(3min).count();
        ASSERT_TRUE(eventually([&] { return events.lines().size() == 3; }));
        driver.present = true;
      }
      const long from = driver.frames;  // well past the quarter second that counts as back
      ASSERT_TRUE(eventually([&] { return driver.failures == 0 && driver.frames > from + 24000; }));
      stream.value().reset();
      EXPECT_EQ(events.lines(), capture || !c.capture_only ? c.events : Lines{}) << row;
      EXPECT_EQ(driver.opens > 1, c.unplugged) << row;
    }
  }
}

// One device, "fake", whose streams run on the drivers' PCMs.
struct FakeLayer final : Host {
  FakeDriver &in, &out;
  FakeLayer(FakeDriver& in, FakeDriver& out) : in(in), out(out) {}
  struct Fake final : Device {
    FakeLayer& l;
    explicit Fake(FakeLayer& l) : l(l) {}
    Result<std::string> name() const override { return std::string("fake"); }
    Result<std::unique_ptr<Stream>> build_input_stream(const StreamConfig& c, CaptureCallback d, EventCallback e) override {
      return audio::build_input_stream(l.in, "fake", c, std::move(d), std::move(e));
    }
    // A capture that its device holds is held by now: a start that fails here finds its worker in the call.
    Result<std::unique_ptr<Stream>> build_output_stream(const StreamConfig& c, PlaybackCallback d, EventCallback e) override {
      EXPECT_TRUE(eventually([&] { return !l.in.hold || l.in.holding == 1; }));
      return audio::build_output_stream(l.out, "fake", c, std::move(d), std::move(e));
    }
  };
  Result<DeviceList> input_devices() override { return DeviceList{}; }
  Result<DeviceList> output_devices() override { return DeviceList{}; }
  std::unique_ptr<Device> default_input_device() override { return std::make_unique<Fake>(*this); }
  std::unique_ptr<Device> default_output_device() override { return std::make_unique<Fake>(*this); }
  Result<std::unique_ptr<Device>> named_device(const std::string&, bool) override { return Error{"unlisted"}; }
};

// A device that never lets go of its worker: dropping the engine gives up on that worker after the
// bound, names its stream, and goes on; the worker keeps what it uses until the device lets go.
TEST(AlsaEngine, DropLeavesBehindAWorkerThatItsDeviceHolds) {
  const int before = workers_left_behind();
  for (const bool capture : {true, false}) {
    FakeDriver in(true, Source::Paced), out(false, Source::Paced);
    FakeDriver& held = capture ? in : out;
    held.hold = true;
    FakeLayer layer(in, out);
    test::LogCapture log{"velmora::audio::engine=info"};
    auto started = AudioEngine::start_with(layer, make_shared_config({}), SharedState::create());
    ASSERT_TRUE(started.ok()) << started.error();
    ASSERT_TRUE(eventually([&] { return held.holding == 1; }));
    std::optional<AudioEngine> engine(std::move(started).value());
    auto dropped = std::async(std::launch::async, [&] { engine.reset(); });
    EXPECT_EQ(dropped.wait_for(3 * kStopBound), std::future_status::ready);
    held.hold = false;
    held.hold.notify_all();
    dropped.get();
    EXPECT_TRUE(eventually([&] { return held.closes == 1 && alsa_workers().empty(); }));
    EXPECT_TRUE(log.text().ends_with(std::string("INFO AudioEngine detenido; ERROR Stream de ") +
                                     (capture ? "entrada" : "salida") + " no se detuvo en 2 s: el dispositivo no lo suelta"))
        << log.text();
  }
  EXPECT_EQ(workers_left_behind() - before, 2);
}

// The same hold on capture while playback fails to open: the start gives up on the capture worker
// after the bound, names its stream and returns the playback's error.
TEST(AlsaEngine, FailedStartLeavesBehindACaptureWorkerThatItsDeviceHolds) {
  const int before = workers_left_behind();
  FakeDriver in(true, Source::Paced), out(false, Source::Paced);
  in.hold = true, out.present = false;
  FakeLayer layer(in, out);
  test::LogCapture log{"velmora::audio::engine=info"};
  auto started = std::async(std::launch::async, [&] {
    return AudioEngine::start_with(layer, make_shared_config({}), SharedState::create());
  });
  EXPECT_EQ(started.wait_for(3 * kStopBound), std::future_status::ready);
  EXPECT_EQ(workers_left_behind() - before, 1);
  in.hold = false;
  in.hold.notify_all();
  const auto result = started.get();
  EXPECT_EQ(result.ok() ? "started" : result.error(), "fake: snd_pcm_open: No such device");
  EXPECT_TRUE(log.text().ends_with("ERROR Stream de entrada no se detuvo en 2 s: el dispositivo no lo suelta"))
      << log.text();
  EXPECT_TRUE(eventually([&] { return in.closes == 1 && alsa_workers().empty(); }));
}

// Listed are the hinted PCMs that open, "null" skipped; unhinted names open too, and libasound's
// complaints go to the debug log. A dead pipe fails every write and an ended file reads at once for
// ever: each is one error line, the workers retry without a busy loop, and SIGPIPE is harmless.
// play() returns while the worker blocks in a write that holds the PCM.
TEST(AlsaHost, ListsDevicesThatOpenAndReportsADeadPipeAndAnEndedCaptureOnce) {
  AlsaSandbox sandbox;
  test::LogCapture log{"velmora::audio::alsa=debug"};
  auto host = default_host();
  const DeviceList inputs = host->input_devices().value(), outputs = host->output_devices().value();
  for (const DeviceList* listed : {&inputs, &outputs}) {
    Lines names;
    for (const auto& d : *listed) names.push_back(d->name().value());
    ASSERT_EQ(names, (Lines{"velmora_in", "velmora_out", "velmora_stuck", "velmora_dead", "velmora_ended", "default"}));
  }
  EXPECT_TRUE(host->named_device("plug:velmora_out", false).ok());
  EXPECT_EQ(host->named_device("velmora_broken", true).error().rfind("velmora_broken: snd_pcm_open: ", 0), 0u);
  EXPECT_NE(log.text().find("DEBUG "), std::string::npos);

  auto stuck = outputs[2]->build_output_stream(kConfig, [](std::span<float>) {}, [](const StreamEvent&) {});
  ASSERT_TRUE(stuck.ok()) << stuck.error();
  ASSERT_TRUE(eventually([] { return alsa_workers("syscall")["cpal_alsa_out"] == SYS_write; }));
  auto played = std::async(std::launch::async, [&] { return stuck.value()->play().ok(); });
  EXPECT_TRUE(eventually([&] { return played.wait_for(0s) == std::future_status::ready; }));
  std::atomic<bool> dropped{false};
  std::jthread drain([&] { while (!dropped) sandbox.drain_stuck(), std::this_thread::sleep_for(1ms); });
  EXPECT_TRUE(played.get());
  stuck.value().reset();
  dropped = true;

  Events dead, ended;
  auto playback = outputs[3]->build_output_stream(
      kConfig, [](std::span<float> out) { std::fill(out.begin(), out.end(), 0.25f); }, dead.callback());
  std::atomic<std::size_t> repeated{0};  // samples handed on after the source ended
  auto capture = inputs[4]->build_input_stream(
      kConfig, [&](std::span<const float> b) { repeated += ended.lines().empty() ? 0 : b.size(); }, ended.callback());
  ASSERT_TRUE(playback.ok()) << playback.error();
  ASSERT_TRUE(capture.ok()) << capture.error();
  EXPECT_TRUE(playback.value()->play().ok());
  ASSERT_TRUE(eventually([&] { return !dead.lines().empty() && !ended.lines().empty(); }));
  const auto cpu = alsa_workers();
  std::this_thread::sleep_for(1s);
  for (const auto& [name, ns] : alsa_workers()) EXPECT_LT(ns - cpu.at(name), kIdleNsPerSecond) << name;
  EXPECT_EQ(dead.lines(), Lines{"error Input/output error"});
  EXPECT_EQ(ended.lines(), Lines{"error No data available"});
  EXPECT_EQ(repeated, 0u);
  playback.value().reset(), capture.value().reset();
  EXPECT_TRUE(eventually([] { return alsa_workers().empty(); }));  // a joined thread may linger in the list
}

// The engine on the sandbox devices plays the capture processed, within the limiter's default
// ceiling of -0.3 dB and without gaps after start-up, while the window edits and flips the flags.
TEST(AlsaEngine, ProcessesTheCaptureUnderConcurrentEdits) {
  test::LogCapture log{"velmora::audio::engine=info"};
  SharedConfig config = make_shared_config({});
  config->with([](ProcessorConfig& c) { c.input_device = "velmora_in", c.output_device = "velmora_out"; });
  auto shared = SharedState::create();
  AlsaSandbox sandbox;
  auto started = AudioEngine::start(config, shared);
  ASSERT_TRUE(started.ok()) << started.error();
  EXPECT_EQ(alsa_workers().size(), 2u);
  std::this_thread::sleep_for(1s);
  for (int i = 0; i < 400; ++i) {
    std::this_thread::sleep_for(1500us);
    config->with([i](ProcessorConfig& c) { c.num_bands = 2 + i % 5u, c.input_gain_db = static_cast<float>(i % 7); });
    shared->params_dirty.store(true);
    shared->bypass.store(i % 3 == 0);
  }
  { AudioEngine engine = std::move(started).value(); }
  EXPECT_TRUE(eventually([] { return alsa_workers().empty(); }));
  const std::vector<float> out = sandbox.stop_pump();
  float peak = 0.0f;
  for (float s : out) peak = std::max(peak, std::abs(s));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
  EXPECT_LE(peak, std::pow(10.0f, -0.3f / 20.0f) + 1e-4f);
  EXPECT_GT(std::abs(peak - 0.5f), 0.05f) << "the input came out unprocessed";
  EXPECT_GT(std::count_if(out.begin(), out.end(), [](float s) { return std::abs(s) > 0.01f; }), long(out.size() / 2));
  EXPECT_EQ(log.text(), "INFO Entrada:  velmora_in; INFO Salida:   velmora_out; "
                       "INFO AudioEngine activo — 5 bandas @ 48000 Hz; INFO AudioEngine detenido");
}

}  // namespace
}  // namespace velmora::audio
