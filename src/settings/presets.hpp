#pragma once
// Presets: the built-in table and the user preset files.
#include <filesystem>
#include <functional>
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
// One step of a folder listing: the next file name, an error that the listing reported, or the end.
struct ListingStep {
  enum class Kind { Name, Error, End };
  Kind kind;
  std::string name;
};
// The presets among the files that `next` lists in `folder`, in listing order. A step that
// reports an error is skipped; only a listing that keeps failing ends the walk early.
std::vector<Preset> load_user_presets(const std::filesystem::path& folder,
                                      const std::function<ListingStep()>& next);
bool holds_preset_named(const std::vector<Preset>& list, std::string_view name);
void remove_presets_named(std::vector<Preset>& list, std::string_view name);
// Letters and numbers (Unicode) and "-" kept, everything else becomes "_".
std::string preset_file_stem(std::string_view name);

}  // namespace velmora
