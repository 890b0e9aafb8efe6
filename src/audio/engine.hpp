#pragma once
// The running capture and playback streams. There is no stop: dropping the engine stops the audio.
#include <memory>

#include "config.hpp"
#include "result.hpp"
#include "shared_state.hpp"

namespace velmora {

class AudioEngine {
 public:
  // Opens the configured devices, builds the processing chain and starts both streams.
  static Result<AudioEngine> start(SharedConfig config, std::shared_ptr<SharedState> shared);

  AudioEngine(AudioEngine&&) noexcept;
  AudioEngine& operator=(AudioEngine&&) noexcept;
  ~AudioEngine();

 private:
  struct Streams;
  explicit AudioEngine(std::unique_ptr<Streams> streams);
  std::unique_ptr<Streams> streams_;
};

}  // namespace velmora
