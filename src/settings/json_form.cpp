#include "settings/json_form.hpp"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "settings/json_tree.hpp"
#include "utf8.hpp"

namespace velmora::json_form {
namespace {

using Kind = JsonNode::Kind;

// Tau's variant names, in the enum's order.
constexpr std::array<std::string_view, 2> kTauNames{"Us50", "Us75"};

// ---------------------------------------------------------------------------
// Reading.

bool take(const JsonNode& n, bool& v) {
  if (n.kind != Kind::Bool) return false;
  v = n.boolean;
  return true;
}

// The nearest f32 to the digits as written (straight from the text: a detour through a double
// could round twice). A number too large even for a double is an error; one merely beyond the
// f32 range is read as the largest finite f32, so a file that loaded always saves as numbers
// that load again.
bool take(const JsonNode& n, float& v) {
  if (n.kind != Kind::Number) return false;
  if (std::isinf(::strtod_l(n.text.c_str(), nullptr, c_locale()))) return false;
  v = ::strtof_l(n.text.c_str(), nullptr, c_locale());
  if (std::isinf(v)) v = std::copysign(std::numeric_limits<float>::max(), v);
  return true;
}

// A plain non-negative integer up to `max`; "-0" is 0, not a negative number.
bool take_integer(const JsonNode& n, std::uint64_t max, std::uint64_t& v) {
  if (n.kind != Kind::Number) return false;
  std::string_view digits = n.text;
  if (digits == "-0") digits.remove_prefix(1);
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc{} || end != digits.data() + digits.size() || value > max) return false;
  v = value;
  return true;
}

bool take(const JsonNode& n, std::uint64_t& v) {
  return take_integer(n, std::numeric_limits<std::uint64_t>::max(), v);
}

bool take(const JsonNode& n, std::uint32_t& v) {
  std::uint64_t wide = 0;
  if (!take_integer(n, std::numeric_limits<std::uint32_t>::max(), wide)) return false;
  v = static_cast<std::uint32_t>(wide);
  return true;
}

bool take(const JsonNode& n, std::string& v) {
  if (n.kind != Kind::String) return false;
  v = n.text;
  return true;
}

bool take(const JsonNode& n, Tau& v) {
  std::string_view name;
  if (n.kind == Kind::String) {
    name = n.text;
  } else if (n.kind == Kind::Object && n.count == 1 && n.items.size() == 1 && n.items[0].kind == Kind::Null) {
    name = n.keys[0];
  } else {
    return false;
  }
  const auto at = std::find(kTauNames.begin(), kTauNames.end(), name);
  if (at == kTauNames.end()) return false;
  v = static_cast<Tau>(at - kTauNames.begin());
  return true;
}

bool take(const JsonNode& n, BandConfig& v);
bool take(const JsonNode& n, MpxConfig& v);

template <class T, std::size_t N>
bool take(const JsonNode& n, std::array<T, N>& v) {
  if (n.kind != Kind::Array || n.count != N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    if (!take(n.items[i], v[i])) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Writing.

// JSON's two-character escapes: the letter after the backslash and the character it stands for.
constexpr std::array<std::pair<char, char>, 7> kJsonShortEscapes{
    {{'"', '"'}, {'\\', '\\'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}}};

class PrettyWriter {
 public:
  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }
  void key(std::string_view k) {
    next_line();
    out_ += string_text(k);
    out_ += ": ";
    after_key_ = true;
  }
  void scalar(std::string_view text) {
    next_line();
    out_ += text;
  }
  std::string take() { return std::move(out_); }

 private:
  // Each member or element starts its own line; a value right after its key does not.
  void next_line() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (empty_.empty()) return;
    if (!empty_.back()) out_ += ',';
    empty_.back() = false;
    out_ += '\n';
    indent();
  }
  void open(char bracket) {
    next_line();
    out_ += bracket;
    empty_.push_back(true);
  }
  void close(char bracket) {
    const bool was_empty = empty_.back();
    empty_.pop_back();
    if (!was_empty) {
      out_ += '\n';
      indent();
    }
    out_ += bracket;
  }
  void indent() { out_.append(2 * empty_.size(), ' '); }

  std::string out_;
  std::vector<bool> empty_;  // per open container: nothing written in it yet
  bool after_key_ = false;
};

void put(PrettyWriter& w, bool v) { w.scalar(v ? "true" : "false"); }
void put(PrettyWriter& w, float v) { w.scalar(f32_text(v)); }
void put(PrettyWriter& w, const std::string& v) { w.scalar(string_text(v)); }
void put(PrettyWriter& w, Tau v) { w.scalar(string_text(kTauNames[static_cast<std::size_t>(v)])); }

template <class Int>
  requires std::is_integral_v<Int>
void put(PrettyWriter& w, Int v) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  w.scalar(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

void put(PrettyWriter& w, const BandConfig& v);
void put(PrettyWriter& w, const MpxConfig& v);

template <class T, std::size_t N>
void put(PrettyWriter& w, const std::array<T, N>& v) {
  w.begin_array();
  for (const T& x : v) put(w, x);
  w.end_array();
}

// ---------------------------------------------------------------------------
// Records: one table per record drives both directions, so the key names and
// their order can't drift apart between writing and reading.

template <class>
struct MemberTraits;
template <class R, class T>
struct MemberTraits<T R::*> {
  using Record = R;
};
template <auto M>
using RecordOf = typename MemberTraits<decltype(M)>::Record;

template <class R>
struct Field {
  std::string_view name;
  void (*write)(PrettyWriter&, const R&);
  bool (*read)(const JsonNode&, R&);
  bool optional = false;
};

template <auto M>
constexpr Field<RecordOf<M>> field(std::string_view name, bool optional = false) {
  using R = RecordOf<M>;
  return {name, [](PrettyWriter& w, const R& r) { put(w, r.*M); },
          [](const JsonNode& n, R& r) { return take(n, r.*M); }, optional};
}

template <class R, std::size_t N>
void put_record(PrettyWriter& w, const R& r, const std::array<Field<R>, N>& fields) {
  w.begin_object();
  for (const auto& f : fields) {
    w.key(f.name);
    f.write(w, r);
  }
  w.end_object();
}

// An object with every required key once (unknown keys skipped), or an array of the
// values in field order. Optional fields come last and keep r's value when absent.
template <class R, std::size_t N>
bool take_record(const JsonNode& n, R& r, const std::array<Field<R>, N>& fields) {
  if (n.kind == Kind::Array) {
    std::size_t required = 0;
    for (const auto& f : fields) required += f.optional ? 0 : 1;
    if (n.count < required || n.count > N) return false;
    for (std::size_t i = 0; i < n.count; ++i) {
      if (!fields[i].read(n.items[i], r)) return false;
    }
    return true;
  }
  if (n.kind != Kind::Object) return false;
  std::array<bool, N> seen{};
  for (std::size_t i = 0; i < n.keys.size(); ++i) {
    for (std::size_t f = 0; f < N; ++f) {
      if (fields[f].name != n.keys[i]) continue;
      if (seen[f] || !fields[f].read(n.items[i], r)) return false;
      seen[f] = true;
      break;
    }
  }
  for (std::size_t f = 0; f < N; ++f) {
    if (!seen[f] && !fields[f].optional) return false;
  }
  return true;
}

constexpr std::array<Field<BandConfig>, 11> kBandFields{
    field<&BandConfig::enabled>("enabled"),
    field<&BandConfig::threshold_db>("threshold_db"),
    field<&BandConfig::ratio>("ratio"),
    field<&BandConfig::attack_ms>("attack_ms"),
    field<&BandConfig::release_ms>("release_ms"),
    field<&BandConfig::makeup_db>("makeup_db"),
    field<&BandConfig::clip_enable>("clip_enable"),
    field<&BandConfig::clip_level_db>("clip_level_db"),
    field<&BandConfig::exp_enable>("exp_enable"),
    field<&BandConfig::exp_threshold>("exp_threshold"),
    field<&BandConfig::exp_ratio>("exp_ratio"),
};

constexpr std::array<Field<MpxConfig>, 4> kMpxFields{
    field<&MpxConfig::enabled>("enabled"),
    field<&MpxConfig::tau>("tau"),
    field<&MpxConfig::level_db>("level_db"),
    field<&MpxConfig::pilot_level>("pilot_level"),
};

constexpr std::array<Field<ProcessorConfig>, 12> kConfigFields{
    field<&ProcessorConfig::num_bands>("num_bands"),
    field<&ProcessorConfig::crossover_freqs>("crossover_freqs"),
    field<&ProcessorConfig::input_gain_db>("input_gain_db"),
    field<&ProcessorConfig::output_gain_db>("output_gain_db"),
    field<&ProcessorConfig::limiter_threshold>("limiter_threshold"),
    field<&ProcessorConfig::bands>("bands"),
    field<&ProcessorConfig::input_device>("input_device"),
    field<&ProcessorConfig::output_device>("output_device"),
    field<&ProcessorConfig::sample_rate>("sample_rate"),
    field<&ProcessorConfig::buffer_size>("buffer_size"),
    field<&ProcessorConfig::mpx>("mpx"),
    field<&ProcessorConfig::last_preset>("last_preset", true),
};

constexpr std::array<Field<Preset>, 8> kPresetFields{
    field<&Preset::name>("name"),
    field<&Preset::num_bands>("num_bands"),
    field<&Preset::crossover_freqs>("crossover_freqs"),
    field<&Preset::input_gain_db>("input_gain_db"),
    field<&Preset::output_gain_db>("output_gain_db"),
    field<&Preset::limiter_threshold>("limiter_threshold"),
    field<&Preset::bands>("bands"),
    field<&Preset::mpx>("mpx"),
};

void put(PrettyWriter& w, const BandConfig& v) { put_record(w, v, kBandFields); }
void put(PrettyWriter& w, const MpxConfig& v) { put_record(w, v, kMpxFields); }
bool take(const JsonNode& n, BandConfig& v) { return take_record(n, v, kBandFields); }
bool take(const JsonNode& n, MpxConfig& v) { return take_record(n, v, kMpxFields); }

// What the parse keeps: no record or field sits deeper than three containers, no array is
// longer than the config as the array of its values, and no key other than the records'
// field names and Tau's variant names is read.
constexpr auto kKnownKeys = [] {
  std::array<std::string_view, kTauNames.size() + kBandFields.size() + kMpxFields.size() + kConfigFields.size() +
                                   kPresetFields.size()>
      keys{};
  auto out = std::copy(kTauNames.begin(), kTauNames.end(), keys.begin());
  const auto add = [&out](const auto& fields) {
    for (const auto& f : fields) *out++ = f.name;
  };
  add(kBandFields);
  add(kMpxFields);
  add(kConfigFields);
  add(kPresetFields);
  return keys;
}();
constexpr JsonLimits kLimits{3,
                             std::max({kBandFields.size(), kMpxFields.size(), kConfigFields.size(),
                                       kPresetFields.size(), std::tuple_size_v<Bands>, std::tuple_size_v<Crossovers>}),
                             kKnownKeys};

template <class R, std::size_t N>
std::string write_top(const R& r, const std::array<Field<R>, N>& fields) {
  PrettyWriter w;
  put_record(w, r, fields);
  return w.take();
}

template <class R, std::size_t N>
std::optional<R> read_top(std::string_view text, const std::array<Field<R>, N>& fields) {
  const std::optional<JsonNode> tree = parse_json_tree(text, kLimits);
  if (!tree) return std::nullopt;
  R r{};
  if (!take_record(*tree, r, fields)) return std::nullopt;
  return r;
}

// Plain decimals for exponents in [-5, 16), exponent form outside, as JSON writers commonly do.
constexpr int kMinPlainExponent = -5;
constexpr int kMaxPlainExponent = 16;

}  // namespace

std::string to_json(const ProcessorConfig& cfg) { return write_top(cfg, kConfigFields); }
std::string to_json(const Preset& preset) { return write_top(preset, kPresetFields); }

std::optional<ProcessorConfig> config_from_json(std::string_view text) {
  return read_top(text, kConfigFields);
}
std::optional<Preset> preset_from_json(std::string_view text) {
  return read_top(text, kPresetFields);
}

std::string f32_text(float v) {
  if (!std::isfinite(v)) return "null";
  // Shortest round-trip digits as "d.ddde±XX"; laid out below.
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<std::size_t>(end - buf));
  std::string out;
  if (sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  const std::size_t e = sci.find('e');
  std::string digits(1, sci[0]);
  if (e > 1) digits.append(sci.substr(2, e - 2));
  std::string_view exp_text = sci.substr(e + 1);
  if (exp_text.front() == '+') exp_text.remove_prefix(1);
  int exp = 0;
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp);

  const int n = static_cast<int>(digits.size());
  if (exp < kMinPlainExponent || exp >= kMaxPlainExponent) {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += std::to_string(exp);
  } else if (exp < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exp - 1), '0');
    out += digits;
  } else if (n <= exp + 1) {
    out += digits;
    out.append(static_cast<std::size_t>(exp + 1 - n), '0');
    out += ".0";
  } else {
    out.append(digits, 0, static_cast<std::size_t>(exp + 1));
    out += '.';
    out.append(digits, static_cast<std::size_t>(exp + 1));
  }
  return out;
}

std::string string_text(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  // A stray non-UTF-8 byte (a device name from a driver, say) would make the whole file
  // unreadable, so it is written as U+FFFD instead.
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  for_each_char(s, [&out](UChar32 c, std::string_view bytes) {
    if (c < 0) {
      out += kReplacement;
      return;
    }
    for (const auto& [letter, escaped] : kJsonShortEscapes) {
      if (c == escaped) {
        out += '\\';
        out += letter;
        return;
      }
    }
    if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    } else {
      out += bytes;
    }
  });
  out += '"';
  return out;
}

}  // namespace velmora::json_form
