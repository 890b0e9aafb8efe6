#include "audio/alsa.hpp"

#include <gtest/gtest.h>
#include <sys/timerfd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "audio/alsa_sandbox.hpp"

namespace velmora::audio {
namespace {

using velmora::testing::alsa_workers;
using velmora::testing::AlsaSandbox;
using velmora::testing::eventually;
using velmora::testing::workers_gone;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const StreamConfig kConfig{2, 48000, 512};

// A stream's events as "error <text>", "down <n> min: <text>" and "back".
struct Events {
  std::mutex m;
  Lines seen;

  EventCallback callback() {
    return [this](const StreamEvent& e) {
      std::lock_guard lock(m);
      switch (e.kind) {
        case StreamEvent::Kind::Error: seen.push_back("error " + std::string(e.text)); break;
        case StreamEvent::Kind::StillDown:
          seen.push_back("down " + std::to_string(e.down.count()) + " min: " + std::string(e.text));
          break;
        case StreamEvent::Kind::Recovered: seen.push_back("back"); break;
      }
    };
  }
  Lines lines() {
    std::lock_guard lock(m);
    return seen;
  }
};

// What the fake device does, set by the test while the worker runs.
struct Script {
  std::atomic<int> failures{0}, failure{-EIO};  // the next `failures` transfers fail with `failure`
  std::atomic<bool> present{true};              // false: every call and every open fails as unplugged
  std::atomic<int> opens{0}, minutes_skipped{0};
  std::atomic<long> frames{0};  // moved by successful transfers
};

// A PCM that a 1 ms timer makes ready, a whole buffer at a time.
class FakePcm final : public Pcm {
 public:
  FakePcm(Script& s, std::size_t buffer) : s_(s), buffer_(buffer) {
    const itimerspec every{{0, 1'000'000}, {0, 1'000'000}};
    timerfd_settime(fd_.fd, 0, &every, nullptr);
  }
  ~FakePcm() override { ::close(fd_.fd); }

  std::size_t buffer_frames() const noexcept override { return buffer_; }
  std::size_t period_frames() const noexcept override { return buffer_ / 4; }
  std::span<const pollfd> descriptors() const noexcept override { return {&fd_, 1}; }
  int revents(std::span<pollfd>, unsigned short& events) noexcept override {
    std::uint64_t ticks = 0;
    (void)!::read(fd_.fd, &ticks, sizeof ticks);
    events = s_.present ? POLLIN | POLLOUT : POLLERR;
    return 0;
  }
  int state_error() noexcept override { return s_.present ? -EIO : -ENODEV; }
  long avail() noexcept override { return s_.present ? static_cast<long>(buffer_) : -ENODEV; }
  long read(float*, std::size_t frames) noexcept override { return transfer(frames); }
  long write(const float*, std::size_t frames) noexcept override { return transfer(frames); }
  int recover(int) noexcept override { return s_.present ? 0 : -ENODEV; }
  int prepare() noexcept override { return s_.present ? 0 : -ENODEV; }
  int start() noexcept override { return s_.present ? 0 : -ENODEV; }
  void unpause() noexcept override {}

 private:
  long transfer(std::size_t frames) {
    if (!s_.present) return -ENODEV;
    if (s_.failures > 0) return --s_.failures, s_.failure.load();
    s_.frames += static_cast<long>(frames);
    return static_cast<long>(frames);
  }

  Script& s_;
  std::size_t buffer_;
  pollfd fd_{timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), POLLIN, 0};
};

class FakeDriver final : public PcmDriver {
 public:
  explicit FakeDriver(Script& s) : s_(s) {}

  Result<std::unique_ptr<Pcm>> open(const std::string& name, bool capture, const StreamConfig& c) override {
    std::lock_guard lock(m_);
    opened_.push_back(name + (capture ? " capture " : " playback ") + std::to_string(c.channels) + " " +
                      std::to_string(c.sample_rate) + " " + std::to_string(c.buffer_size));
    ++s_.opens;
    if (!s_.present) return Error{name + ": snd_pcm_open: No such device"};
    return std::unique_ptr<Pcm>(std::make_unique<FakePcm>(s_, c.buffer_size));
  }
  std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::now() + std::chrono::minutes(s_.minutes_skipped);
  }
  Lines opened() {
    std::lock_guard lock(m_);
    return opened_;
  }

 private:
  Script& s_;
  std::mutex m_;
  Lines opened_;
};

// The worker's recovery, on a fake device under the real worker.
struct Recovery : ::testing::Test {
  void build(bool capture) {
    auto built = capture ? build_input_stream(driver, "fake", kConfig, [](std::span<const float>) {}, events.callback())
                         : build_output_stream(driver, "fake", kConfig, [](std::span<float>) {}, events.callback());
    ASSERT_TRUE(built.ok()) << built.error();
    stream = std::move(built).value();
    ASSERT_TRUE(eventually([&] { return script.frames > 0; }));
  }

  Script script;
  FakeDriver driver{script};
  Events events;
  std::unique_ptr<Stream> stream;
};

