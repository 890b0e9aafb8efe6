// The stream worker: one thread a stream that polls its PCM and a wake-up descriptor, hands the
// frames to the callback, and brings the stream back by itself after a fault.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "audio/alsa.hpp"

namespace velmora::audio {
namespace {

// SCHED_FIFO priority of the workers: above normal threads, below the usual sound-server range.
constexpr int kWorkerPriority = 20;
// A stream that has failed retries after the first wait, then waits twice as long before each
// further attempt, up to the last wait.
constexpr std::chrono::milliseconds kFirstBackoff{10};
constexpr std::chrono::milliseconds kLastBackoff{1000};
// While a device stays away, the stream says so at most this often.
constexpr std::chrono::minutes kReminderEvery{1};
// A capture source is granted frames this many times faster than its rate before it counts as
// having no clock: well above any card's drift, far below a source that never waits.
constexpr double kClockMargin = 2.0;

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

// One stream's poll loop. Everything the audio path touches is allocated before the thread
// starts; only a reopen allocates again.
class Worker {
 public:
  Worker(PcmDriver& driver, std::string name, bool capture, const StreamConfig& config, std::unique_ptr<Pcm> pcm,
         int wake, EventCallback events)
      : driver_(&driver),
        name_(std::move(name)),
        capture_(capture),
        config_(config),
        wake_(wake),
        events_(std::move(events)),
        settle_frames_(std::max<std::size_t>(2 * std::size_t{config.buffer_size}, config.sample_rate / 4)),
        pcm_(std::move(pcm)) {
    adopt();
    full_credit();
  }

  // Poll, then hand the frames over: capture reads and calls back, playback calls back and
  // writes. Non-finite samples never reach the device. A stream that is down retries instead.
  template <class Callback>
  void run(Callback& data) noexcept {
    ask_for_realtime();
    block_sigpipe();
    for (;;) {
      if (down_) {
        if (!retry()) break;
        continue;
      }
      const Wake w = wait();
      if (w == Wake::Stop) break;
      if (w == Wake::Again) continue;
      long n = 0;
      if constexpr (std::is_same_v<Callback, CaptureCallback>) {
        n = pcm_->read(block_.data(), ready_);
        if (n > 0 && !within_clock(static_cast<std::size_t>(n))) n = -ENODATA;
        // After a fault, capture is handed on only once it runs steadily again: a source that has
        // ended repeats its last block at every retry, which must not reach the air.
        if (n > 0 && !faulted_) data(std::span<const float>(block_.data(), static_cast<std::size_t>(n) * config_.channels));
      } else {
        std::span<float> out(block_.data(), ready_ * config_.channels);
        data(out);
        for (float& s : out) {
          if (!std::isfinite(s)) s = 0.0f;
        }
        n = pcm_->write(block_.data(), ready_);
      }
      if (n == 0) n = -ENODATA;  // a period was ready, yet nothing moved: the source has ended
      if (n < 0) {
        fault(static_cast<int>(n));
      } else if (faulted_) {
        settle(static_cast<std::size_t>(n));
      }
    }
    replace(nullptr);  // closed here, where SIGPIPE is blocked: a file PCM flushes as it closes
  }

 private:
  enum class Wake { Ready, Again, Stop };

  static void ask_for_realtime() noexcept {
    sched_param param{};
    param.sched_priority = kWorkerPriority;
    // Refused without the privilege: the worker then runs as a normal thread.
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }

  // A PCM writing into a pipe whose reader has gone must fail its writes, not end the program.
  // The signal is blocked in this thread, which does all the writing and the closing.
  static void block_sigpipe() noexcept {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    (void)pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  }

  // Takes the sizes and descriptors of the PCM now open.
  void adopt() {
    const std::span<const pollfd> pcm_fds = pcm_->descriptors();
    fds_.assign(pcm_fds.begin(), pcm_fds.end());
    fds_.push_back(pollfd{wake_, POLLIN, 0});
    period_ = pcm_->period_frames();
    capacity_ = pcm_->buffer_frames();
    block_.resize(capacity_ * config_.channels);
  }

  void replace(std::unique_ptr<Pcm> next) {
    pcm_ = std::move(next);
    if (pcm_) adopt();
  }

  // Waits for the device or the wake-up; Ready leaves the frame count in ready_.
  Wake wait() noexcept {
    if (::poll(fds_.data(), fds_.size(), -1) < 0) {
      if (errno != EINTR) fault(-errno);
      return Wake::Again;
    }
    if (fds_.back().revents != 0) return Wake::Stop;
    unsigned short revents = 0;
    if (int err = pcm_->revents(std::span(fds_).first(fds_.size() - 1), revents); err < 0) {
      fault(err);
      return Wake::Again;
    }
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      fault(pcm_->state_error());
      return Wake::Again;
    }
    if ((revents & (POLLIN | POLLOUT)) == 0) return Wake::Again;
    const long avail = pcm_->avail();
    if (avail < 0) {
      fault(static_cast<int>(avail));
      return Wake::Again;
    }
    if (static_cast<std::size_t>(avail) < period_) return Wake::Again;
    ready_ = std::min(static_cast<std::size_t>(avail), capacity_);
    return Wake::Ready;
  }

