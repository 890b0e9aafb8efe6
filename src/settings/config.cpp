#include "settings/config.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>

#include "settings/file_io.hpp"
#include "settings/json_form.hpp"
#include "log.hpp"

namespace velmora {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kLogTarget = "velmora::config";

// A file that the last load could not use, kept until the first save that would replace it:
// its bytes when they could be read, else nothing, and the file itself is then moved aside.
// Only the GTK main thread loads and saves.
struct Refused {
  fs::path path;
  std::optional<std::string> bytes;
};
std::optional<Refused> refused;

// Puts the refused file beside it as "<name>.rechazado", replacing an older one, so that
// the user's settings in it survive the save. When the copy can't be made (a read-only
// folder), that is logged and the save goes on all the same: stopping there would lose every
// later save too, and make each start a first run.
void keep_refused_file(const fs::path& path, spdlog::logger& logger) {
  if (!refused || refused->path != path) return;
  const fs::path copy = fs::path(path) += ".rechazado";
  Result<void> kept;
  if (refused->bytes) {
    kept = write_file_atomically(copy, *refused->bytes);
  } else {
    std::error_code ec;
    fs::rename(path, copy, ec);
    if (ec == std::errc::no_such_file_or_directory) {  // gone since the load: nothing to keep
      refused.reset();
      return;
    }
    if (ec) kept = Error{ec.message()};
  }
  if (!kept) {
    // Kept as refused until the save replaces the file, so that a save that fails too tries again.
    logger.warn("Config rechazado {} no conservado en {}: {}; se guarda encima", log::debug_quoted(path.native()),
                log::debug_quoted(copy.native()), kept.error());
    return;
  }
  logger.warn("Config rechazado {} conservado en {}", log::debug_quoted(path.native()),
              log::debug_quoted(copy.native()));
  refused.reset();
}

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

ProcessorConfig ProcessorConfig::cargar() { return leer().config; }

ConfigLoad ProcessorConfig::leer() {
  const fs::path path = config_path();
  FileRead file = read_settings_file(path);
  refused.reset();
  if (file.outcome == FileRead::Outcome::Missing) return {};
  if (file.outcome == FileRead::Outcome::Read) {
    if (std::optional<ProcessorConfig> cfg = json_form::config_from_json(file.bytes)) return {std::move(*cfg), true};
    refused = Refused{path, std::move(file.bytes)};
  } else {
    refused = Refused{path, std::nullopt};
  }
  return {};
}

void ProcessorConfig::guardar() const {
  auto& logger = log::get(kLogTarget);
  const fs::path path = config_path();
  const fs::path folder = path.parent_path();
  if (!create_folders(folder)) {
    logger.error("No se pudo crear directorio de config: {}", log::debug_quoted(folder.native()));
    return;
  }
  keep_refused_file(path, logger);
  // The writer cannot fail: a non-finite value is written as null.
  const std::string text = json_form::to_json(*this);
  if (const Result<void> written = write_file_atomically(path, text); !written) {
    logger.error("Error guardando config en {}: {}", log::debug_quoted(path.native()), written.error());
    return;
  }
  if (refused && refused->path == path) refused.reset();  // replaced without a copy

  logger.debug("Config guardado: {}  last_preset={}", log::debug_quoted(path.native()),
               log::debug_quoted(last_preset));
}

}  // namespace velmora
