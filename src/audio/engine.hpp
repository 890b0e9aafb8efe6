#pragma once
// The running capture and playback streams. There is no stop: dropping the engine stops the audio.
//
//   capture device ──append──> input_buffer ──take──> ProcessingChain ──> playback device
//   ("cpal_alsa_in")          (lock-free ring)          ("cpal_alsa_out")
#include <memory>
#include <string_view>

#include "audio/device.hpp"
#include "audio/input_buffer.hpp"
#include "settings/config.hpp"
#include "result.hpp"
#include "shared_state.hpp"

namespace velmora {

class AudioEngine {
 public:
  // Opens the configured devices, builds the processing chain and starts both streams.
  static Result<AudioEngine> start(SharedConfig config, std::shared_ptr<SharedState> shared);
  // The same on a given audio layer.
  static Result<AudioEngine> start_with(audio::Host& host, SharedConfig config,
                                        std::shared_ptr<SharedState> shared);

  AudioEngine(AudioEngine&&) noexcept;
  AudioEngine& operator=(AudioEngine&&) noexcept;
  ~AudioEngine();

 private:
  AudioEngine(std::unique_ptr<audio::Stream> input, std::unique_ptr<audio::Stream> output) noexcept;
  // Logs the stop, then drops capture before playback.
  void stop() noexcept;

  std::unique_ptr<audio::Stream> input_stream_;
  std::unique_ptr<audio::Stream> output_stream_;
};

// The capture or playback device to open: the default for an empty name; else the first listed
// device whose name reads back byte for byte equal to `wanted`; else the device of that name when
// it opens; else the default, with a warning. Fails as the list does, or without a default.
Result<std::unique_ptr<audio::Device>> resolve_device(audio::Host& host, bool capture, std::string_view wanted);

}  // namespace velmora
