#include "log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <regex>
#include <sstream>

namespace velmora::log {
namespace {

using L = spdlog::level::level_enum;

struct LevelCase {
  const char* filter;
  const char* target;
  L expected;
};

class LevelFor : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelFor, MostSpecificDirectiveWins) {
  const auto& c = GetParam();
  EXPECT_EQ(level_for(parse_filter(c.filter), c.target), c.expected) << c.filter << " / " << c.target;
}

INSTANTIATE_TEST_SUITE_P(
    Directives, LevelFor,
    ::testing::Values(
        LevelCase{"", "velmora::config", L::err},                       // default: errors only
        LevelCase{"info", "velmora::config", L::info},                  // global level
        LevelCase{"off", "velmora::audio::engine", L::off},             // off silences
        LevelCase{"velmora=debug", "velmora::audio::engine", L::debug}, // a target covers its children
        LevelCase{"velmora::audio=debug", "velmora::audiox", L::err},   // but not a longer sibling name
        LevelCase{"velmora=warn,velmora::audio=trace", "velmora::audio::engine", L::trace},
        LevelCase{"velmora::audio=trace,velmora=warn", "velmora::audio::engine", L::trace},
        LevelCase{"velmora::audio=trace,velmora=warn", "velmora::config", L::warn},
        LevelCase{"info,velmora::config=off", "velmora::config", L::off},
        LevelCase{"velmora::ui", "velmora::ui::ventana", L::trace},     // a bare name enables all levels
        LevelCase{" DEBUG , bogus=loud", "velmora::config", L::debug},  // case-insensitive, junk ignored
        LevelCase{"warn,error", "velmora::config", L::err},             // the last global level wins
        LevelCase{"info,velmora=debug/Audio", "velmora::config", L::debug}));  // a message filter is dropped

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

TEST(DebugQuoted, EscapesQuoteBackslashAndControls) {
  const std::pair<std::string, std::string> rows[] = {
      {"", R"("")"}, {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"}, {"a\nb\rc\td", R"("a\nb\rc\td")"},
      {std::string("\0\x1b\x7f", 3), R"("\0\u{1b}\u{7f}")"}, {"\xc2\x85 ñ 音", R"("\u{85} ñ 音")"},
      {"bad\xff", R"("bad\xff")"}};
  for (const auto& [text, debug_form] : rows) EXPECT_EQ(debug_quoted(text), debug_form);
}

}  // namespace
}  // namespace velmora::log
