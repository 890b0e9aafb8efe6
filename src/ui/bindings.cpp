#include "ui/bindings.hpp"

namespace velmora::ui {

std::optional<ProcessorConfig> copy_config(const SharedConfig& config) {
  std::optional<ProcessorConfig> copy;
  config->with([&](const ProcessorConfig& c) { copy = c; });
  return copy;
}

}  // namespace velmora::ui
