#pragma once
// Real ALSA without a sound card: a temporary HOME whose .asoundrc offers file-plugin PCMs over
// "null". "velmora_in" reads a FIFO and "velmora_out" writes one; a pump thread feeds a 440 Hz
// sine at 0.5 into the first and drains the second, both at 48 kHz, so the workers run at the
// pace of a real card; listen(false) closes the second FIFO's reader until listen(true).
// "velmora_dead" writes into a pipe whose reader has gone, which fails on
// every write. "default" pairs velmora_in and velmora_out.
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
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::testing {

// The threads of this process named "cpal_alsa_…", with the nanoseconds each has run for.
inline std::map<std::string, long long> alsa_workers() {
  std::map<std::string, long long> out;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    if (name.rfind("cpal_alsa_", 0) != 0) continue;
    long long ns = 0;
    std::ifstream(task.path() / "schedstat") >> ns;
    out[name] = ns;
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
      const std::string d = dir_.string();
      ::mkfifo((d + "/in.fifo").c_str(), 0600);
      ::mkfifo((d + "/out.fifo").c_str(), 0600);
      // Holding both ends keeps the plugin's opens from blocking and its reads and writes paced.
      in_ = ::open((d + "/in.fifo").c_str(), O_RDWR | O_NONBLOCK);
      out_path_ = d + "/out.fifo";
      out_ = ::open(out_path_.c_str(), O_RDWR | O_NONBLOCK);
      std::ofstream(dir_ / ".asoundrc")
          << "pcm.velmora_in { type file slave.pcm \"null\" file \"/dev/null\" infile \"" << d
          << "/in.fifo\" format \"raw\" }\npcm.velmora_out { type file slave.pcm \"null\" file \"" << d
          << "/out.fifo\" format \"raw\" }\npcm.velmora_dead { type file slave.pcm \"null\" file \"|true\" "
             "format \"raw\" }\npcm.velmora_broken { type hw card 7 }\n"
             "pcm.!default { type asym capture.pcm \"velmora_in\" playback.pcm \"velmora_out\" }\n";
      pump_ = std::thread([this] { pump(); });
    }
    snd_config_update_free_global();  // libasound re-reads the configuration under the new HOME
  }

  ~AlsaSandbox() {
    stop_pump();
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
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
    constexpr int kFrames = 512;  // one write of 4096 bytes, atomic on a pipe
    constexpr double kRate = 48000.0;
    const auto t0 = std::chrono::steady_clock::now();
    long fed = 0;  // frames
    std::vector<float> chunk(2 * kFrames);
    std::vector<char> got(65536);
    while (!stop_) {
      const long due = static_cast<long>(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() * kRate);
      while (fed + kFrames <= due) {
        for (int i = 0; i < kFrames; ++i) {
          const double phase = 2.0 * std::numbers::pi * 440.0 * static_cast<double>(fed + i) / kRate;
          chunk[2 * i] = chunk[2 * i + 1] = kAmplitude * static_cast<float>(std::sin(phase));
        }
        if (::write(in_, chunk.data(), chunk.size() * sizeof(float)) <= 0) break;
        fed += kFrames;
      }
      if (listening_ != (out_ >= 0)) {
        // Without a reader the FIFO fails its writer's writes; reopened, it has one again.
        if (out_ >= 0) ::close(std::exchange(out_, -1));
        else out_ = ::open(out_path_.c_str(), O_RDWR | O_NONBLOCK);
      }
      const long due_bytes = due * 2 * static_cast<long>(sizeof(float));
      while (out_ >= 0 && static_cast<long>(bytes_.size()) < due_bytes) {
        const long want = std::min<long>(static_cast<long>(got.size()), due_bytes - static_cast<long>(bytes_.size()));
        const ssize_t n = ::read(out_, got.data(), static_cast<std::size_t>(want));
        if (n <= 0) break;
        bytes_.insert(bytes_.end(), got.begin(), got.begin() + n);
      }
      received_ = bytes_.size();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::filesystem::path dir_;
  std::string old_home_;
  int in_ = -1;
  int out_ = -1;
  std::string out_path_;
  std::thread pump_;
  std::atomic<bool> stop_{false}, listening_{true};
  std::atomic<std::size_t> received_{0};
  std::vector<char> bytes_;
};

}  // namespace velmora::testing
