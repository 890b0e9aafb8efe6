#pragma once
// Real ALSA without a sound card: a temporary HOME whose .asoundrc offers file-plugin PCMs over
// "null". "velmora_in" reads a FIFO and "velmora_out" writes one; a pump thread feeds a 440 Hz
// sine at 0.5 into the first and drains the second, both at 48 kHz, so the workers run at the
// pace of a real card; listen(false) closes the second FIFO's reader until listen(true).
// "velmora_dead" writes into a pipe whose reader has gone, "velmora_ended" captures from a file
// that has already ended, and "velmora_broken" is a card that does not exist. "default" pairs
// velmora_in and velmora_out.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace velmora::testing {

// The threads of this process named "cpal_alsa_…", with the nanoseconds each has run for.
inline std::map<std::string, long long> alsa_workers() {
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
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// A joined thread can still be listed for a moment after the join.
inline bool workers_gone() {
  return eventually([] { return alsa_workers().empty(); });
}

class AlsaSandbox {
 public:
  static constexpr float kAmplitude = 0.5f;

  // Without devices: no .asoundrc at all. With them, the pump runs until stop_pump.
  explicit AlsaSandbox(bool with_devices) {
    char tmpl[] = "/tmp/velmora-alsa-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    if (const char* home = std::getenv("HOME")) old_home_ = home;
    ::setenv("HOME", dir_.c_str(), 1);
    if (with_devices) {
      const std::string d = dir_.string(), in_path = d + "/in.fifo";
      out_path_ = d + "/out.fifo";
      ::mkfifo(in_path.c_str(), 0600), ::mkfifo(out_path_.c_str(), 0600);
      // Holding both ends keeps the plugin's opens from blocking and its reads and writes paced.
      in_ = ::open(in_path.c_str(), O_RDWR | O_NONBLOCK);
      out_ = ::open(out_path_.c_str(), O_RDWR | O_NONBLOCK);
      std::ofstream(dir_ / "ended.raw");
      const std::string file = "{ type file slave.pcm \"null\" format \"raw\" file ";
      std::ofstream rc(dir_ / ".asoundrc");  // closed before libasound reads it, below
      rc << "pcm.velmora_in " << file << "\"/dev/null\" infile \"" << in_path << "\" }\n";
      rc << "pcm.velmora_out " << file << '"' << out_path_ << "\" }\n";
      rc << "pcm.velmora_dead " << file << "\"|true\" }\n";
      rc << "pcm.velmora_ended " << file << "\"/dev/null\" infile \"" << d << "/ended.raw\" }\n";
      rc << "pcm.velmora_broken { type hw card 7 }\n";
      rc << "pcm.!default { type asym capture.pcm \"velmora_in\" playback.pcm \"velmora_out\" }\n";
      pump_ = std::thread([this] { pump(); });
    }
    snd_config_update_free_global();  // libasound re-reads the configuration under the new HOME
  }

  ~AlsaSandbox() {
    stop_pump();
    ::close(in_), ::close(out_);
    if (old_home_.empty()) ::unsetenv("HOME"); else ::setenv("HOME", old_home_.c_str(), 1);
    snd_config_update_free_global();
    std::filesystem::remove_all(dir_);
  }

  void listen(bool on) { listening_ = on; }
  // Bytes the playback device has written so far.
  std::size_t received() const { return received_; }

  // Call after the engine is dropped: a worker may sit in a FIFO read or write until then.
  // Returns the samples the playback device wrote.
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
    for (long fed = 0; !stop_; std::this_thread::sleep_for(std::chrono::milliseconds(2))) {  // frames fed
      const std::chrono::duration<double> since = std::chrono::steady_clock::now() - t0;
      const auto due = static_cast<long>(since.count() * 48000);
      for (; fed + kFrames <= due; fed += kFrames) {
        for (long i = 0; i < 2 * kFrames; ++i) chunk[i] = kAmplitude * static_cast<float>(std::sin(step * (fed + i / 2)));
        if (::write(in_, chunk.data(), chunk.size() * sizeof(float)) <= 0) break;
      }
      // Without a reader the FIFO fails its writer's writes; reopened, it has one again.
      if (listening_ != (out_ >= 0)) {
        out_ = out_ >= 0 ? (::close(out_), -1) : ::open(out_path_.c_str(), O_RDWR | O_NONBLOCK);
      }
      const auto due_bytes = static_cast<std::size_t>(due) * 2 * sizeof(float);
      for (ssize_t n = 1; out_ >= 0 && n > 0 && bytes_.size() < due_bytes;) {
        n = ::read(out_, got.data(), std::min(got.size(), due_bytes - bytes_.size()));
        if (n > 0) bytes_.insert(bytes_.end(), got.begin(), got.begin() + n);
      }
      received_ = bytes_.size();
    }
  }

  std::filesystem::path dir_;
  std::string old_home_, out_path_;
  int in_ = -1, out_ = -1;
  std::thread pump_;
  std::atomic<bool> stop_{false}, listening_{true};
  std::atomic<std::size_t> received_{0};
  std::vector<char> bytes_;
};

}  // namespace velmora::testing
