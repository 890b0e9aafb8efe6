#pragma once
// Failure messages show records as their JSON text instead of raw bytes.
#include <ostream>

#include "json_form.hpp"

namespace velmora {

inline void PrintTo(const ProcessorConfig& c, std::ostream* os) { *os << json_form::to_json(c); }
inline void PrintTo(const Preset& p, std::ostream* os) { *os << json_form::to_json(p); }

}  // namespace velmora
