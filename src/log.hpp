#pragma once
// Logger configured only from the environment: RUST_LOG (filter directives) and
// RUST_LOG_STYLE (auto / always / never). Lines go to standard error as
// "[2026-12-06T16:51:59Z INFO velmora::config] message", each on one line: line breaks, other
// control characters and direction controls in a message are written as spaces.
#include <spdlog/spdlog.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::log {

// One parsed directive: an empty target is the global level.
struct Directive {
  std::string target;
  spdlog::level::level_enum level;
};

// Parses "warn,velmora::audio=debug,velmora::config=off". Unknown pieces are ignored.
std::vector<Directive> parse_filter(std::string_view directives);
// The level that applies to `target`: the longest matching target directive, else the global one,
// else errors only. A directive matches itself and every "target::…" below it.
spdlog::level::level_enum level_for(const std::vector<Directive>& filter, std::string_view target);

enum class Style { Auto, Always, Never };
Style parse_style(std::string_view value);

// Reads the environment and installs the filter and the sink. Safe to call more than once.
void init_from_env();
// Installs an explicit filter and sink (used by init_from_env and by tests that capture lines).
void init(std::vector<Directive> filter, spdlog::sink_ptr sink);

// The logger of one module path, e.g. get("velmora::config"). Created on first use.
spdlog::logger& get(std::string_view target);

// The debug form of a text or path in a message: double quotes around it, with the quote,
// the backslash, control characters, line and paragraph separators and direction controls
// escaped ("\n", "\u{1b}", "\u{2028}"); invalid UTF-8 bytes as "\xff".
std::string debug_quoted(std::string_view text);

}  // namespace velmora::log