  // Over- and underruns and suspends are recovered quietly. Anything else takes the stream down
  // until a retry brings it back; only the first error of a fault is reported.
  void fault(int err) noexcept {
    if (err == -EAGAIN || err == -EINTR) return;
    if (err == -EPIPE || err == -ESTRPIPE) {
      int r = pcm_->recover(err);
      if (r == 0 && capture_) r = pcm_->start();
      if (r == 0) return;
      err = r;
    }
    down_ = true;
    last_error_ = snd_strerror(err);
    if (faulted_) return;
    faulted_ = true;
    backoff_ = kFirstBackoff;
    since_ = reminded_ = driver_->now();
    events_(StreamEvent{StreamEvent::Kind::Error, last_error_});
  }

  // One attempt to bring the stream back after the backoff: prepare, and when the device will
  // not prepare, close it and open it again. False once the stream is dropped.
  bool retry() noexcept try {
    if (woken_within(backoff_)) return false;
    backoff_ = std::min(2 * backoff_, kLastBackoff);
    remind();
    if (pcm_ != nullptr) {
      if (int err = restart(pcm_->prepare()); err == 0) return true;
      replace(nullptr);  // closed first: a device may take one user at a time
    }
    auto opened = driver_->open(name_, capture_, config_);
    if (!opened) {
      last_error_ = opened.error();
      return true;
    }
    replace(std::move(opened).value());
    (void)restart(0);
    return true;
  } catch (const std::exception&) {
    return true;  // out of memory while reopening: the next attempt tries again
  }

  // After a successful prepare or open (err 0) the stream runs again; capture must be started.
  int restart(int err) noexcept {
    if (err == 0 && capture_) err = pcm_->start();
    if (err < 0) {
      last_error_ = snd_strerror(err);
      return err;
    }
    down_ = false;
    moved_ = 0;
    full_credit();
    return 0;
  }

  void full_credit() noexcept {
    credit_ = static_cast<double>(settle_frames_);
    credited_ = driver_->now();
  }

  // A capture source that keeps no time, such as a file or a pipe that has ended under the file
  // plugin, is always ready and reads at once, for ever. The clock grants it frames at twice its
  // rate, on top of what may wait at a source: as much as counts as back, more than a full pipe
  // holds at 48 kHz. A read beyond that credit means the source has no clock left.
  bool within_clock(std::size_t frames) noexcept {
    const auto now = driver_->now();
    const double earned = kClockMargin * config_.sample_rate * std::chrono::duration<double>(now - credited_).count();
    credit_ = std::min(credit_ + earned, static_cast<double>(settle_frames_)) - static_cast<double>(frames);
    credited_ = now;
    return credit_ >= 0;
  }

  // True when the stream is dropped within `span`: the backoff never delays the drop.
  bool woken_within(std::chrono::milliseconds span) const noexcept {
    pollfd wake{wake_, POLLIN, 0};
    int r = 0;
    while ((r = ::poll(&wake, 1, static_cast<int>(span.count()))) < 0 && errno == EINTR) {
    }
    if (r < 0) std::this_thread::sleep_for(span);  // poll itself failing must not turn into a spin
    return r > 0;
  }

  void remind() {
    const auto now = driver_->now();
    if (now - reminded_ < kReminderEvery) return;
    reminded_ = now;
    events_(StreamEvent{StreamEvent::Kind::StillDown, last_error_,
                        std::chrono::duration_cast<std::chrono::minutes>(now - since_)});
  }

  // Back once a quarter second of audio, and at least two buffers, has moved without an error:
  // a pipe whose reader has gone still takes a buffer before it fails again. Capture is back only
  // with half its credit left: a source without a clock spends all of it before it fails again.
  void settle(std::size_t frames) {
    moved_ += frames;
    if (moved_ < settle_frames_ || (capture_ && 2 * credit_ < static_cast<double>(settle_frames_))) return;
    faulted_ = false;
    events_(StreamEvent{StreamEvent::Kind::Recovered});
  }

