#include "audio/alsa.hpp"

#include <gtest/gtest.h>
#include <sys/timerfd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "audio/alsa_sandbox.hpp"
#include "audio/engine.hpp"
#include "test_support.hpp"

namespace velmora::audio {
namespace {

using namespace velmora::testing;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const StreamConfig kConfig{2, 48000, 512};

// Lines that a worker adds while the test reads them.
struct SafeLines {
  std::mutex m;
  Lines seen;

  void add(std::string line) {
    std::lock_guard lock(m);
    seen.push_back(std::move(line));
  }
  Lines lines() {
    std::lock_guard lock(m);
    return seen;
  }
  // A stream's events as "error <text>", "down <n> min: <text>" and "back".
  EventCallback events() {
    return [this](const StreamEvent& e) {
      using K = StreamEvent::Kind;
      const std::string text(e.text);
      add(e.kind == K::Error       ? "error " + text
          : e.kind == K::Recovered ? "back"
                                   : "down " + std::to_string(e.down.count()) + " min: " + text);
    };
  }
};

// A device that fails as the test says while the worker runs.
struct FakeDriver final : PcmDriver {
  std::atomic<int> failures{0}, failure{-EIO};  // the next `failures` transfers fail with `failure`
  std::atomic<bool> present{true};              // false: every call and every open fails as unplugged
  std::atomic<int> opens{0}, minutes_skipped{0};
  std::atomic<long> frames{0};  // moved by successful transfers
  SafeLines opened;             // "<name> capture|playback <channels> <rate> <buffer frames>"

  // A PCM that a timer makes ready a whole buffer at a time, as fast as its rate fills one.
  struct FakePcm final : Pcm {
    FakePcm(FakeDriver& s, const StreamConfig& c) : s(s), buffer(c.buffer_size) {
      const long ns = 1'000'000'000L * c.buffer_size / c.sample_rate;
      const itimerspec every{{0, ns}, {0, ns}};
      timerfd_settime(fd.fd, 0, &every, nullptr);
    }
    ~FakePcm() override { ::close(fd.fd); }

    std::size_t buffer_frames() const noexcept override { return buffer; }
    std::size_t period_frames() const noexcept override { return buffer / 4; }
    std::span<const pollfd> descriptors() const noexcept override { return {&fd, 1}; }
    int revents(std::span<pollfd>, unsigned short& events) noexcept override {
      std::uint64_t ticks = 0;
      (void)!::read(fd.fd, &ticks, sizeof ticks);
      events = s.present ? POLLIN | POLLOUT : POLLERR;
      return 0;
    }
    int state_error() noexcept override { return s.present ? -EIO : -ENODEV; }
    long avail() noexcept override { return s.present ? static_cast<long>(buffer) : -ENODEV; }
    long read(float*, std::size_t frames) noexcept override { return transfer(frames); }
    long write(const float*, std::size_t frames) noexcept override { return transfer(frames); }
    int recover(int) noexcept override { return s.present ? 0 : -ENODEV; }
    int prepare() noexcept override { return s.present ? 0 : -ENODEV; }
    int start() noexcept override { return s.present ? 0 : -ENODEV; }
    void unpause() noexcept override {}
    long transfer(std::size_t frames) {
      if (!s.present) return -ENODEV;
      if (s.failures > 0) return --s.failures, s.failure.load();
      s.frames += static_cast<long>(frames);
      return static_cast<long>(frames);
    }

    FakeDriver& s;
    std::size_t buffer;
    pollfd fd{timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), POLLIN, 0};
  };

  Result<std::unique_ptr<Pcm>> open(const std::string& name, bool capture, const StreamConfig& c) override {
    opened.add(name + (capture ? " capture " : " playback ") + std::to_string(c.channels) + " " +
               std::to_string(c.sample_rate) + " " + std::to_string(c.buffer_size));
    ++opens;
    if (!present) return Error{name + ": snd_pcm_open: No such device"};
    return std::unique_ptr<Pcm>(std::make_unique<FakePcm>(*this, c));
  }
  std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::now() + std::chrono::minutes(minutes_skipped);
  }
};

// A stream of the real worker on a fake device, moving audio.
struct FakeStream {
  explicit FakeStream(bool capture) {
    auto built = capture ? build_input_stream(driver, "fake", kConfig, [](std::span<const float>) {}, events.events())
                         : build_output_stream(driver, "fake", kConfig, [](std::span<float>) {}, events.events());
    EXPECT_TRUE(built.ok() && eventually([&] { return driver.frames > 0; })) << built.error();
    stream = std::move(built).value();
  }

  FakeDriver driver;
  SafeLines events;
  std::unique_ptr<Stream> stream;
};

