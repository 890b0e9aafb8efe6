#include "settings/json_tree.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>

namespace velmora {
namespace {

using Kind = JsonNode::Kind;

// Floats lexed as long double, so that an unknown key may hold a number beyond a double
// (1e400) without failing the parse; the reader of each field decides about its own.
// Numbers beyond even a long double (about 1.2e4932) are tamed before the parse.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, long double>;

class TreeBuilder {
 public:
  explicit TreeBuilder(const JsonLimits& limits) : limits_(limits) {}

  bool null() { return scalar(JsonNode{}); }
  bool boolean(bool v) {
    JsonNode n{Kind::Bool};
    n.boolean = v;
    return scalar(std::move(n));
  }
  bool number_unsigned(std::uint64_t v) { return number(std::to_string(v)); }
  // nlohmann reports "-0" as the signed integer 0 (a plain "0" is unsigned).
  bool number_integer(std::int64_t v) { return number(v == 0 ? "-0" : std::to_string(v)); }
  // Also integers beyond 64 bits, with their text.
  bool number_float(long double, const std::string& text) { return number(text); }
  bool string(std::string& v) {
    JsonNode n{Kind::String};
    n.text = std::move(v);
    return scalar(std::move(n));
  }
  bool binary(Json::binary_t&) { return false; }
  bool start_object(std::size_t) { return open(Kind::Object); }
  bool key(std::string& k) {
    if (skipped_ > 0) return true;
    JsonNode& object = *stack_.back();
    ++object.count;
    keep_member_ = false;
    if (std::find(limits_.keys.begin(), limits_.keys.end(), k) == limits_.keys.end()) return true;
    const auto given = std::count(object.keys.begin(), object.keys.end(), k);
    if (given == 0) {
      keep_member_ = true;
    } else if (given == 1) {
      object.items.emplace_back(Kind::Unread);
    } else {
      return true;
    }
    object.keys.push_back(std::move(k));
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(Kind::Array); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

  JsonNode take_root() { return std::move(root_); }

 private:
  bool number(std::string text) {
    JsonNode n{Kind::Number};
    n.text = std::move(text);
    return scalar(std::move(n));
  }
  bool scalar(JsonNode n) {
    if (skipped_ == 0) place(std::move(n));
    return true;
  }
  // A container not kept, or kept as Unread, is only counted till it closes, so a huge
  // unused value costs no memory.
  bool open(Kind kind) {
    if (skipped_ > 0) {
      ++skipped_;
    } else if (stack_.size() == limits_.depth) {
      place(JsonNode{Kind::Unread});
      skipped_ = 1;
    } else if (JsonNode* n = place(JsonNode{kind})) {
      stack_.push_back(n);
    } else {
      skipped_ = 1;
    }
    return true;
  }
  bool close() {
    if (skipped_ > 0) {
      --skipped_;
    } else {
      stack_.pop_back();
    }
    return true;
  }
  // The node as kept, or null when its container does not keep it. Only the innermost
  // open container grows, so the pointers on the stack stay valid.
  JsonNode* place(JsonNode n) {
    if (stack_.empty()) {
      root_ = std::move(n);
      return &root_;
    }
    JsonNode& parent = *stack_.back();
    bool keep = keep_member_;
    if (parent.kind == Kind::Array) keep = ++parent.count <= limits_.elements;
    keep_member_ = false;
    if (!keep) return nullptr;
    parent.items.push_back(std::move(n));
    return &parent.items.back();
  }

  const JsonLimits& limits_;
  JsonNode root_;
  std::vector<JsonNode*> stack_;
  std::size_t skipped_ = 0;   // open containers not kept
  bool keep_member_ = false;  // whether the object member whose value comes next is kept
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The end of the JSON number, its sign left out, that starts at `i` (JSON's grammar, as the
// lexer reads it), or i.
std::size_t number_end(std::string_view t, std::size_t i) {
  const auto digits = [t](std::size_t j) {
    while (j < t.size() && is_digit(t[j])) ++j;
    return j;
  };
  if (!is_digit(t[i])) return i;
  std::size_t j = t[i] == '0' ? i + 1 : digits(i);
  if (j + 1 < t.size() && t[j] == '.' && is_digit(t[j + 1])) j = digits(j + 1);
  if (j < t.size() && (t[j] == 'e' || t[j] == 'E')) {
    const std::size_t k = j + 1 < t.size() && (t[j + 1] == '+' || t[j + 1] == '-') ? j + 2 : j + 1;
    if (k < t.size() && is_digit(t[k])) j = digits(k);
  }
  return j;
}

// The lexer fails the whole parse on a number beyond a long double, where an unknown key must
// only be skipped with its value. Such a number becomes 1e400, after its sign: still beyond
// what any field reads, so a known key that holds it rejects the file as before. Nothing when
// the text holds no such number.
std::optional<std::string> tame_huge_numbers(std::string_view text) {
  std::optional<std::string> out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '"') {  // a string, escapes included, is passed over whole
      for (++i; i < text.size() && text[i] != '"'; ++i) i += text[i] == '\\' ? 1 : 0;
      ++i;
      continue;
    }
    const std::size_t end = number_end(text, i);
    if (end == i) {
      ++i;
      continue;
    }
    const std::string number(text.substr(i, end - i));
    if (std::isinf(::strtold_l(number.c_str(), nullptr, c_locale()))) {
      if (!out) out.emplace();
      out->append(text.substr(copied, i - copied)).append("1e400");
      copied = end;
    }
    i = end;
  }
  if (out) out->append(text.substr(copied));
  return out;
}

// Selects the C locale on this thread while it lives.
struct CLocaleScope {
  locale_t previous = ::uselocale(c_locale());
  ~CLocaleScope() { ::uselocale(previous); }
};

}  // namespace

locale_t c_locale() {
  static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  return c;
}

std::optional<JsonNode> parse_json_tree(std::string_view text, const JsonLimits& limits) {
  // nlohmann skips a byte-order mark by itself, and takes a NUL byte for the end of the
  // input; neither belongs in these files.
  if (text.starts_with("\xEF\xBB\xBF") || text.find('\0') != std::string_view::npos) return std::nullopt;
  // nlohmann's lexer writes and converts a number's decimal point as LC_NUMERIC's (a comma,
  // say); in the C locale the number's text stays as written.
  const CLocaleScope c;
  const std::optional<std::string> tamed = tame_huge_numbers(text);
  if (tamed) text = *tamed;
  TreeBuilder builder(limits);
  // Strict: only whitespace may follow the value. Invalid UTF-8, bad escapes, comments and
  // trailing commas are parse errors already.
  if (!Json::sax_parse(text, &builder, Json::input_format_t::json, true)) return std::nullopt;
  return builder.take_root();
}

}  // namespace velmora
