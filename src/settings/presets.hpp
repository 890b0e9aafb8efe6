#pragma once
// Presets: the built-in table and the user preset files.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/records.hpp"

namespace velmora {

// The six built-ins, in their fixed order.
const std::vector<Preset>& builtin_presets();
// <config_dir>/velmora/presets; creates nothing.
std::filesystem::path presets_dir();
// The built-ins followed by the user presets sorted by name bytes (stable). Never fails.
std::vector<Preset> all_presets();
void remove_presets_named(std::vector<Preset>& list, std::string_view name);
// Letters and numbers (Unicode) and "-" kept, everything else becomes "_".
std::string preset_file_stem(std::string_view name);

}  // namespace velmora
