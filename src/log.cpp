#include "log.hpp"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "utf8.hpp"

namespace velmora::log {
namespace {

std::optional<spdlog::level::level_enum> parse_level(std::string_view s) {
  std::string l;
  for (char c : s) l.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (l == "off") return spdlog::level::off;
  if (l == "error") return spdlog::level::err;
  if (l == "warn") return spdlog::level::warn;
  if (l == "info") return spdlog::level::info;
  if (l == "debug") return spdlog::level::debug;
  if (l == "trace") return spdlog::level::trace;
  return std::nullopt;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool target_matches(std::string_view directive, std::string_view target) {
  if (target.size() < directive.size() || target.substr(0, directive.size()) != directive) {
    return false;
  }
  return target.size() == directive.size() || target.substr(directive.size(), 2) == "::";
}

// Level names as capitals: ERROR, WARN, INFO, DEBUG, TRACE.
class LevelFlag final : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg& msg, const std::tm&, spdlog::memory_buf_t& dest) override {
    std::string_view name = "TRACE";
    switch (msg.level) {
      case spdlog::level::critical:
      case spdlog::level::err: name = "ERROR"; break;
      case spdlog::level::warn: name = "WARN"; break;
      case spdlog::level::info: name = "INFO"; break;
      case spdlog::level::debug: name = "DEBUG"; break;
      default: break;
    }
    dest.append(name.data(), name.data() + name.size());
  }
  std::unique_ptr<custom_flag_formatter> clone() const override { return std::make_unique<LevelFlag>(); }
};

// The message on one line, whatever text from a file or a device it carries: a line break in it
// would let that text write a log line of its own, and a direction control would let it pass for
// another text.
class OneLineMessage final : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg& msg, const std::tm&, spdlog::memory_buf_t& dest) override {
    append_one_line(std::string_view(msg.payload.data(), msg.payload.size()), dest);
  }
  std::unique_ptr<custom_flag_formatter> clone() const override { return std::make_unique<OneLineMessage>(); }
};

struct Registry {
  std::mutex mutex;
  std::vector<Directive> filter;
  spdlog::sink_ptr sink;
  std::map<std::string, std::shared_ptr<spdlog::logger>, std::less<>> loggers;
};

Registry& registry() {
  static Registry r;
  return r;
}

std::unique_ptr<spdlog::formatter> make_formatter() {
  auto f = std::make_unique<spdlog::pattern_formatter>(spdlog::pattern_time_type::utc);
  f->add_flag<LevelFlag>('*');
  f->add_flag<OneLineMessage>('&');
  f->set_pattern("[%Y-%m-%dT%H:%M:%SZ %^%*%$ %n] %&");
  return f;
}

spdlog::sink_ptr default_sink(Style style) {
  auto mode = style == Style::Always ? spdlog::color_mode::always
              : style == Style::Never ? spdlog::color_mode::never
                                      : spdlog::color_mode::automatic;
  auto sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>(mode);
  return sink;
}

}  // namespace

std::vector<Directive> parse_filter(std::string_view directives) {
  std::vector<Directive> out;
  // A "/regex" suffix filters messages; it is not supported here and is dropped.
  if (auto slash = directives.find('/'); slash != std::string_view::npos) directives = directives.substr(0, slash);
  while (!directives.empty()) {
    auto comma = directives.find(',');
    std::string_view part = trim(directives.substr(0, comma));
    directives = comma == std::string_view::npos ? std::string_view{} : directives.substr(comma + 1);
    if (part.empty()) continue;
    auto eq = part.find('=');
    if (eq == std::string_view::npos) {
      // A bare level sets the global level; a bare name enables everything for that target.
      if (auto lvl = parse_level(part)) {
        out.push_back({"", *lvl});
      } else {
        out.push_back({std::string(part), spdlog::level::trace});
      }
      continue;
    }
    std::string_view target = trim(part.substr(0, eq));
    std::string_view value = trim(part.substr(eq + 1));
    auto lvl = parse_level(value);
    if (!lvl || target.empty()) continue;
    out.push_back({std::string(target), *lvl});
  }
  return out;
}

spdlog::level::level_enum level_for(const std::vector<Directive>& filter, std::string_view target) {
  std::optional<spdlog::level::level_enum> global;
  const Directive* best = nullptr;
  for (const auto& d : filter) {
    if (d.target.empty()) {
      global = d.level;  // the last global directive wins
    } else if (target_matches(d.target, target)) {
      if (best == nullptr || d.target.size() >= best->target.size()) best = &d;
    }
  }
  if (best != nullptr) return best->level;
  if (global) return *global;
  return spdlog::level::err;
}

Style parse_style(std::string_view value) {
  if (value == "always") return Style::Always;
  if (value == "never") return Style::Never;
  return Style::Auto;
}

void init(std::vector<Directive> filter, spdlog::sink_ptr sink) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.filter = std::move(filter);
  r.sink = std::move(sink);
  r.sink->set_formatter(make_formatter());
  r.sink->set_level(spdlog::level::trace);
  for (auto& [name, logger] : r.loggers) {
    logger->sinks().assign(1, r.sink);
    logger->set_level(level_for(r.filter, name));
  }
}

void init_from_env() {
  const char* filter = std::getenv("RUST_LOG");
  const char* style = std::getenv("RUST_LOG_STYLE");
  init(parse_filter(filter ? filter : ""), default_sink(parse_style(style ? style : "auto")));
}

spdlog::logger& get(std::string_view target) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  if (auto it = r.loggers.find(target); it != r.loggers.end()) return *it->second;
  if (!r.sink) {
    r.sink = default_sink(Style::Auto);
    r.sink->set_formatter(make_formatter());
  }
  auto logger = std::make_shared<spdlog::logger>(std::string(target), r.sink);
  logger->set_level(level_for(r.filter, target));
  logger->flush_on(spdlog::level::trace);
  auto& ref = *logger;
  r.loggers.emplace(std::string(target), std::move(logger));
  return ref;
}

std::string debug_quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for_each_char(text, [&out](UChar32 c, std::string_view bytes) {
    if (c < 0) {
      for (const unsigned char b : bytes) {
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0xf];
      }
      return;
    }
    switch (c) {
      case '"': out += "\\\""; return;
      case '\\': out += "\\\\"; return;
      case '\n': out += "\\n"; return;
      case '\r': out += "\\r"; return;
      case '\t': out += "\\t"; return;
      case '\0': out += "\\0"; return;
      default: break;
    }
    if (is_control_char(c)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += bytes;
    }
  });
  out += '"';
  return out;
}

}  // namespace velmora::log
