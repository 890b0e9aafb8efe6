#include "audio/engine.hpp"

#include <spdlog/fmt/fmt.h>

#include <exception>
#include <string>
#include <utility>

#include "audio/alsa.hpp"
#include "audio/chain.hpp"
#include "log.hpp"

namespace velmora {
namespace {

constexpr std::string_view kTarget = "velmora::audio::engine";
constexpr std::uint16_t kChannels = 2;
// input_buffer is trimmed above three times this many buffers' worth of samples.
constexpr std::uint64_t kCaptureBuffersKept = 8;

spdlog::logger& logger() { return log::get(kTarget); }

// A name the layer cannot give is shown as the empty text.
std::string name_or_empty(const audio::Device& device) {
  auto name = device.name();
  return name ? std::move(name).value() : std::string{};
}

// Past this many frames the device and capture buffers stop being sizes a live processor can
// use: 10^8 frames took gigabytes and seconds to close.
constexpr std::uint32_t kMaxBufferSize = 1u << 20;

Result<void> check_buffer_size(std::uint32_t frames) {
  if (frames == 0) return Error{"Tamaño de búfer no válido: 0 frames"};
  if (frames <= kMaxBufferSize) return {};
  return Error{fmt::format("Tamaño de búfer no válido: {} frames (máximo {})", frames, kMaxBufferSize)};
}

// `stream` is "entrada" or "salida". Runs on the stream's worker, never in its audio callback.
void log_stream_event(std::string_view stream, const audio::StreamEvent& event) {
  switch (event.kind) {
    case audio::StreamEvent::Kind::Error:
      logger().error("Error {} CPAL: {}", stream, event.text);
      break;
    case audio::StreamEvent::Kind::StillDown:
      logger().warn("Stream de {} sigue caído desde hace {} min: {}", stream, event.down.count(), event.text);
      break;
    case audio::StreamEvent::Kind::Recovered:
      logger().info("Stream de {} recuperado", stream);
      break;
  }
}

// The capture callback, run by the capture worker for each block it has read: the ring takes it
// without waiting and keeps the newest 3 × limit samples.
void input_callback(InputRing& input_buffer, std::span<const float> block) noexcept { input_buffer.append(block); }

// A worker that its device holds past the bound is left behind, owning what it uses, so that the
// close can go on to its exit: everything the user owns is saved by then.
void stop_stream(std::unique_ptr<audio::Stream>& stream, std::string_view name) noexcept {
  if (stream && !stream->stop()) {
    logger().error("Stream de {} no se detuvo en {} s: el dispositivo no lo suelta", name, audio::kStopBound.count());
  }
  stream.reset();
}

void input_error_callback(const audio::StreamEvent& event) { log_stream_event("entrada", event); }
void output_error_callback(const audio::StreamEvent& event) { log_stream_event("salida", event); }

}  // namespace

Result<std::unique_ptr<audio::Device>> resolve_device(audio::Host& host, bool capture, std::string_view wanted) {
  auto listed = capture ? host.input_devices() : host.output_devices();
  if (!listed) return Error{listed.error()};
  std::unique_ptr<audio::Device> fallback = capture ? host.default_input_device() : host.default_output_device();
  const std::string_view stream = capture ? "entrada" : "salida";
  if (!wanted.empty()) {
    for (auto& device : listed.value()) {
      auto name = device->name();
      if (name && name.value() == wanted) return std::move(device);
    }
    auto named = host.named_device(std::string(wanted), capture);
    if (named) return std::move(named).value();
    if (fallback) {
      logger().warn("Dispositivo de {} {} no disponible, se usa el predeterminado: {}", stream, wanted, named.error());
    }
  }
  if (!fallback) return Error{fmt::format("Sin dispositivo de {}", stream)};
  return fallback;
}

Result<AudioEngine> AudioEngine::start(SharedConfig config, std::shared_ptr<SharedState> shared) {
  auto host = audio::default_host();
  return start_with(*host, std::move(config), std::move(shared));
}

Result<AudioEngine> AudioEngine::start_with(audio::Host& host, SharedConfig config,
                                            std::shared_ptr<SharedState> shared) {
  // The lock is held for the copy alone; everything below reads the copy.
  ProcessorConfig copy;
  {
    auto guard = config->lock();
    if (!guard.ok()) return Error{"Configuración ilegible: su cerrojo quedó envenenado"};
    copy = *guard;
  }
  if (auto valid = check_buffer_size(copy.buffer_size); !valid) return Error{valid.error()};
  if (auto valid = check_sample_rate(copy.sample_rate); !valid) return Error{valid.error()};

  auto input = resolve_device(host, true, copy.input_device);
  if (!input) return Error{input.error()};
  auto output = resolve_device(host, false, copy.output_device);
  if (!output) return Error{output.error()};

  if (logger().should_log(spdlog::level::info)) {
    logger().info("Entrada:  {}", name_or_empty(*input.value()));
    logger().info("Salida:   {}", name_or_empty(*output.value()));
  }

  const audio::StreamConfig stream_config{kChannels, copy.sample_rate, copy.buffer_size};
  const std::uint64_t limit = std::uint64_t{copy.buffer_size} * kCaptureBuffersKept;
  InputBuffer input_buffer;
  try {
    input_buffer = make_input_buffer(limit);
  } catch (const std::exception&) {  // bad_alloc or length_error
    return Error{fmt::format("Sin memoria para el búfer de captura de {} muestras (buffer_size {})",
                             limit, copy.buffer_size)};
  }

  const std::uint64_t bands = active_band_count(copy.num_bands);
  auto chain = ProcessingChain::build(copy, shared, input_buffer, config);
  if (!chain) return Error{chain.error()};

  auto capture = input.value()->build_input_stream(
      stream_config,
      [buffer = input_buffer](std::span<const float> block) noexcept { input_callback(*buffer, block); },
      input_error_callback);
  if (!capture) return Error{capture.error()};
  std::unique_ptr<audio::Stream> input_stream = std::move(capture).value();

  // The chain is large and owned by the playback callback alone; it lives on the heap so the
  // callback stays cheap to move.
  auto owned = std::make_shared<ProcessingChain>(std::move(chain).value());
  auto playback = output.value()->build_output_stream(
      stream_config, [owned](std::span<float> out) noexcept { owned->output_callback(out); },
      output_error_callback);
  owned.reset();
  if (!playback) {
    stop_stream(input_stream, "entrada");
    return Error{playback.error()};
  }
  std::unique_ptr<audio::Stream> output_stream = std::move(playback).value();

  Result<void> played = input_stream->play();
  if (played) played = output_stream->play();
  if (!played) {
    stop_stream(output_stream, "salida");
    stop_stream(input_stream, "entrada");
    return Error{played.error()};
  }

  logger().info("AudioEngine activo — {} bandas @ {} Hz", bands, copy.sample_rate);
  return AudioEngine(std::move(input_stream), std::move(output_stream));
}

AudioEngine::AudioEngine(std::unique_ptr<audio::Stream> input,
                         std::unique_ptr<audio::Stream> output) noexcept
    : input_stream_(std::move(input)), output_stream_(std::move(output)) {}

AudioEngine::AudioEngine(AudioEngine&&) noexcept = default;

AudioEngine& AudioEngine::operator=(AudioEngine&& other) noexcept {
  if (this != &other) {
    stop();
    input_stream_ = std::move(other.input_stream_);
    output_stream_ = std::move(other.output_stream_);
  }
  return *this;
}

AudioEngine::~AudioEngine() { stop(); }

void AudioEngine::stop() noexcept {
  if (!input_stream_ && !output_stream_) return;  // moved from
  logger().info("AudioEngine detenido");
  stop_stream(input_stream_, "entrada");
  stop_stream(output_stream_, "salida");
}

}  // namespace velmora
