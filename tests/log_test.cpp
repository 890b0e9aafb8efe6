#include "log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <algorithm>
#include <regex>
#include <tuple>
#include <sstream>

namespace velmora::log {
namespace {

using L = spdlog::level::level_enum;

TEST(LevelFor, MostSpecificDirectiveWins) {
  const std::tuple<const char*, const char*, L> rows[] = {  // RUST_LOG, target, level
      {"", "velmora::config", L::err},                        // default: errors only
      {"info", "velmora::config", L::info},                   // global level
      {"off", "velmora::audio::engine", L::off},              // off silences
      {"velmora=debug", "velmora::audio::engine", L::debug},  // a target covers its children
      {"velmora::audio=debug", "velmora::audiox", L::err},    // but not a longer sibling name
      {"velmora=warn,velmora::audio=trace", "velmora::audio::engine", L::trace},
      {"velmora::audio=trace,velmora=warn", "velmora::audio::engine", L::trace},
      {"velmora::audio=trace,velmora=warn", "velmora::config", L::warn},
      {"info,velmora::config=off", "velmora::config", L::off},
      {"velmora::ui", "velmora::ui::ventana", L::trace},      // a bare name enables all levels
      {" DEBUG , bogus=loud", "velmora::config", L::debug},   // case-insensitive, junk ignored
      {"warn,error", "velmora::config", L::err},              // the last global level wins
      {"info,velmora=debug/Audio", "velmora::config", L::debug}};  // a message filter is dropped
  for (const auto& [filter, target, level] : rows) {
    EXPECT_EQ(level_for(parse_filter(filter), target), level) << filter << " / " << target;
  }
}

TEST(Style, ParsesTheThreeValuesAndFallsBackToAuto) {
  EXPECT_EQ((std::array{parse_style("always"), parse_style("never"), parse_style("auto"), parse_style("Never")}),
            (std::array{Style::Always, Style::Never, Style::Auto, Style::Auto}));
}

TEST(LogLine, HasTimestampLevelTargetAndMessage) {
  std::ostringstream out;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
  init(parse_filter("velmora::config=debug"), sink);
  get("velmora::config").debug("Config guardado: {}", 1);
  get("velmora::config").trace("hidden");
  get("velmora::ui::ventana").info("hidden too");
  get("velmora::ui::ventana").error("Audio: {}", "sin tarjeta");
  const std::string text = out.str();
  init({}, std::make_shared<spdlog::sinks::null_sink_mt>());  // the stream goes with this test
  std::regex line(
      R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ DEBUG velmora::config\] Config guardado: 1\n)"
      R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ ERROR velmora::ui::ventana\] Audio: sin tarjeta\n)");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

// Text from a file or a device name cannot write a line of its own or pose as other text: each
// break, other control character and direction control in a message is a space; all else stays.
TEST(LogLine, EveryMessageStaysOneLine) {
  const std::pair<std::string, std::string> rows[] = {
      {"Preset 'Mañana 音 👩\u200D🔧' guardado \xff", "Preset 'Mañana 音 👩\u200D🔧' guardado \xff"},
      {"a\nb\r\nc\vd\fe", "a b  c d e"}, {"a\u0085b\u2028c\u2029d", "a b c d"},
      {"\u202EKCOR \u2066x", " KCOR  x"}, {"a\tb", "a b"}, {std::string("a\0b", 3), "a b"}};
  for (const auto& [message, written] : rows) {
    std::ostringstream out;
    init({}, std::make_shared<spdlog::sinks::ostream_sink_mt>(out));
    get("velmora::audio::engine").error("Error entrada CPAL: {}", message);
    const std::string line = out.str();
    EXPECT_TRUE(line.ends_with(" ERROR velmora::audio::engine] Error entrada CPAL: " + written + "\n")) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
  }
  init({}, std::make_shared<spdlog::sinks::null_sink_mt>());
}

TEST(DebugQuoted, EscapesQuoteBackslashAndControls) {
  const std::pair<std::string, std::string> rows[] = {
      {"", R"("")"}, {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"}, {"a\nb\rc\td", R"("a\nb\rc\td")"},
      {std::string("\0\x1b\x7f", 3), R"("\0\u{1b}\u{7f}")"}, {"\xc2\x85 ñ 音", R"("\u{85} ñ 音")"},
      {"bad\xff", R"("bad\xff")"}, {"a\u2028b\u2029\u202e\u200d", R"("a\u{2028}b\u{2029}\u{202e})" "\u200d\""}};
  for (const auto& [text, debug_form] : rows) EXPECT_EQ(debug_quoted(text), debug_form);
}

}  // namespace
}  // namespace velmora::log
