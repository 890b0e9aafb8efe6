#include "audio/alsa.hpp"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora::audio {
namespace {

// SCHED_FIFO priority of the workers: above normal threads, below the usual sound-server range.
constexpr int kWorkerPriority = 20;

Error alsa_error(const std::string& device, const char* call, int err) {
  return Error{device + ": " + call + ": " + snd_strerror(err)};
}

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const noexcept { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HintsFree {
  void operator()(void** hints) const noexcept { snd_device_name_free_hint(hints); }
};

class Fd {
 public:
  explicit Fd(int fd = -1) noexcept : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

struct OpenedPcm {
  Pcm pcm;
  snd_pcm_uframes_t buffer_frames = 0;
  snd_pcm_uframes_t period_frames = 0;
};

// Interleaved f32, exact rate and channel count, a buffer of exactly buffer_size frames and a
// period near a quarter of it. Playback starts by itself once its buffer is full.
Result<OpenedPcm> open_pcm(const std::string& name, snd_pcm_stream_t direction,
                           const StreamConfig& config) {
  snd_pcm_t* raw = nullptr;
  if (int err = snd_pcm_open(&raw, name.c_str(), direction, SND_PCM_NONBLOCK); err < 0) {
    return alsa_error(name, "snd_pcm_open", err);
  }
  OpenedPcm out{Pcm(raw)};
  snd_pcm_t* pcm = raw;

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
  snd_pcm_hw_params_get_buffer_size(hw, &out.buffer_frames);
  snd_pcm_hw_params_get_period_size(hw, &out.period_frames, &dir);

  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  err = snd_pcm_sw_params_current(pcm, sw);
  if (err < 0) return alsa_error(name, "snd_pcm_sw_params_current", err);
  err = snd_pcm_sw_params_set_avail_min(pcm, sw, out.period_frames);
  if (err < 0) return alsa_error(name, "snd_pcm_sw_params_set_avail_min", err);
  if (direction == SND_PCM_STREAM_PLAYBACK) {
    err = snd_pcm_sw_params_set_start_threshold(pcm, sw, out.buffer_frames);
    if (err < 0) return alsa_error(name, "snd_pcm_sw_params_set_start_threshold", err);
  }
  err = snd_pcm_sw_params(pcm, sw);
  if (err < 0) return alsa_error(name, "snd_pcm_sw_params", err);
  return out;
}

// The error a PCM reports through POLLERR, from the state it is left in.
int state_error(snd_pcm_t* pcm) noexcept {
  switch (snd_pcm_state(pcm)) {
    case SND_PCM_STATE_XRUN: return -EPIPE;
    case SND_PCM_STATE_SUSPENDED: return -ESTRPIPE;
    case SND_PCM_STATE_DISCONNECTED: return -ENODEV;
    default: return -EIO;
  }
}

// One stream's poll loop. Everything it touches is allocated before the thread starts.
class Worker {
 public:
  Worker(snd_pcm_t* pcm, snd_pcm_stream_t direction, std::vector<pollfd> fds,
         const OpenedPcm& opened, unsigned channels, ErrorCallback on_error)
      : pcm_(pcm),
        capture_(direction == SND_PCM_STREAM_CAPTURE),
        fds_(std::move(fds)),
        pcm_fd_count_(static_cast<unsigned>(fds_.size() - 1)),
        period_(opened.period_frames),
        capacity_(opened.buffer_frames),
        channels_(channels),
        block_(opened.buffer_frames * channels),
        on_error_(std::move(on_error)) {}

  // Poll, then hand the frames over: capture reads and calls back, playback calls back and
  // writes. Non-finite samples never reach the device.
  template <class Callback>
  void run(Callback& data) noexcept {
    ask_for_realtime();
    for (;;) {
      const Wake w = wait();
      if (w == Wake::Stop) return;
      if (w == Wake::Again) continue;
      snd_pcm_sframes_t n = 0;
      if constexpr (std::is_same_v<Callback, CaptureCallback>) {
        n = snd_pcm_readi(pcm_, block_.data(), ready_);
        if (n >= 0) data(std::span<const float>(block_.data(), static_cast<std::size_t>(n) * channels_));
      } else {
        std::span<float> out(block_.data(), ready_ * channels_);
        data(out);
        for (float& s : out) {
          if (!std::isfinite(s)) s = 0.0f;
        }
        n = snd_pcm_writei(pcm_, block_.data(), ready_);
      }
      if (n < 0) fault(static_cast<int>(n));
    }
  }

 private:
  enum class Wake { Ready, Again, Stop };

  static void ask_for_realtime() noexcept {
    sched_param param{};
    param.sched_priority = kWorkerPriority;
    // Refused without the privilege: the worker then runs as a normal thread.
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }

  // Waits for the device or the wake-up; Ready leaves the frame count in ready_.
  Wake wait() noexcept {
    if (gone_) {
      // Only the drop can wake a worker whose device is gone.
      pollfd& wake = fds_.back();
      while (::poll(&wake, 1, -1) < 0 && errno == EINTR) {
      }
      return Wake::Stop;
    }
    if (::poll(fds_.data(), fds_.size(), -1) < 0) {
      if (errno != EINTR) fault(-errno);
      return Wake::Again;
    }
    if (fds_.back().revents != 0) return Wake::Stop;
    unsigned short revents = 0;
    if (int err = snd_pcm_poll_descriptors_revents(pcm_, fds_.data(), pcm_fd_count_, &revents);
        err < 0) {
      fault(err);
      return Wake::Again;
    }
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      fault(state_error(pcm_));
      return Wake::Again;
    }
    if ((revents & (POLLIN | POLLOUT)) == 0) return Wake::Again;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) {
      fault(static_cast<int>(avail));
      return Wake::Again;
    }
    if (static_cast<snd_pcm_uframes_t>(avail) < period_) return Wake::Again;
    ready_ = std::min(static_cast<snd_pcm_uframes_t>(avail), capacity_);
    return Wake::Ready;
  }

  // Over- and underruns and suspends are recovered quietly; anything else is reported once and
  // the worker then only waits to be dropped, so a vanished device never spins.
  void fault(int err) noexcept {
    if (err == -EAGAIN || err == -EINTR) return;
    if (err == -EPIPE || err == -ESTRPIPE) {
      int r = snd_pcm_recover(pcm_, err, 1);
      if (r == 0 && capture_) r = snd_pcm_start(pcm_);
      if (r == 0) return;
      err = r;
    }
    gone_ = true;
    on_error_(snd_strerror(err));
  }

  snd_pcm_t* pcm_;
  bool capture_;
  std::vector<pollfd> fds_;  // the PCM's descriptors, then the wake-up descriptor
  unsigned pcm_fd_count_;
  snd_pcm_uframes_t period_;
  snd_pcm_uframes_t capacity_;
  unsigned channels_;
  std::vector<float> block_;
  ErrorCallback on_error_;
  snd_pcm_uframes_t ready_ = 0;
  bool gone_ = false;
};

class AlsaStream final : public Stream {
 public:
  AlsaStream(Pcm pcm, Fd wake) : pcm_(std::move(pcm)), wake_(std::move(wake)) {}

