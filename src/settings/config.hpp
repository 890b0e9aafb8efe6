#pragma once
// "config.json": where it lives, and the one live configuration that the window and
// the audio engine share.
#include <filesystem>
#include <memory>

#include "settings/records.hpp"
#include "sync.hpp"

namespace velmora {

// The user's configuration directory: $XDG_CONFIG_HOME if absolute, else <home>/.config, else ".".
std::filesystem::path config_dir();
// <config_dir>/velmora/config.json; reads the environment anew on each call.
std::filesystem::path config_path();

using ConfigCell = Guarded<ProcessorConfig>;
using SharedConfig = std::shared_ptr<ConfigCell>;

inline SharedConfig make_shared_config(ProcessorConfig cfg) {
  return std::make_shared<ConfigCell>(std::move(cfg));
}

}  // namespace velmora
