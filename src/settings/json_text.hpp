#pragma once
// Strict JSON, checked once in full and then read in place: a value is a position in
// the text, and its elements, members, strings and numbers are found when asked for.
// Nothing is copied into a tree, so a file full of unknown keys, however large or deep,
// costs no memory beyond its own text.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace velmora {

// JSON's two-character escapes: the letter after the backslash and the character it stands
// for. The reader also takes "\/" for "/", which the writer leaves plain.
inline constexpr std::array<std::pair<char, char>, 7> kJsonShortEscapes{
    {{'"', '"'}, {'\\', '\\'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}}};

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  Kind kind() const;
  // A Bool's value.
  bool boolean() const;
  // A Number's text as written ("-0", "120", "1.5e-3"); every number is kept exactly so.
  std::string_view number() const;
  // A String's value with its escapes decoded; always valid UTF-8.
  std::string string() const;
  // An Array's elements (with an empty key) or an Object's members, in text order. Stops
  // and returns false as soon as f does.
  bool each(const std::function<bool(std::string_view key, const JsonValue& value)>& f) const;
  // The number of elements or members.
  std::size_t size() const;

 private:
  friend std::optional<JsonValue> parse_json(std::string_view text);
  JsonValue(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}

  std::string_view text_;  // the whole checked text
  std::size_t pos_;        // the value's first byte
};

// The top-level value, when `text` is valid UTF-8 holding one JSON value with nothing but
// blanks, tabs, line feeds and carriage returns around it (a byte-order mark is not one).
// Numbers of any size are accepted here; the reader of each field decides.
std::optional<JsonValue> parse_json(std::string_view text);

}  // namespace velmora
