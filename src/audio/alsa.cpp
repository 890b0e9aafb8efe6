// Opening a PCM with the stream's parameters, and the host: its device lists and defaults.
#include "audio/alsa.hpp"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "log.hpp"

namespace velmora::audio {
namespace {

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const noexcept { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HintsFree {
  void operator()(void** hints) const noexcept { snd_device_name_free_hint(hints); }
};

// libasound writes its own messages to standard error, several on every open of a card that
// has gone away; a stream retrying for hours would fill the log. They go to the debug log.
void alsa_message(const char* file, int line, const char* function, int err, const char* format, ...) {
  spdlog::logger& out = log::get("velmora::audio::alsa");
  if (!out.should_log(spdlog::level::debug)) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  out.debug("{}:{} ({}) {}{}{}", file, line, function, text, err != 0 ? ": " : "", err != 0 ? snd_strerror(err) : "");
}

class AlsaPcm final : public Pcm {
 public:
  AlsaPcm(PcmHandle pcm, std::size_t buffer, std::size_t period, std::vector<pollfd> fds)
      : pcm_(std::move(pcm)), buffer_(buffer), period_(period), fds_(std::move(fds)) {}

  std::size_t buffer_frames() const noexcept override { return buffer_; }
  std::size_t period_frames() const noexcept override { return period_; }
  std::span<const pollfd> descriptors() const noexcept override { return fds_; }
  int revents(std::span<pollfd> fds, unsigned short& events) noexcept override {
    return snd_pcm_poll_descriptors_revents(pcm_.get(), fds.data(), static_cast<unsigned>(fds.size()), &events);
  }
  int state_error() noexcept override {
    switch (snd_pcm_state(pcm_.get())) {
      case SND_PCM_STATE_XRUN: return -EPIPE;
      case SND_PCM_STATE_SUSPENDED: return -ESTRPIPE;
      case SND_PCM_STATE_DISCONNECTED: return -ENODEV;
      default: return -EIO;
    }
  }
  long avail() noexcept override { return snd_pcm_avail_update(pcm_.get()); }
  long read(float* block, std::size_t frames) noexcept override { return snd_pcm_readi(pcm_.get(), block, frames); }
  long write(const float* block, std::size_t frames) noexcept override {
    return snd_pcm_writei(pcm_.get(), block, frames);
  }
  int recover(int err) noexcept override { return snd_pcm_recover(pcm_.get(), err, 1); }
  int prepare() noexcept override { return snd_pcm_prepare(pcm_.get()); }
  int start() noexcept override { return snd_pcm_start(pcm_.get()); }

 private:
  PcmHandle pcm_;
  std::size_t buffer_, period_;
  std::vector<pollfd> fds_;
};

// Interleaved f32, exact rate and channel count, a buffer of exactly buffer_size frames and a
// period near a quarter of it. Playback starts by itself once its buffer is full.
Result<std::unique_ptr<Pcm>> open_pcm(const std::string& name, snd_pcm_stream_t direction,
                                      const StreamConfig& config) {
  snd_pcm_t* pcm = nullptr;
  if (int err = snd_pcm_open(&pcm, name.c_str(), direction, SND_PCM_NONBLOCK); err < 0) {
    return alsa_error(name, "snd_pcm_open", err);
  }
  PcmHandle owned(pcm);

  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  int err = snd_pcm_hw_params_any(pcm, hw);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_any", err);
  err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_set_access", err);
  err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_FLOAT_LE);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_set_format", err);
  err = snd_pcm_hw_params_set_channels(pcm, hw, config.channels);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_set_channels", err);
  err = snd_pcm_hw_params_set_rate(pcm, hw, config.sample_rate, 0);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_set_rate", err);
  err = snd_pcm_hw_params_set_buffer_size(pcm, hw, config.buffer_size);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_set_buffer_size", err);
  snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(config.buffer_size / 4, 1);
  int dir = 0;
  err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params_set_period_size_near", err);
  err = snd_pcm_hw_params(pcm, hw);
  if (err < 0) return alsa_error(name, "snd_pcm_hw_params", err);
  snd_pcm_uframes_t buffer = 0;
  snd_pcm_hw_params_get_buffer_size(hw, &buffer);
  snd_pcm_hw_params_get_period_size(hw, &period, &dir);

  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  err = snd_pcm_sw_params_current(pcm, sw);
  if (err < 0) return alsa_error(name, "snd_pcm_sw_params_current", err);
  err = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
  if (err < 0) return alsa_error(name, "snd_pcm_sw_params_set_avail_min", err);
  if (direction == SND_PCM_STREAM_PLAYBACK) {
    err = snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer);
    if (err < 0) return alsa_error(name, "snd_pcm_sw_params_set_start_threshold", err);
  }
  err = snd_pcm_sw_params(pcm, sw);
  if (err < 0) return alsa_error(name, "snd_pcm_sw_params", err);

