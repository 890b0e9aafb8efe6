#include "audio/alsa.hpp"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <numbers>
#include <thread>

#include "audio/engine.hpp"
#include "test_support.hpp"

namespace velmora::audio {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const StreamConfig kConfig{2, 48000, 512};

// The threads of this process named "cpal_alsa_…", with the nanoseconds each has run for.
std::map<std::string, long long> alsa_workers() {
  std::map<std::string, long long> out;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    if (name.rfind("cpal_alsa_", 0) == 0) std::ifstream(task.path() / "schedstat") >> out[name];
  }
  return out;
}

// Waits for what a worker brings about; the deadline only keeps a broken build from hanging.
template <class F>
bool eventually(F done) {
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(10ms);
  return done();
}

// Real ALSA without a sound card: file-plugin PCMs over "null" in a temporary HOME. A pump feeds a
// 0.5 sine of 440 Hz to "velmora_in" and drains "velmora_out" at 48 kHz, pacing the workers as a
// card would; "velmora_dead" writes into a pipe whose reader has gone, "velmora_ended" captures
// from an ended file, "velmora_broken" is a missing card, and "default" pairs in and out.
class AlsaSandbox {
 public:
  // The pump runs until stop_pump.
  AlsaSandbox() {
    char tmpl[] = "/tmp/velmora-alsa-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    if (const char* home = std::getenv("HOME")) old_home_ = home;
    ::setenv("HOME", dir_.c_str(), 1);
    const std::string d = dir_.string(), in_path = d + "/in.fifo", out_path = d + "/out.fifo";
    ::mkfifo(in_path.c_str(), 0600), ::mkfifo(out_path.c_str(), 0600);
    // Holding both ends keeps the plugin's opens from blocking and its reads and writes paced.
    in_ = ::open(in_path.c_str(), O_RDWR | O_NONBLOCK);
    out_ = ::open(out_path.c_str(), O_RDWR | O_NONBLOCK);
    std::ofstream(dir_ / "ended.raw");
    const std::string file = "{ type file slave.pcm \"null\" format \"raw\" file ";
    std::ofstream rc(dir_ / ".asoundrc");
    rc << "pcm.velmora_in " << file << "\"/dev/null\" infile \"" << in_path << "\" }\n";
    rc << "pcm.velmora_out " << file << '"' << out_path << "\" }\n";
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
    ::close(in_), ::close(out_);
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

 private:
  void pump() {
    constexpr long kFrames = 512;  // one write of 4096 bytes, atomic on a pipe
    constexpr double step = 2 * std::numbers::pi * 440.0 / 48000.0;
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<float> chunk(2 * kFrames);
    std::vector<char> got(65536);
    for (long fed = 0; !stop_; std::this_thread::sleep_for(2ms)) {  // frames fed
      const std::chrono::duration<double> since = std::chrono::steady_clock::now() - t0;
      const auto due = static_cast<long>(since.count() * 48000);
      for (; fed + kFrames <= due; fed += kFrames) {
        for (long i = 0; i < 2 * kFrames; ++i) chunk[i] = 0.5f * static_cast<float>(std::sin(step * (fed + i / 2)));
        if (::write(in_, chunk.data(), chunk.size() * sizeof(float)) <= 0) break;
      }
      const auto due_bytes = static_cast<std::size_t>(due) * 2 * sizeof(float);
      for (ssize_t n = 1; n > 0 && bytes_.size() < due_bytes;) {
        n = ::read(out_, got.data(), std::min(got.size(), due_bytes - bytes_.size()));
        if (n > 0) bytes_.insert(bytes_.end(), got.begin(), got.begin() + n);
      }
    }
  }

  std::filesystem::path dir_;
  std::string old_home_;
  int in_ = -1, out_ = -1;
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

// A device that fails as the test says while the worker runs.
struct FakeDriver final : PcmDriver {
  std::atomic<int> failures{0}, failure{-EIO};  // the next `failures` transfers fail with `failure`
  std::atomic<bool> present{true};              // false: every call and every open fails as unplugged
  std::atomic<int> opens{0}, minutes_skipped{0};
  std::atomic<long> frames{0};  // moved by successful transfers
  const bool input;             // every open asks for "fake" this way, 2 channels at 48 kHz, 512 frames

  explicit FakeDriver(bool input) : input(input) {}

  // A PCM that a timer makes ready a whole buffer at a time, as fast as its rate fills one.
  struct FakePcm final : Pcm {
    FakePcm(FakeDriver& d, const StreamConfig& c) : d(d), buffer(c.buffer_size) {
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
    void unpause() noexcept override {}
    long transfer(std::size_t frames) {
      if (!d.present) return -ENODEV;
      if (d.failures > 0) return --d.failures, d.failure.load();
      d.frames += static_cast<long>(frames);
      return static_cast<long>(frames);
    }

    FakeDriver& d;
    std::size_t buffer;
    pollfd fd{timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), POLLIN, 0};
  };

  Result<std::unique_ptr<Pcm>> open(const std::string& name, bool capture, const StreamConfig& c) override {
    EXPECT_TRUE(name == "fake" && c.channels == 2 && c.sample_rate == 48000 && c.buffer_size == 512 && capture == input);
    ++opens;
    if (!present) return Error{name + ": snd_pcm_open: No such device"};
    return std::unique_ptr<Pcm>(std::make_unique<FakePcm>(*this, c));
  }
  std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::now() + std::chrono::minutes(minutes_skipped);
  }
};

// How the device fails (the next `failures` transfers with `error`, or unplugged) and the events
// that follow; only an unplugged device is opened again, backing off from 10 ms doubling up to 1 s,
// with a reminder once a minute at most however long the gap.
TEST(Recovery, StreamComesBackByItselfAfterEachFault) {
  const std::string away = " min: fake: snd_pcm_open: No such device";
  const struct { int error, failures; bool unplugged; Lines events; } cases[] = {
      {-EPIPE, 1, false, {}},                                  // an xrun, recovered quietly
      {-EIO, 3, false, {"error Input/output error", "back"}},  // three failures in a row are one fault
      {0, 3, false, {"error No data available", "back"}},      // ready, yet moving nothing: a source that has ended
      {0, 0, true, {"error No such device", "down 1" + away, "down 3" + away, "back"}}};
  for (const auto& c : cases) {
    for (bool capture : {true, false}) {
      FakeDriver driver(capture);
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
        driver.minutes_skipped = 1;
        ASSERT_TRUE(eventually([&] { return events.lines().size() == 2; }));
        driver.minutes_skipped = 3;
        ASSERT_TRUE(eventually([&] { return events.lines().size() == 3; }));
        driver.present = true;
      }
      const long from = driver.frames;  // well past the quarter second that counts as back
      ASSERT_TRUE(eventually([&] { return driver.failures == 0 && driver.frames > from + 24000; }));
      stream.value().reset();
      EXPECT_EQ(events.lines(), c.events) << row;
      EXPECT_EQ(driver.opens > 1, c.unplugged) << row;
    }
  }
}