// How the device fails (the next `failures` transfers with `error`, or unplugged until three opens
// have failed) and the events that follow; only an unplugged device is opened again.
TEST(Recovery, StreamComesBackByItselfAfterEachFault) {
  const struct { int error, failures; bool unplugged; Lines events; } cases[] = {
      {-EPIPE, 1, false, {}},                                   // an xrun, recovered quietly
      {-EIO, 3, false, {"error Input/output error", "back"}},   // three failures in a row are one fault
      {0, 3, false, {"error No data available", "back"}},       // ready, yet moving nothing: a source that has ended
      {0, 0, true, {"error No such device", "back"}}};
  for (const auto& c : cases) {
    for (bool capture : {true, false}) {
      FakeStream s(capture);
      s.driver.failure = c.error;
      s.driver.failures = c.failures;
      if (c.unplugged) {
        s.driver.present = false;
        ASSERT_TRUE(eventually([&] { return s.driver.opens >= 4; }));
        s.driver.present = true;
      }
      const long from = s.driver.frames;  // well past the quarter second that counts as back
      ASSERT_TRUE(eventually([&] { return s.driver.failures == 0 && s.driver.frames > from + 24000; }));
      s.stream.reset();
      const std::string row = "row " + std::to_string(&c - cases) + (capture ? " capture" : " playback");
      EXPECT_EQ(s.events.lines(), c.events) << row;
      const Lines opened = s.driver.opened.lines();
      EXPECT_EQ(opened.size() > 1, c.unplugged) << row;
      EXPECT_EQ(opened, Lines(opened.size(), capture ? "fake capture 2 48000 512" : "fake playback 2 48000 512"));
    }
  }
}

TEST(Recovery, DeviceGoneForGoodCostsNoCpuAndRemindsOnceAMinute) {
  FakeStream s(false);
  auto& driver = s.driver;
  auto& events = s.events;
  driver.present = false;
  ASSERT_TRUE(eventually([&] { return !events.lines().empty(); }));
  const long long cpu = alsa_workers().at("cpal_alsa_out");
  const int opens = driver.opens;
  std::this_thread::sleep_for(2s);
  const long long used = alsa_workers().at("cpal_alsa_out") - cpu;
  EXPECT_LT(used, 5'000'000) << used << " ns";  // 0.25 % of a core
  EXPECT_LE(driver.opens - opens, 10);           // backing off: 10 ms doubling up to 1 s

  const std::string away = "fake: snd_pcm_open: No such device";
  driver.minutes_skipped = 1;
  ASSERT_TRUE(eventually([&] { return events.lines().size() == 2; }));
  driver.minutes_skipped = 3;  // at most one reminder however long the gap
  ASSERT_TRUE(eventually([&] { return events.lines().size() == 3; }));
  EXPECT_EQ(events.lines(), (Lines{"error No such device", "down 1 min: " + away, "down 3 min: " + away}));

  // Dropped right after an attempt, the worker leaves its one-second wait at once.
  const int before = driver.opens;
  ASSERT_TRUE(eventually([&] { return driver.opens > before; }));
  const auto t0 = std::chrono::steady_clock::now();
  s.stream.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
  EXPECT_TRUE(workers_gone());
}

Lines names(const DeviceList& listed) {
  Lines out;
  for (const auto& d : listed) out.push_back(d->name().value());
  return out;
}

// "null" is skipped and the missing card opens in neither direction; names the hints leave out
// open too. A pipe whose reader is gone fails every write, and a capture file that has ended reads
// at once for ever: each is one error line, the workers keep retrying without a busy loop, and
// SIGPIPE does not end the process.
TEST(AlsaHost, ListsDevicesThatOpenAndReportsADeadPipeAndAnEndedCaptureOnce) {
  AlsaSandbox sandbox(true);
  auto host = default_host();
  const Lines listed{"velmora_in", "velmora_out", "velmora_dead", "velmora_ended", "default"};
  const DeviceList inputs = host->input_devices().value(), outputs = host->output_devices().value();
  EXPECT_EQ(names(inputs), listed);
  ASSERT_EQ(names(outputs), listed);
  EXPECT_EQ(host->default_input_device()->name().value(), "default");
  EXPECT_EQ(host->default_output_device()->name().value(), "default");
  EXPECT_TRUE(host->named_device("plug:velmora_out", false).ok());
  EXPECT_EQ(host->named_device("velmora_broken", true).error().rfind("velmora_broken: snd_pcm_open: ", 0), 0u);

  SafeLines dead, ended;
  auto playback = outputs[2]->build_output_stream(
      kConfig, [](std::span<float> out) { std::fill(out.begin(), out.end(), 0.25f); }, dead.events());
  std::atomic<std::size_t> repeated{0};  // samples handed on after the source ended
  auto capture = inputs[3]->build_input_stream(
      kConfig, [&](std::span<const float> b) { repeated += ended.lines().empty() ? 0 : b.size(); }, ended.events());
  ASSERT_TRUE(playback.ok()) << playback.error();
  ASSERT_TRUE(capture.ok()) << capture.error();
  EXPECT_TRUE(playback.value()->play().ok());
  ASSERT_TRUE(eventually([&] { return !dead.lines().empty() && !ended.lines().empty(); }));
  const auto cpu = alsa_workers();
  std::this_thread::sleep_for(1s);
  for (const auto& [name, ns] : alsa_workers()) EXPECT_LT(ns - cpu.at(name), 10'000'000) << name;  // 1 % of a core
  EXPECT_EQ(dead.lines(), Lines{"error Input/output error"});
  EXPECT_EQ(ended.lines(), Lines{"error No data available"});
  EXPECT_EQ(repeated, 0u);
  playback.value().reset(), capture.value().reset();
  EXPECT_TRUE(workers_gone());
}

