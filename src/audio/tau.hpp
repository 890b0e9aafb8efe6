#pragma once
// The pre-emphasis time constant. It belongs with the pre-emphasis code
// (audio/preemphasis.hpp includes this) but is also part of the settings file.
namespace velmora {

enum class Tau { Us50, Us75 };

// Seconds.
constexpr float tau_seconds(Tau t) noexcept { return t == Tau::Us50 ? 0.00005f : 0.000075f; }

}  // namespace velmora
