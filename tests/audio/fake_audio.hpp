#pragma once
// An audio layer whose answers a test decides. It writes what happens ("build capture in",
// "play playback", "drop capture") as lines into a transcript that the log can share, and keeps
// the callbacks of the latest streams built so that a test can call them.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "audio/device.hpp"

namespace velmora::fake {

struct DeviceDesc {
  std::string id;                               // how the transcript names the device
  std::optional<std::string> name;              // nullopt: the name cannot be read
  std::optional<std::string> build_error = {};  // set: building a stream on it fails with this text
  std::optional<std::string> play_error = {};   // set: play fails with this text
};

struct Record {
  std::ostream* transcript = nullptr;
  int live_streams = 0, name_reads = 0;
  audio::StreamConfig config;
  audio::CaptureCallback capture;
  audio::PlaybackCallback playback;
  audio::EventCallback capture_events, playback_events;

  void note(const std::string& line) {
    if (transcript != nullptr) *transcript << line << '\n';
  }
};

struct Stream final : audio::Stream {
  Record& r;
  std::string kind;
  std::optional<std::string> error;  // what play fails with

  Stream(Record& r, std::string kind, std::optional<std::string> error) : r(r), kind(kind), error(error) { ++r.live_streams; }
  ~Stream() override { r.note("drop " + kind), --r.live_streams; }
  Result<void> play() override {
    r.note("play " + kind);
    return error ? Result<void>(Error{*error}) : Result<void>();
  }
};

struct Device final : audio::Device {
  using Built = Result<std::unique_ptr<audio::Stream>>;
  Record& r;
  DeviceDesc desc;

  Device(Record& r, DeviceDesc desc) : r(r), desc(std::move(desc)) {}
  Result<std::string> name() const override {
    ++r.name_reads;
    return desc.name ? Result<std::string>(*desc.name) : Error{"nombre ilegible"};
  }
  Built build_input_stream(const audio::StreamConfig& config, audio::CaptureCallback data,
                           audio::EventCallback events) override {
    r.capture = std::move(data), r.capture_events = std::move(events);
    return build("capture", config);
  }
  Built build_output_stream(const audio::StreamConfig& config, audio::PlaybackCallback data,
                            audio::EventCallback events) override {
    r.playback = std::move(data), r.playback_events = std::move(events);
    return build("playback", config);
  }
  Built build(const std::string& kind, const audio::StreamConfig& config) {
    r.note("build " + kind + " " + desc.id);
    r.config = config;
    if (desc.build_error) return Error{*desc.build_error};
    return std::unique_ptr<audio::Stream>(std::make_unique<Stream>(r, kind, desc.play_error));
  }
};

struct Host final : audio::Host {
  Record record;
  std::vector<DeviceDesc> inputs{{"in", "in"}}, outputs{{"out", "out"}};
  std::optional<DeviceDesc> default_input{DeviceDesc{"default-in", "default"}};
  std::optional<DeviceDesc> default_output{DeviceDesc{"default-out", "default"}};
  std::vector<DeviceDesc> unlisted;  // found by their id, in either direction
  std::optional<std::string> inputs_error, outputs_error;

  Result<audio::DeviceList> input_devices() override { return list(inputs, inputs_error); }
  Result<audio::DeviceList> output_devices() override { return list(outputs, outputs_error); }
  std::unique_ptr<audio::Device> default_input_device() override { return make(default_input); }
  std::unique_ptr<audio::Device> default_output_device() override { return make(default_output); }
  Result<std::unique_ptr<audio::Device>> named_device(const std::string& name, bool) override {
    for (const auto& d : unlisted) {
      if (d.id == name) return make(d);
    }
    return Error{name + ": snd_pcm_open: No such device"};
  }
  std::unique_ptr<audio::Device> make(const std::optional<DeviceDesc>& desc) {
    return desc ? std::make_unique<Device>(record, *desc) : nullptr;
  }
  Result<audio::DeviceList> list(const std::vector<DeviceDesc>& descs, const std::optional<std::string>& error) {
    if (error) return Error{*error};
    audio::DeviceList out;
    for (const auto& s : descs) out.push_back(std::make_unique<Device>(record, s));
    return out;
  }
};

}  // namespace velmora::fake
