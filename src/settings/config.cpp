#include "settings/config.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/file_io.hpp"
#include "settings/json_form.hpp"
#include "log.hpp"

namespace velmora {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kLogTarget = "velmora::config";

std::string home_dir() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return {};
}

}  // namespace

fs::path config_dir() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return xdg;
  if (const std::string home = home_dir(); !home.empty()) return fs::path(home) / ".config";
  return ".";
}

fs::path config_path() { return config_dir() / "velmora" / "config.json"; }

ProcessorConfig ProcessorConfig::cargar() {
  const std::optional<std::string> text = read_whole_file(config_path());
  if (!text) return {};
  return json_form::config_from_json(*text).value_or(ProcessorConfig{});
}

void ProcessorConfig::guardar() const {
  auto& logger = log::get(kLogTarget);
  const fs::path path = config_path();
  const fs::path folder = path.parent_path();
  if (!create_folders(folder)) {
    logger.error("No se pudo crear directorio de config: {}", log::debug_quoted(folder.native()));
    return;
  }
  // The writer cannot fail: a non-finite value is written as null.
  const std::string text = json_form::to_json(*this);
  if (const Result<void> written = write_file_atomically(path, text); !written) {
    logger.error("Error guardando config en {}: {}", log::debug_quoted(path.native()), written.error());
    return;
  }
  logger.debug("Config guardado: {}  last_preset={}", log::debug_quoted(path.native()),
               log::debug_quoted(last_preset));
}

}  // namespace velmora
