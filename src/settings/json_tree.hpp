#pragma once
// A strict JSON parse into a small tree that keeps what a DOM would lose: integer
// versus fraction, a float's own digits and every repeated key. The reader of the
// settings files applies its rules to this tree.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct JsonNode {
  enum class Kind { Null, Bool, Unsigned, Signed, Float, String, Array, Object, Nested };
  JsonNode() = default;
  explicit JsonNode(Kind k) : kind(k) {}

  Kind kind = Kind::Null;
  bool boolean = false;
  std::uint64_t unsigned_value = 0;  // a non-negative integer
  std::int64_t signed_value = 0;     // a negative integer, or 0 written "-0"
  double float_value = 0.0;
  std::string text;                  // a string's value, or a float's digits as written
  std::vector<std::string> keys;     // an object's member names, parallel to items
  std::vector<JsonNode> items;       // array elements or object member values
};

// One JSON value followed by nothing but whitespace; no byte-order mark, valid UTF-8.
// Containers deeper than `max_depth` are kept only as a Nested node without content.
std::optional<JsonNode> parse_json_tree(std::string_view text, std::size_t max_depth);

}  // namespace velmora