  ~AlsaStream() override {
    if (worker_.joinable()) {
      const std::uint64_t one = 1;
      (void)!::write(wake_.get(), &one, sizeof one);
      worker_.join();
    }
  }

  // Named before the stream is handed out, so the name is there for as long as the stream is.
  template <class F>
  void spawn(const char* name, F&& body) {
    worker_ = std::thread(std::forward<F>(body));
    pthread_setname_np(worker_.native_handle(), name);
  }

  snd_pcm_t* pcm() const noexcept { return pcm_.get(); }

  // The worker starts playback once its first buffer is written; play only lifts a pause.
  Result<void> play() override {
    if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PAUSED) (void)snd_pcm_pause(pcm_.get(), 0);
    return {};
  }

 private:
  Pcm pcm_;  // closed after the worker has been joined
  Fd wake_;
  std::thread worker_;
};

template <class Callback>
Result<std::unique_ptr<Stream>> build_stream(const std::string& name, const StreamConfig& config,
                                             Callback data, ErrorCallback error) try {
  constexpr bool kCapture = std::is_same_v<Callback, CaptureCallback>;
  const snd_pcm_stream_t direction = kCapture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  auto opened = open_pcm(name, direction, config);
  if (!opened) return Error{opened.error()};
  OpenedPcm pcm = std::move(opened).value();
  snd_pcm_t* handle = pcm.pcm.get();

  Fd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wake.get() < 0) return Error{name + ": eventfd: " + std::strerror(errno)};
  const int count = snd_pcm_poll_descriptors_count(handle);
  if (count <= 0) return alsa_error(name, "snd_pcm_poll_descriptors_count", count < 0 ? count : -EIO);
  std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
  if (int err = snd_pcm_poll_descriptors(handle, fds.data(), static_cast<unsigned>(count)); err < 0) {
    return alsa_error(name, "snd_pcm_poll_descriptors", err);
  }
  fds.back() = pollfd{wake.get(), POLLIN, 0};

  if constexpr (kCapture) {
    if (int err = snd_pcm_start(handle); err < 0) return alsa_error(name, "snd_pcm_start", err);
  }

  Worker worker(handle, direction, std::move(fds), pcm, config.channels, std::move(error));
  auto stream = std::make_unique<AlsaStream>(std::move(pcm.pcm), std::move(wake));
  stream->spawn(kCapture ? "cpal_alsa_in" : "cpal_alsa_out",
                [worker = std::move(worker), data = std::move(data)]() mutable noexcept { worker.run(data); });
  return std::unique_ptr<Stream>(std::move(stream));
} catch (const std::exception& e) {
  return Error{name + ": " + e.what()};
}

class AlsaDevice final : public Device {
 public:
  explicit AlsaDevice(std::string name) : name_(std::move(name)) {}

  Result<std::string> name() const override { return name_; }

  Result<std::unique_ptr<Stream>> build_input_stream(const StreamConfig& config, CaptureCallback data,
                                                     ErrorCallback error) override {
    return build_stream(name_, config, std::move(data), std::move(error));
  }

  Result<std::unique_ptr<Stream>> build_output_stream(const StreamConfig& config,
                                                      PlaybackCallback data,
                                                      ErrorCallback error) override {
    return build_stream(name_, config, std::move(data), std::move(error));
  }

 private:
  std::string name_;
};

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
    if (name == "null") continue;
    snd_pcm_t* probe = nullptr;
    if (snd_pcm_open(&probe, name.c_str(), direction, SND_PCM_NONBLOCK) < 0) continue;
    snd_pcm_close(probe);
    out.push_back(std::make_unique<AlsaDevice>(std::move(name)));
  }
  return out;
}

class AlsaHost final : public Host {
 public:
  Result<DeviceList> input_devices() override { return list_devices(SND_PCM_STREAM_CAPTURE); }
  Result<DeviceList> output_devices() override { return list_devices(SND_PCM_STREAM_PLAYBACK); }
  std::unique_ptr<Device> default_input_device() override {
    return std::make_unique<AlsaDevice>("default");
  }
  std::unique_ptr<Device> default_output_device() override {
    return std::make_unique<AlsaDevice>("default");
  }
};

}  // namespace

std::unique_ptr<Host> default_host() { return std::make_unique<AlsaHost>(); }

}  // namespace velmora::audio
