#pragma once
// The device layer on libasound. Devices come from the PCM name hints ("null" skipped, kept
// only when they open in the direction asked for); the default device is "default"; a name the
// hints leave out ("hw:1,0", "plug:mine") is a device when it opens. Each stream
// runs one worker thread ("cpal_alsa_in" or "cpal_alsa_out") that polls the PCM plus a wake-up
// descriptor:
//
//   poll ──> avail >= period? ──> capture:  readi ──> callback(block)
//     ^                      └──> playback: callback(block) ──> writei
//     └── xrun / suspend: recover and go on
//         anything else, a transfer of nothing and capture faster than its clock included (a
//         source that has ended): report once, then retry after a wait of 10 ms doubling up to
//         1 s, spent on the wake-up descriptor: prepare, or when that fails reopen with the same
//         parameters; report once more when a quarter second of audio has moved again, and
//         remind once a minute while the device stays away
//
// libasound's own messages go to the debug log (target velmora::audio::alsa), and SIGPIPE is
// blocked in the workers, so a pipe PCM whose reader dies fails its writes instead of the program.
#include <poll.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "audio/device.hpp"

namespace velmora::audio {

std::unique_ptr<Host> default_host();

// The calls a stream's worker makes on its open PCM, so that tests can put a device under the
// worker that fails on demand. Results follow libasound: frames or 0, else a negative errno.
class Pcm {
 public:
  virtual ~Pcm() = default;  // closes the device

  virtual std::size_t buffer_frames() const noexcept = 0;
  virtual std::size_t period_frames() const noexcept = 0;
  virtual std::span<const pollfd> descriptors() const noexcept = 0;
  // What polling `fds` (a copy of descriptors() after poll) means for the PCM.
  virtual int revents(std::span<pollfd> fds, unsigned short& events) noexcept = 0;
  // The error behind a POLLERR, from the state the PCM is left in.
  virtual int state_error() noexcept = 0;
  virtual long avail() noexcept = 0;
  virtual long read(float* block, std::size_t frames) noexcept = 0;
  virtual long write(const float* block, std::size_t frames) noexcept = 0;
  virtual int recover(int err) noexcept = 0;  // after an xrun or a suspend
  virtual int prepare() noexcept = 0;
  virtual int start() noexcept = 0;
};

class PcmDriver {
 public:
  virtual ~PcmDriver() = default;

  // Opens and configures `name` for the stream, ready to poll.
  virtual Result<std::unique_ptr<Pcm>> open(const std::string& name, bool capture,
                                            const StreamConfig& config) = 0;
  // The clock of the capture's rate check and of the reminders while a device stays away.
  virtual std::chrono::steady_clock::time_point now() const { return std::chrono::steady_clock::now(); }
};

// "<device>: <call>: <libasound's text for err>".
Error alsa_error(const std::string& device, const char* call, int err);

// A stream as the ALSA devices build it, on `driver`'s PCMs; the driver outlives the stream.
Result<std::unique_ptr<Stream>> build_input_stream(PcmDriver& driver, const std::string& name,
                                                   const StreamConfig& config, CaptureCallback data,
                                                   EventCallback events);
Result<std::unique_ptr<Stream>> build_output_stream(PcmDriver& driver, const std::string& name,
                                                    const StreamConfig& config, PlaybackCallback data,
                                                    EventCallback events);

// How many stream workers have been left behind, held in a device call, since the process
// started. Once there is one, the process must end without tearing down anything that such a
// worker may still reach: no static destructors, no library teardown.
int workers_left_behind() noexcept;

}  // namespace velmora::audio
