// velmora-stream: runs raw interleaved f32 little-endian stereo from standard input
// through the playback callback in blocks of 512 frames (each block goes into the
// capture buffer, then the callback fills the output block) and writes the result to
// standard output. A measuring tool, not part of the program.
//
//   velmora-stream [--preset NAME] [--rate HZ] [--mpx] < in.f32 > out.f32
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "audio/chain.hpp"
#include "settings/presets.hpp"

namespace {

constexpr std::size_t kBlockSamples = 512 * 2;

int usage(const char* why) {
  std::fprintf(stderr, "velmora-stream: %s\nuso: velmora-stream [--preset NOMBRE] [--rate HZ] [--mpx] < in.f32 > out.f32\n",
               why);
  return 2;
}

void to_host_order(std::vector<float>& v, std::size_t n) {
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < n; ++i) v[i] = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(v[i])));
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora;
  std::string preset_name = "ROCK";
  std::uint32_t rate = 48000;
  bool mpx = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--mpx") {
      mpx = true;
    } else if (a == "--preset" && i + 1 < argc) {
      preset_name = argv[++i];
    } else if (a == "--rate" && i + 1 < argc) {
      const std::string_view v = argv[++i];
      if (std::from_chars(v.data(), v.data() + v.size(), rate).ec != std::errc{}) return usage("--rate necesita un entero");
    } else {
      return usage(("opción desconocida: " + std::string(a)).c_str());
    }
  }

  ProcessorConfig cfg;
  const Preset* preset = nullptr;
  for (const Preset& p : builtin_presets()) {
    if (p.name == preset_name) preset = &p;
  }
  if (preset == nullptr) return usage(("preset desconocido: " + preset_name).c_str());
  preset->apply(cfg);
  cfg.sample_rate = rate;
  cfg.mpx.enabled = mpx;

  auto shared = SharedState::create();
  InputBuffer input = make_input_buffer(kBlockSamples * 2);
  auto built = ProcessingChain::build(cfg, shared, input, make_shared_config(cfg));
  if (!built) return usage(built.error().c_str());
  ProcessingChain chain = std::move(built).value();

  std::vector<float> in(kBlockSamples), out(kBlockSamples);
  for (;;) {
    const std::size_t got = std::fread(in.data(), sizeof(float), kBlockSamples, stdin);
    const std::size_t n = got - got % 2;
    if (n == 0) break;
    to_host_order(in, n);
    input->append(std::span<const float>(in.data(), n));
    chain.output_callback(std::span<float>(out.data(), n));
    to_host_order(out, n);
    if (std::fwrite(out.data(), sizeof(float), n, stdout) != n) return 1;
    if (got < kBlockSamples) break;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