// Listed are the hinted PCMs that open, "null" skipped; unhinted names open too, and libasound's
// complaints go to the debug log. A dead pipe fails every write and an ended file reads at once for
// ever: each is one error line, the workers retry without a busy loop, and SIGPIPE is harmless.
TEST(AlsaHost, ListsDevicesThatOpenAndReportsADeadPipeAndAnEndedCaptureOnce) {
  AlsaSandbox sandbox;
  test::LogCapture log{"velmora::audio::alsa=debug"};
  auto host = default_host();
  const DeviceList inputs = host->input_devices().value(), outputs = host->output_devices().value();
  for (const DeviceList* listed : {&inputs, &outputs}) {
    Lines names;
    for (const auto& d : *listed) names.push_back(d->name().value());
    ASSERT_EQ(names, (Lines{"velmora_in", "velmora_out", "velmora_dead", "velmora_ended", "default"}));
  }
  EXPECT_TRUE(host->named_device("plug:velmora_out", false).ok());
  EXPECT_EQ(host->named_device("velmora_broken", true).error().rfind("velmora_broken: snd_pcm_open: ", 0), 0u);
  EXPECT_FALSE(log.text().empty());

  Events dead, ended;
  auto playback = outputs[2]->build_output_stream(
      kConfig, [](std::span<float> out) { std::fill(out.begin(), out.end(), 0.25f); }, dead.callback());
  std::atomic<std::size_t> repeated{0};  // samples handed on after the source ended
  auto capture = inputs[3]->build_input_stream(
      kConfig, [&](std::span<const float> b) { repeated += ended.lines().empty() ? 0 : b.size(); }, ended.callback());
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
