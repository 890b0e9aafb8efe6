#include "settings/json_text.hpp"

#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

#include "utf8.hpp"

namespace velmora {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t skip_blanks(std::string_view s, std::size_t pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\n' || s[pos] == '\r')) ++pos;
  return pos;
}

std::size_t skip_digits(std::string_view s, std::size_t pos) {
  while (pos < s.size() && is_digit(s[pos])) ++pos;
  return pos;
}

// The UTF-16 unit of the four hexadecimal digits at pos, or -1.
std::int32_t hex_unit(std::string_view s, std::size_t pos) {
  std::uint32_t unit = 0;
  const char* first = s.data() + pos;
  if (pos + 4 > s.size() || std::from_chars(first, first + 4, unit, 16).ptr != first + 4) return -1;
  return static_cast<std::int32_t>(unit);
}

bool is_high_surrogate(std::int32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(std::int32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The end of the string whose opening quote is at pos, or npos. A surrogate escape must be
// half of a pair, so that every decoded string is valid UTF-8.
std::size_t string_end(std::string_view s, std::size_t pos) {
  for (++pos; pos < s.size();) {
    const char c = s[pos];
    if (c == '"') return pos + 1;
    if (static_cast<unsigned char>(c) < 0x20) return npos;
    if (c != '\\') {
      ++pos;
      continue;
    }
    if (++pos == s.size()) return npos;
    if (s[pos] != 'u') {
      if (std::string_view("\"\\/bfnrt").find(s[pos]) == npos) return npos;
      ++pos;
      continue;
    }
    const std::int32_t unit = hex_unit(s, pos + 1);
    if (unit < 0 || is_low_surrogate(unit)) return npos;
    pos += 5;
    if (is_high_surrogate(unit)) {
      if (s.substr(pos, 2) != "\\u" || !is_low_surrogate(hex_unit(s, pos + 2))) return npos;
      pos += 6;
    }
  }
  return npos;
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
std::size_t number_end(std::string_view s, std::size_t pos) {
  if (s[pos] == '-') ++pos;
  if (pos == s.size() || !is_digit(s[pos])) return npos;
  pos = s[pos] == '0' ? pos + 1 : skip_digits(s, pos);
  if (pos < s.size() && s[pos] == '.') {
    const std::size_t digits = ++pos;
    if ((pos = skip_digits(s, pos)) == digits) return npos;
  }
  if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
    if (++pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
    const std::size_t digits = pos;
    if ((pos = skip_digits(s, pos)) == digits) return npos;
  }
  return pos;
}

std::size_t scalar_end(std::string_view s, std::size_t pos) {
  const auto word = [&](std::string_view w) { return s.substr(pos, w.size()) == w ? pos + w.size() : npos; };
  switch (s[pos]) {
    case '"': return string_end(s, pos);
    case 't': return word("true");
    case 'f': return word("false");
    case 'n': return word("null");
    default: return s[pos] == '-' || is_digit(s[pos]) ? number_end(s, pos) : npos;
  }
}

// Past the key at pos, the blanks and the colon after it, or npos.
std::size_t after_key(std::string_view s, std::size_t pos) {
  if (pos == s.size() || s[pos] != '"' || (pos = string_end(s, pos)) == npos) return npos;
  pos = skip_blanks(s, pos);
  return pos < s.size() && s[pos] == ':' ? pos + 1 : npos;
}

// The end of the one value at pos, or npos when there is none. The open containers are a bit
// stack, not a recursion, so no nesting depth can exhaust the call stack.
std::size_t value_end(std::string_view s, std::size_t pos) {
  std::vector<bool> open;  // per open container: true for an object
  bool want_value = true;
  for (;;) {
    if (!want_value && open.empty()) return pos;
    pos = skip_blanks(s, pos);
    if (pos == s.size()) return npos;
    const char c = s[pos];
    if (want_value && (c == '[' || c == '{')) {
      open.push_back(c == '{');
      pos = skip_blanks(s, pos + 1);
      if (pos < s.size() && s[pos] == (c == '{' ? '}' : ']')) {
        open.pop_back();
        ++pos;
        want_value = false;
      } else if (c == '{' && (pos = after_key(s, pos)) == npos) {
        return npos;
      }
    } else if (want_value) {
      if ((pos = scalar_end(s, pos)) == npos) return npos;
      want_value = false;
    } else if (c == (open.back() ? '}' : ']')) {
      open.pop_back();
      ++pos;
    } else if (c == ',') {
      pos = skip_blanks(s, pos + 1);
      if (open.back() && (pos = after_key(s, pos)) == npos) return npos;
      want_value = true;
    } else {
      return npos;
    }
  }
}

// The string at pos, already checked, with its escapes decoded.
std::string decode_string(std::string_view s, std::size_t pos) {
  std::string out;
  for (++pos; s[pos] != '"';) {
    const std::size_t plain = s.find_first_of("\"\\", pos);
    out.append(s, pos, plain - pos);
    if (s[plain] == '"') break;
    const char escape = s[plain + 1];
    pos = plain + 2;
    if (escape != 'u') {
      const auto e = std::find_if(kJsonShortEscapes.begin(), kJsonShortEscapes.end(),
                                   [escape](const auto& pair) { return pair.first == escape; });
      out += e == kJsonShortEscapes.end() ? escape : e->second;  // "\/"
      continue;
    }
    UChar32 c = hex_unit(s, pos);
    pos += 4;
    if (is_high_surrogate(c)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (hex_unit(s, pos + 2) - 0xDC00);
      pos += 6;
    }
    std::uint8_t bytes[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  }
  return out;
}

}  // namespace

JsonValue::Kind JsonValue::kind() const {
  switch (text_[pos_]) {
    case 'n': return Kind::Null;
    case 't':
    case 'f': return Kind::Bool;
    case '"': return Kind::String;
    case '[': return Kind::Array;
    case '{': return Kind::Object;
    default: return Kind::Number;
  }
}

bool JsonValue::boolean() const { return text_[pos_] == 't'; }

std::string_view JsonValue::number() const { return text_.substr(pos_, number_end(text_, pos_) - pos_); }

std::string JsonValue::string() const { return decode_string(text_, pos_); }

bool JsonValue::each(const std::function<bool(std::string_view, const JsonValue&)>& f) const {
  const bool object = text_[pos_] == '{';
  std::size_t pos = skip_blanks(text_, pos_ + 1);
  if (text_[pos] == (object ? '}' : ']')) return true;
  std::string key;
  for (;;) {
    if (object) {
      key = decode_string(text_, pos);
      pos = skip_blanks(text_, after_key(text_, pos));
    }
    if (!f(key, JsonValue(text_, pos))) return false;
    pos = skip_blanks(text_, value_end(text_, pos));
    if (text_[pos] != ',') return true;
    pos = skip_blanks(text_, pos + 1);
  }
}

std::size_t JsonValue::size() const {
  std::size_t count = 0;
  each([&count](std::string_view, const JsonValue&) { return ++count, true; });
  return count;
}

std::optional<JsonValue> parse_json(std::string_view text) {
  bool utf8 = true;
  for_each_char(text, [&utf8](UChar32 c, std::string_view) { utf8 = utf8 && c >= 0; });
  if (!utf8) return std::nullopt;
  const std::size_t start = skip_blanks(text, 0);
  const std::size_t end = start == text.size() ? npos : value_end(text, start);
  if (end == npos || skip_blanks(text, end) != text.size()) return std::nullopt;
  return JsonValue(text, start);
}

}  // namespace velmora
