#pragma once
// One walk over UTF-8 text, shared by the places that map text character by character: JSON
// strings, log lines and their quoted form, preset names on one line and preset file stems.
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Calls f(c, bytes) for each character: c is its code point, or negative for an
// ill-formed sequence; bytes are the character's own bytes in `text`.
template <class F>
void for_each_char(std::string_view text, F&& f) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    const std::int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    f(c, text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
  }
}

// A line break or another control character (categories Cc, Zl and Zp), or a bidirectional
// control, which can reorder the text around it so that one name reads as another: nothing a
// name shown on one line may hold. Other format characters, such as the joiner inside an
// emoji, are no controls here.
inline bool is_control_char(UChar32 c) {
  const auto category = static_cast<UCharCategory>(u_charType(c));
  return category == U_CONTROL_CHAR || category == U_LINE_SEPARATOR || category == U_PARAGRAPH_SEPARATOR ||
         u_hasBinaryProperty(c, UCHAR_BIDI_CONTROL);
}

// Appends `text` to `out` (a std::string or a fmt buffer) on one line: each line break, other
// control character or bidirectional control as a space. Text without them is copied byte for byte,
// ill-formed sequences included.
template <class Out>
void append_one_line(std::string_view text, Out& out) {
  for_each_char(text, [&out](UChar32 c, std::string_view bytes) {
    if (c >= 0 && is_control_char(c)) {
      out.push_back(' ');
    } else {
      out.append(bytes.data(), bytes.data() + bytes.size());
    }
  });
}

// A name as the selectors and their tooltips show it, on one line as the log writes every message.
inline std::string one_line(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  append_one_line(text, line);
  return line;
}

}  // namespace velmora
