#include "audio/alsa.hpp"

#include <gtest/gtest.h>
#include <sys/timerfd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "audio/alsa_sandbox.hpp"

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
};

// A stream's events as "error <text>", "down <n> min: <text>" and "back".
struct Events : SafeLines {
  EventCallback callback() {
    return [this](const StreamEvent& e) {
      using K = StreamEvent::Kind;
      const std::string text(e.text);
      add(e.kind == K::Error       ? "error " + text
          : e.kind == K::Recovered ? "back"
                                   : "down " + std::to_string(e.down.count()) + " min: " + text);
    };
  }
};

// What the fake device does, set by the test while the worker runs.
struct Script {
  std::atomic<int> failures{0}, failure{-EIO};  // the next `failures` transfers fail with `failure`
  std::atomic<bool> present{true};              // false: every call and every open fails as unplugged
  std::atomic<int> opens{0}, minutes_skipped{0};
  std::atomic<long> frames{0};  // moved by successful transfers
  SafeLines opened;             // "<name> capture|playback <channels> <rate> <buffer frames>"
};

// A PCM that a timer makes ready a whole buffer at a time, as fast as its rate fills one.
struct FakePcm final : Pcm {
  FakePcm(Script& s, const StreamConfig& c) : s(s), buffer(c.buffer_size) {
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

  Script& s;
  std::size_t buffer;
  pollfd fd{timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), POLLIN, 0};
};

struct FakeDriver final : PcmDriver, Script {
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

// The worker's recovery, on a fake device under the real worker.
struct Recovery : ::testing::Test {
  void build(bool capture) {
    auto built = capture ? build_input_stream(driver, "fake", kConfig, [](std::span<const float>) {}, events.callback())
                         : build_output_stream(driver, "fake", kConfig, [](std::span<float>) {}, events.callback());
    ASSERT_TRUE(built.ok()) << built.error();
    stream = std::move(built).value();
    ASSERT_TRUE(eventually([&] { return driver.frames > 0; }));
  }

  FakeDriver driver;
  Events events;
  std::unique_ptr<Stream> stream;
};

// How the device fails (the next `failures` transfers with `error`, or unplugged until three
// opens have failed), the events that follow and whether the device was opened again.
struct FaultCase { const char* what; int error, failures; bool unplugged; Lines events; bool reopened; };
class Faults : public Recovery, public ::testing::WithParamInterface<std::tuple<FaultCase, bool>> {};

TEST_P(Faults, StreamComesBackByItself) {
  const auto& [c, capture] = GetParam();
  build(capture);
  driver.failure = c.error;
  driver.failures = c.failures;
  if (c.unplugged) {
    driver.present = false;
    ASSERT_TRUE(eventually([&] { return driver.opens >= 4; }));
    driver.present = true;
  }
  const long from = driver.frames;  // well past the quarter second that counts as back
  ASSERT_TRUE(eventually([&] { return driver.failures == 0 && driver.frames > from + 24000; }));
  stream.reset();
  EXPECT_EQ(events.lines(), c.events);
  const Lines opened = driver.opened.lines();
  EXPECT_EQ(opened.size() > 1, c.reopened);
  EXPECT_EQ(opened, Lines(opened.size(), capture ? "fake capture 2 48000 512" : "fake playback 2 48000 512"));
}
INSTANTIATE_TEST_SUITE_P(
    Cases, Faults,
    ::testing::Combine(::testing::Values(FaultCase{"xrun", -EPIPE, 1, false, {}, false},
                                         // three failures in a row are one fault
                                         FaultCase{"io", -EIO, 3, false, {"error Input/output error", "back"}, false},
                                         // ready, yet moving nothing: a source that has ended
                                         FaultCase{"nothing", 0, 3, false, {"error No data available", "back"}, false},
                                         FaultCase{"unplugged", 0, 0, true, {"error No such device", "back"}, true}),
                       ::testing::Bool()),
    [](const auto& i) { return std::string(std::get<0>(i.param).what) + (std::get<1>(i.param) ? "_capture" : "_playback"); });

TEST_F(Recovery, DeviceGoneForGoodCostsNoCpuAndRemindsOnceAMinute) {
  build(false);
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
  stream.reset();
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
  EXPECT_TRUE(workers_gone());
}

}  // namespace
}  // namespace velmora::audio
