#pragma once
// Whole-file reads and the one way user files are replaced: a temporary file in
// the same folder, flushed to disk, then renamed over the old one, so a crash or
// a full disk leaves either the old content or the new, never a truncated file.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "result.hpp"

namespace velmora {

// No settings file comes near this; anything larger is not one (a runaway or endless file).
inline constexpr std::size_t kMaxSettingsFileBytes = std::size_t{16} << 20;

struct FileRead {
  enum class Outcome { Read, Missing, Unreadable };
  Outcome outcome;
  std::string bytes;  // when Read
};

// The bytes of a regular file of at most kMaxSettingsFileBytes. Anything else (a FIFO, a
// device, a folder, a larger file, no permission) is Unreadable, and opening never blocks.
FileRead read_settings_file(const std::filesystem::path& path);

// Creates the folder and every missing one above it (0777 before the umask); an existing folder is fine.
// The error text is the operating system's own.
Result<void> create_folders(const std::filesystem::path& folder);

// Replaces `path` with exactly `bytes`, unless a direct write would be refused (a read-only
// file). On failure the old file is untouched, the temporary file is removed and the error
// text is the operating system's own. When the folder refuses the temporary file for lack
// of permission, an existing file is written in place instead (logged at debug level).
Result<void> write_file_atomically(const std::filesystem::path& path, std::string_view bytes);

// Removes from `folder` the temporary files that saves cut short (a kill, a power cut) left
// behind: regular files named as write_file_atomically names them, except those of another
// process that is still running and may be writing them right now.
void remove_leftover_temp_files(const std::filesystem::path& folder);

}  // namespace velmora