  PcmDriver* driver_;
  std::string name_;
  bool capture_;
  StreamConfig config_;
  int wake_;
  EventCallback events_;
  std::size_t settle_frames_;
  std::unique_ptr<Pcm> pcm_;  // only this worker touches it
  std::vector<pollfd> fds_;  // the PCM's descriptors, then the wake-up descriptor
  std::size_t period_ = 0;
  std::size_t capacity_ = 0;
  std::vector<float> block_;
  std::size_t ready_ = 0;
  // down_: the PCM must be retried before it is polled again. faulted_: an error was reported
  // and the stream has not yet been reported back.
  bool down_ = false;
  bool faulted_ = false;
  std::chrono::milliseconds backoff_ = kFirstBackoff;
  std::chrono::steady_clock::time_point since_, reminded_;
  std::string last_error_;
  std::size_t moved_ = 0;
  // Capture: the frames the clock still grants, as of credited_.
  double credit_ = 0;
  std::chrono::steady_clock::time_point credited_;
};

// What a stream and its worker share: the wake-up descriptor, and word that the worker has
// ended. A stop waits for that word only so long; a worker that a device holds in a call then
// keeps this, as it keeps everything else it uses.
struct WorkerLink {
  Fd wake;
  std::mutex mutex;
  std::condition_variable ended_cv;
  bool ended = false;

  explicit WorkerLink(Fd fd) : wake(std::move(fd)) {}
  void end() {
    {
      std::lock_guard lock(mutex);
      ended = true;
    }
    ended_cv.notify_all();
  }
  bool ends_within(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex);
    return ended_cv.wait_for(lock, bound, [this] { return ended; });
  }
};

std::atomic<int> left_behind{0};

class AlsaStream final : public Stream {
 public:
  explicit AlsaStream(std::shared_ptr<WorkerLink> link) : link_(std::move(link)) {}

  ~AlsaStream() override { (void)stop(); }

  // Named before the stream is handed out, so the name is there for as long as the stream is.
  template <class F>
  void spawn(const char* name, F&& body) {
    worker_ = std::thread(std::forward<F>(body));
    pthread_setname_np(worker_.native_handle(), name);
  }

  // Capture runs from the build and playback starts once its first buffer is written; nothing
  // pauses a stream, so there is no pause to lift. play() leaves the PCM alone: the worker may
  // hold it in a write that blocks (a pipe nobody reads), and the window must not wait for that.
  Result<void> play() override { return {}; }

  // A worker wakes within a period. One that does not is inside a device call that may never
  // return (a pipe whose peer stalls): waiting for it would hold the close for ever.
  bool stop() noexcept override {
    if (!worker_.joinable()) return true;  // stopped, or left behind, already
    const std::uint64_t one = 1;
    (void)!::write(link_->wake.get(), &one, sizeof one);
    if (link_->ends_within(kStopBound)) {
      worker_.join();
      return true;
    }
    worker_.detach();
    left_behind.fetch_add(1, std::memory_order_relaxed);
    return false;
  }

 private:
  std::shared_ptr<WorkerLink> link_;
  std::thread worker_;
};

template <class Callback>
Result<std::unique_ptr<Stream>> build_stream(PcmDriver& driver, const std::string& name,
                                             const StreamConfig& config, Callback data,
                                             EventCallback events) try {
  constexpr bool kCapture = std::is_same_v<Callback, CaptureCallback>;
  auto opened = driver.open(name, kCapture, config);
  if (!opened) return Error{opened.error()};
  std::unique_ptr<Pcm> pcm = std::move(opened).value();
  if constexpr (kCapture) {
    if (int err = pcm->start(); err < 0) return alsa_error(name, "snd_pcm_start", err);
  }
  Fd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wake.get() < 0) return Error{name + ": eventfd: " + std::strerror(errno)};

  auto link = std::make_shared<WorkerLink>(std::move(wake));
  auto stream = std::make_unique<AlsaStream>(link);
  Worker worker(driver, name, kCapture, config, std::move(pcm), link->wake.get(), std::move(events));
  stream->spawn(kCapture ? "cpal_alsa_in" : "cpal_alsa_out",
                [link, worker = std::move(worker), data = std::move(data)]() mutable noexcept {
                  worker.run(data);
                  link->end();
                });
  return std::unique_ptr<Stream>(std::move(stream));
} catch (const std::exception& e) {
  return Error{name + ": " + e.what()};
}

}  // namespace

int workers_left_behind() noexcept { return left_behind.load(std::memory_order_relaxed); }

Result<std::unique_ptr<Stream>> build_input_stream(PcmDriver& driver, const std::string& name,
                                                   const StreamConfig& config, CaptureCallback data,
                                                   EventCallback events) {
  return build_stream(driver, name, config, std::move(data), std::move(events));
}

Result<std::unique_ptr<Stream>> build_output_stream(PcmDriver& driver, const std::string& name,
                                                    const StreamConfig& config, PlaybackCallback data,
                                                    EventCallback events) {
  return build_stream(driver, name, config, std::move(data), std::move(events));
}

}  // namespace velmora::audio
