#pragma once
// The few operations the engine asks of an audio layer: list the devices of each
// direction, name the default ones, find one by a name the lists leave out, open a
// capture or playback stream whose callbacks run on the stream's own worker thread, start
// it and stop it. Stopping, or dropping, a stream ends its worker before it returns; no
// callback of that stream runs afterwards. Only a worker that a device holds in a call
// for longer than kStopBound is left behind instead.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "result.hpp"

namespace velmora::audio {

// Both streams are interleaved f32 at a fixed device buffer.
struct StreamConfig {
  std::uint16_t channels = 2;
  std::uint32_t sample_rate = 48000;
  std::uint32_t buffer_size = 512;  // frames
};

// Capture hands over the frames it has just read; playback fills the block it is about to write.
using CaptureCallback = std::function<void(std::span<const float>)>;
using PlaybackCallback = std::function<void(std::span<float>)>;

// What a stream's worker tells of its device, on the worker thread. After an error the stream
// retries on its own; it says once when it runs again, and reminds at most once a minute while
// it stays down.
struct StreamEvent {
  enum class Kind { Error, StillDown, Recovered };
  Kind kind;
  std::string_view text = {};      // the layer's text for the (latest) error; empty for Recovered
  std::chrono::minutes down = {};  // StillDown: how long the fault has lasted
};
using EventCallback = std::function<void(const StreamEvent&)>;

// Far longer than a healthy stop takes: a worker wakes within one period.
inline constexpr std::chrono::seconds kStopBound{2};

class Stream {
 public:
  virtual ~Stream() = default;  // a stream not stopped yet stops as stop() does
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  virtual Result<void> play() = 0;
  // Wakes the worker and waits up to kStopBound for it to end. False when a device call holds it
  // still: it is then left behind, owning everything it uses, for as long as the process lasts.
  // Only the first call waits.
  virtual bool stop() noexcept = 0;
};

class Device {
 public:
  virtual ~Device() = default;

  virtual Result<std::string> name() const = 0;
  virtual Result<std::unique_ptr<Stream>> build_input_stream(const StreamConfig& config,
                                                             CaptureCallback data,
                                                             EventCallback events) = 0;
  virtual Result<std::unique_ptr<Stream>> build_output_stream(const StreamConfig& config,
                                                              PlaybackCallback data,
                                                              EventCallback events) = 0;
};

using DeviceList = std::vector<std::unique_ptr<Device>>;

class Host {
 public:
  virtual ~Host() = default;

  // In the layer's enumeration order.
  virtual Result<DeviceList> input_devices() = 0;
  virtual Result<DeviceList> output_devices() = 0;
  // Null when the layer has no default device.
  virtual std::unique_ptr<Device> default_input_device() = 0;
  virtual std::unique_ptr<Device> default_output_device() = 0;
  // The device called `name` when it opens in that direction, listed or not; else the layer's error.
  virtual Result<std::unique_ptr<Device>> named_device(const std::string& name, bool capture) = 0;
};

}  // namespace velmora::audio
