#pragma once
// The one JSON form of the settings records, shared by "config.json" and the
// preset files: an exact pretty writer and a strict reader. Band and multiplex
// entries go through the same code in both files, so they look alike.
#include <optional>
#include <string>
#include <string_view>

#include "settings/records.hpp"

namespace velmora::json_form {

// Two-blank pretty JSON, keys in field order, no newline after the last brace.
std::string to_json(const ProcessorConfig& cfg);
std::string to_json(const Preset& preset);

// Nothing when the text breaks any reading rule; a record is never half read.
// `last_preset` is the one optional key; every other key is required.
std::optional<ProcessorConfig> config_from_json(std::string_view text);
std::optional<Preset> preset_from_json(std::string_view text);

// Shortest text that reads back as the same f32 ("120.0", "-0.3", "1e-7"); null when not finite.
std::string f32_text(float v);
// The value in double quotes with JSON's short escapes; other text stays UTF-8 (bytes that
// are not UTF-8 become U+FFFD).
std::string string_text(std::string_view s);

}  // namespace velmora::json_form
