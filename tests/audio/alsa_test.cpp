#include "audio/alsa.hpp"

#include <gtest/gtest.h>

#include <csignal>
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
  const long ticks = alsa_workers().at("cpal_alsa_out");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(alsa_workers().at("cpal_alsa_out") - ticks, 1);  // no busy loop on the dead device
  EXPECT_EQ(reported(), std::vector<std::string>{"Input/output error"});
  stream.value().reset();
  EXPECT_TRUE(alsa_workers().empty());
}

}  // namespace
}  // namespace velmora::audio
