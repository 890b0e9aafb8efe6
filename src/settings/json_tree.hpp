#pragma once
// A strict JSON parse, by nlohmann's SAX parser, into a small tree that keeps what a DOM
// would lose: a number's text as written and every repeated key. Only what the reader of
// the settings files can use is kept, so the tree stays small whatever the file holds.
#include <locale.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// What the reader can use; the rest of the file is counted, not kept.
struct JsonLimits {
  std::size_t depth;                       // containers nested deeper become Unread
  std::size_t elements;                    // an array keeps at most this many elements
  std::span<const std::string_view> keys;  // an object keeps only members with these keys
};

struct JsonNode {
  // Unread: a container nested too deep, or the value of a key given twice.
  enum class Kind { Null, Bool, Number, String, Array, Object, Unread };
  JsonNode() = default;
  explicit JsonNode(Kind k) : kind(k) {}

  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;               // a String's value, or a Number's text as written ("-0", "1.5e-3")
  std::size_t count = 0;          // an Array's elements or an Object's members, kept or not
  std::vector<std::string> keys;  // the kept members' keys, parallel to items
  std::vector<JsonNode> items;    // the kept elements or member values, in text order
};

// One JSON value with nothing but JSON whitespace around it; valid UTF-8, no byte-order
// mark. A kept key given again is kept once more with an Unread value, so the reader sees
// the repeat; a third time it is only counted.
std::optional<JsonNode> parse_json_tree(std::string_view text, const JsonLimits& limits);

// The C locale, in which a Number's text is written and is to be converted whatever
// LC_NUMERIC says (GTK sets it from the environment).
locale_t c_locale();

}  // namespace velmora
