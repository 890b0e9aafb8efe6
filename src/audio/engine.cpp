// Placeholder until the ALSA engine lands: starting reports that there is no audio.
#include "audio/engine.hpp"

namespace velmora {

struct AudioEngine::Streams {};

Result<AudioEngine> AudioEngine::start(SharedConfig, std::shared_ptr<SharedState>) {
  return Error{"motor de audio no disponible"};
}

AudioEngine::AudioEngine(std::unique_ptr<Streams> streams) : streams_(std::move(streams)) {}
AudioEngine::AudioEngine(AudioEngine&&) noexcept = default;
AudioEngine& AudioEngine::operator=(AudioEngine&&) noexcept = default;
AudioEngine::~AudioEngine() = default;

}  // namespace velmora
