#include "audio/alsa.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <mutex>

#include "audio/alsa_sandbox.hpp"

namespace velmora::audio {
namespace {

using velmora::testing::alsa_workers;
using velmora::testing::AlsaSandbox;

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

// Clock ticks (user + system) the thread named `name` has run for, or -1.
long cpu_ticks(const std::string& name) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string n;
    if (!std::getline(comm, n) || n != name) continue;
    std::ifstream stat(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // from field 3, the state
    std::string skip;
    long utime = 0, stime = 0;
    for (int i = 3; i < 14; ++i) fields >> skip;
    fields >> utime >> stime;
    return utime + stime;
  }
  return -1;
}

TEST(AlsaStream, UnrecoverableErrorIsReportedOnceAndTheWorkerSleeps) {
  std::signal(SIGPIPE, SIG_IGN);  // the dead pipe must fail the write, not end the test
  AlsaSandbox sandbox(true);
  auto outputs = default_host()->output_devices();
  ASSERT_TRUE(outputs.ok());
  Device* dead = nullptr;
  for (auto& d : outputs.value()) dead = d->name().value() == "velmora_dead" ? d.get() : dead;
  ASSERT_NE(dead, nullptr);

  std::mutex m;
  std::vector<std::string> errors;
  auto reported = [&] {
    std::lock_guard lock(m);
    return errors;
  };
  auto stream = dead->build_output_stream(
      StreamConfig{2, 48000, 512}, [](std::span<float> out) { std::fill(out.begin(), out.end(), 0.25f); },
      [&](std::string_view text) {
        std::lock_guard lock(m);
        errors.emplace_back(text);
      });
  ASSERT_TRUE(stream.ok()) << stream.error();
  EXPECT_TRUE(stream.value()->play().ok());
  for (int i = 0; i < 500 && reported().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const long ticks = cpu_ticks("cpal_alsa_out");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(cpu_ticks("cpal_alsa_out") - ticks, 1);  // no busy loop on the dead device
  EXPECT_EQ(reported(), std::vector<std::string>{"Input/output error"});
  stream.value().reset();
  EXPECT_EQ(alsa_workers(), 0);
}

}  // namespace
}  // namespace velmora::audio