float peak(std::span<const float> v) {
  float p = 0.0f;
  for (float s : v) p = std::max(p, std::abs(s));
  return p;
}

// The engine on the sandbox devices: the capture comes out processed within the limiter's ceiling
// at its default -0.3 dB, and the meters move. The playback FIFO then loses its reader for a
// while: one error line, and the stream comes back by itself and says so once. Last, the window
// edits the settings and flips the flags while the workers run. Without any device, start fails
// and leaves no worker.
TEST(AlsaEngine, ProcessesTheCaptureComesBackWhenItsReaderReturnsAndTakesConcurrentEdits) {
  test::LogCapture log{"velmora::audio::engine=info"};
  SharedConfig config = make_shared_config({});
  auto shared = SharedState::create();
  std::vector<float> out;
  float in_meter = 0.0f, out_meter = 0.0f, band_meter = 0.0f;
  std::size_t back_at = 0;  // bytes played when the reader returned
  {
    AlsaSandbox sandbox(true);
    config->with([](ProcessorConfig& c) { c.input_device = "velmora_in", c.output_device = "velmora_out"; });
    auto started = AudioEngine::start(config, shared);
    ASSERT_TRUE(started.ok()) << started.error();
    EXPECT_EQ(alsa_workers().size(), 2u);
    for (int i = 0; i < 1000 && (back_at == 0 || sandbox.received() < back_at + 48000 * 2 * sizeof(float)); ++i) {
      std::this_thread::sleep_for(10ms);  // till a second of audio after the return
      in_meter = std::max(in_meter, shared->in_l.load());
      out_meter = std::max(out_meter, shared->out_r.load());
      for (const auto& band : shared->band_meters) band_meter = std::max(band_meter, band.level.load());
      if (i == 30) sandbox.listen(false);
      if (i == 60) sandbox.listen(true), back_at = sandbox.received();
    }
    for (int i = 0; i < 400; ++i) {
      std::this_thread::sleep_for(1500us);
      config->with([i](ProcessorConfig& c) { c.num_bands = 2 + i % 5u, c.input_gain_db = static_cast<float>(i % 7); });
      shared->params_dirty.store(true);
      shared->bypass.store(i % 3 == 0);
    }
    { AudioEngine engine = std::move(started).value(); }
    EXPECT_TRUE(workers_gone());
    out = sandbox.stop_pump();
  }
  ASSERT_GT(back_at, 0u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return std::isfinite(s); }));
  EXPECT_LE(peak(out), std::pow(10.0f, -0.3f / 20.0f) + 1e-4f);
  const auto loud = std::count_if(out.begin(), out.end(), [](float s) { return std::abs(s) > 0.01f; });
  EXPECT_GT(loud, static_cast<long>(out.size() / 10));
  EXPECT_GT(std::abs(peak(out) - AlsaSandbox::kAmplitude), 0.05f) << "the input came out unprocessed";
  ASSERT_GT(out.size(), back_at / sizeof(float) + 48000);
  EXPECT_GT(peak(std::span<const float>(out).subspan(back_at / sizeof(float) + 43200, 4800)), 0.1f)
      << "no sound after the return";
  EXPECT_GT(in_meter, 0.25f);  // mean |x| of a 0.5 sine is 0.318
  EXPECT_TRUE(out_meter > 0.01f && band_meter > 0.01f);
  EXPECT_EQ(log.lines(), (Lines{"INFO Entrada:  velmora_in", "INFO Salida:   velmora_out",
                                "INFO AudioEngine activo — 5 bandas @ 48000 Hz", "ERROR Error salida CPAL: Input/output error",
                                "INFO Stream de salida recuperado", "INFO AudioEngine detenido"}));

  AlsaSandbox none(false);  // no card and no .asoundrc
  config->with([](ProcessorConfig& c) { c.input_device = c.output_device = ""; });
  auto started = AudioEngine::start(config, shared);
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error().rfind("default: snd_pcm_open: ", 0), 0u) << started.error();
  EXPECT_TRUE(workers_gone());
}

}  // namespace
}  // namespace velmora::audio