  const int count = snd_pcm_poll_descriptors_count(pcm);
  if (count <= 0) return alsa_error(name, "snd_pcm_poll_descriptors_count", count < 0 ? count : -EIO);
  std::vector<pollfd> fds(static_cast<std::size_t>(count));
  if (err = snd_pcm_poll_descriptors(pcm, fds.data(), static_cast<unsigned>(count)); err < 0) {
    return alsa_error(name, "snd_pcm_poll_descriptors", err);
  }
  return std::unique_ptr<Pcm>(std::make_unique<AlsaPcm>(std::move(owned), buffer, period, std::move(fds)));
}

class Libasound final : public PcmDriver {
 public:
  Libasound() { snd_lib_error_set_handler(alsa_message); }

  Result<std::unique_ptr<Pcm>> open(const std::string& name, bool capture, const StreamConfig& config) override {
    return open_pcm(name, capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, config);
  }
};

Libasound& libasound() {
  static Libasound driver;
  return driver;
}

class AlsaDevice final : public Device {
 public:
  explicit AlsaDevice(std::string name) : name_(std::move(name)) {}

  Result<std::string> name() const override { return name_; }

  Result<std::unique_ptr<Stream>> build_input_stream(const StreamConfig& config, CaptureCallback data,
                                                     EventCallback events) override {
    return audio::build_input_stream(libasound(), name_, config, std::move(data), std::move(events));
  }

  Result<std::unique_ptr<Stream>> build_output_stream(const StreamConfig& config,
                                                      PlaybackCallback data,
                                                      EventCallback events) override {
    return audio::build_output_stream(libasound(), name_, config, std::move(data), std::move(events));
  }

 private:
  std::string name_;
};

// 0 when `name` opens in `direction`, closed again at once; else libasound's error.
int probe(const std::string& name, snd_pcm_stream_t direction) {
  snd_pcm_t* pcm = nullptr;
  const int err = snd_pcm_open(&pcm, name.c_str(), direction, SND_PCM_NONBLOCK);
  if (err == 0) snd_pcm_close(pcm);
  return err;
}

// Every hinted PCM except "null" that opens in this direction, in hint order.
Result<DeviceList> list_devices(snd_pcm_stream_t direction) {
  void** raw = nullptr;
  if (int err = snd_device_name_hint(-1, "pcm", &raw); err < 0) {
    return Error{std::string("snd_device_name_hint: ") + snd_strerror(err)};
  }
  std::unique_ptr<void*, HintsFree> hints(raw);
  DeviceList out;
  for (void** h = raw; *h != nullptr; ++h) {
    char* hinted = snd_device_name_get_hint(*h, "NAME");
    if (hinted == nullptr) continue;
    std::string name(hinted);
    std::free(hinted);
    if (name == "null" || probe(name, direction) < 0) continue;
    out.push_back(std::make_unique<AlsaDevice>(std::move(name)));
  }
  return out;
}

class AlsaHost final : public Host {
 public:
  AlsaHost() { (void)libasound(); }  // its message handler quiets the probes of the device lists

  Result<DeviceList> input_devices() override { return list_devices(SND_PCM_STREAM_CAPTURE); }
  Result<DeviceList> output_devices() override { return list_devices(SND_PCM_STREAM_PLAYBACK); }
  std::unique_ptr<Device> default_input_device() override {
    return std::make_unique<AlsaDevice>("default");
  }
  std::unique_ptr<Device> default_output_device() override {
    return std::make_unique<AlsaDevice>("default");
  }
  Result<std::unique_ptr<Device>> named_device(const std::string& name, bool capture) override {
    if (int err = probe(name, capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK); err < 0) {
      return alsa_error(name, "snd_pcm_open", err);
    }
    return std::unique_ptr<Device>(std::make_unique<AlsaDevice>(name));
  }
};

}  // namespace

Error alsa_error(const std::string& device, const char* call, int err) {
  return Error{device + ": " + call + ": " + snd_strerror(err)};
}

std::unique_ptr<Host> default_host() { return std::make_unique<AlsaHost>(); }

}  // namespace velmora::audio