// How the device fails (the next `failures` transfers with `error`, or unplugged until three
// opens have failed), the events that follow and whether the device was opened again.
struct FaultCase { const char* what; int error, failures; bool unplugged; Lines events; bool reopened; };
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }
class Faults : public Recovery, public ::testing::WithParamInterface<std::tuple<FaultCase, bool>> {};

TEST_P(Faults, StreamComesBackByItself) {
  const auto& [c, capture] = GetParam();
  build(capture);
  script.failure = c.error;
  script.failures = c.failures;
  if (c.unplugged) {
    script.present = false;
    ASSERT_TRUE(eventually([&] { return script.opens >= 4; }));
    script.present = true;
  }
  const long from = script.frames;  // well past the quarter second that counts as back
  ASSERT_TRUE(eventually([&] { return script.failures == 0 && script.frames > from + 48000; }));
  stream.reset();
  EXPECT_EQ(events.lines(), c.events);
  const Lines opened = driver.opened();
  EXPECT_EQ(opened.size() > 1, c.reopened);
  EXPECT_EQ(opened, Lines(opened.size(), capture ? "fake capture 2 48000 512" : "fake playback 2 48000 512"));
}
INSTANTIATE_TEST_SUITE_P(
    Cases, Faults,
    ::testing::Combine(::testing::Values(FaultCase{"xrun", -EPIPE, 1, false, {}, false},
                                         // three failures in a row are one fault
                                         FaultCase{"io", -EIO, 3, false, {"error Input/output error", "back"}, false},
                                         FaultCase{"unplugged", 0, 0, true, {"error No such device", "back"}, true}),
                       ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).what) + (std::get<1>(info.param) ? "_capture" : "_playback");
    });

TEST_F(Recovery, DeviceGoneForGoodCostsNoCpuAndRemindsOnceAMinute) {
  build(false);
  script.present = false;
  ASSERT_TRUE(eventually([&] { return !events.lines().empty(); }));
  const long long cpu = alsa_workers().at("cpal_alsa_out");
  const int opens = script.opens;
  std::this_thread::sleep_for(2s);
  const long long used = alsa_workers().at("cpal_alsa_out") - cpu;
  EXPECT_LT(used, 5'000'000) << used << " ns";  // 0.25 % of a core
  EXPECT_LE(script.opens - opens, 10);           // backing off: 10 ms doubling up to 1 s

  const std::string away = "fake: snd_pcm_open: No such device";
  script.minutes_skipped = 1;
  ASSERT_TRUE(eventually([&] { return events.lines().size() == 2; }));
  script.minutes_skipped = 3;  // at most one reminder however long the gap
  ASSERT_TRUE(eventually([&] { return events.lines().size() == 3; }));
  EXPECT_EQ(events.lines(), (Lines{"error No such device", "down 1 min: " + away, "down 3 min: " + away}));

  // Dropped right after an attempt, the worker leaves its one-second wait at once.
  const int before = script.opens;
  ASSERT_TRUE(eventually([&] { return script.opens > before; }));
  const auto t0 = std::chrono::steady_clock::now();
  stream.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
  EXPECT_TRUE(workers_gone());
}

std::vector<std::string> names(Result<DeviceList> listed) {
  std::vector<std::string> out;
  for (const auto& d : listed.value()) out.push_back(d->name().value());
  return out;
}

TEST(AlsaHost, ListsHintedDevicesThatOpenInEachDirection) {
  AlsaSandbox sandbox(true);
  auto host = default_host();
  // "null" is skipped and the missing card opens in neither direction.
  EXPECT_EQ(names(host->input_devices()),
            (std::vector<std::string>{"velmora_in", "velmora_out", "velmora_dead", "default"}));
  EXPECT_EQ(names(host->output_devices()),
            (std::vector<std::string>{"velmora_in", "velmora_out", "velmora_dead", "default"}));
  EXPECT_EQ(host->default_input_device()->name().value(), "default");
  EXPECT_EQ(host->default_output_device()->name().value(), "default");
}

// A pipe whose reader is gone fails every write; the worker keeps retrying without a busy loop
// and without a second line.
TEST(AlsaStream, DeadPipeIsReportedOnceAndRetriedQuietly) {
  AlsaSandbox sandbox(true);
  auto outputs = default_host()->output_devices();
  ASSERT_TRUE(outputs.ok());
  Device* dead = nullptr;
  for (auto& d : outputs.value()) dead = d->name().value() == "velmora_dead" ? d.get() : dead;
  ASSERT_NE(dead, nullptr);

  Events events;
  auto stream = dead->build_output_stream(
      kConfig, [](std::span<float> out) { std::fill(out.begin(), out.end(), 0.25f); }, events.callback());
  ASSERT_TRUE(stream.ok()) << stream.error();
  EXPECT_TRUE(stream.value()->play().ok());
  ASSERT_TRUE(eventually([&] { return !events.lines().empty(); }));
  const long long cpu = alsa_workers().at("cpal_alsa_out");
  std::this_thread::sleep_for(1s);
  EXPECT_LT(alsa_workers().at("cpal_alsa_out") - cpu, 10'000'000);  // 1 % of a core
  EXPECT_EQ(events.lines(), Lines{"error Input/output error"});
  stream.value().reset();
  EXPECT_TRUE(workers_gone());
}

}  // namespace
}  // namespace velmora::audio
