#pragma once
// Whole-file reads and the one way user files are replaced: a temporary file in
// the same folder, flushed to disk, then renamed over the old one, so a crash or
// a full disk leaves either the old content or the new, never a truncated file.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "result.hpp"

namespace velmora {

// The file's bytes, or nothing when it can't be opened or read (a folder included).
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

// Creates the folder and every missing one above it (0777 before the umask); an existing folder is fine.
// The error text is the operating system's own.
Result<void> create_folders(const std::filesystem::path& folder);

// Replaces `path` with exactly `bytes`, unless a direct write would be refused (a read-only
// file). On failure the old file is untouched, the temporary file is removed and the error
// text is the operating system's own.
Result<void> write_file_atomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace velmora
