#include "settings/json_form.hpp"

#include <locale.h>
#include <sys/resource.h>

#include <limits>

#include "settings/settings_support.hpp"

namespace velmora::json_form {
namespace {

// The defaults' text as a release wrote it, kept with the fuzz corpus.
std::string default_text() { return testing::corpus_text("config/config.json"); }

TEST(WrittenForm, DefaultsGiveTheExactText) { EXPECT_EQ(to_json(ProcessorConfig{}), default_text()); }

// One row per layout: whole with ".0", digits on both sides of the point, a fraction only,
// either side of both exponent bounds, null.
TEST(WrittenForm, F32IsItsShortestRoundTripText) {
  const std::pair<float, const char*> rows[] = {
      {0.0f, "0.0"}, {-0.0f, "-0.0"}, {12000.0f, "12000.0"}, {-2.25f, "-2.25"}, {-0.3f, "-0.3"},
      {1e15f, "1000000000000000.0"},
      {1e16f, "1e16"}, {-2.5e20f, "-2.5e20"}, {0.00001f, "0.00001"}, {1e-6f, "1e-6"},
      {std::numeric_limits<float>::max(), "3.4028235e38"}, {std::numeric_limits<float>::quiet_NaN(), "null"},
      {-std::numeric_limits<float>::infinity(), "null"}};
  for (const auto& [value, text] : rows) EXPECT_EQ(f32_text(value), text);
}

TEST(WrittenForm, StringsEscapeOnlyWhatJsonNeeds) {
  const std::pair<std::string, std::string> rows[] = {
      {"", R"("")"}, {"a\"b\\c/", R"("a\"b\\c/")"}, {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("\0\x01\x1b\x1f", 4), R"("\u0000\u0001\u001b\u001f")"},
      {"\x7f señal Ω 音 🎵", "\"\x7f señal Ω 音 🎵\""},
      {"hw\xff:\xc3", "\"hw\uFFFD:\uFFFD\""}};  // never invalid UTF-8
  for (const auto& [value, text] : rows) EXPECT_EQ(string_text(value), text);
}

// Files at the size cap full of what no record reads: an unknown key's long array, another
// record's key given over and over, a known array far too long.
TEST(Reading, HostileFilesTakeLittleMemory) {
  const auto repeated = [](std::string_view piece, std::size_t bytes) {
    std::string out;
    while (out.size() < bytes) out += piece;
    return out;
  };
  std::string skipped = default_text();
  skipped.insert(skipped.find("\"tau\""), "\"note\": [" + repeated("0,", kMaxSettingsFileBytes / 2) + "0], " +
                                             repeated("\"sample_rate\": 1, ", kMaxSettingsFileBytes / 3));
  std::string too_long = default_text();
  too_long.insert(too_long.find("120.0"), repeated("0, ", kMaxSettingsFileBytes - too_long.size() - 2));
  ASSERT_LE(std::max(skipped.size(), too_long.size()), kMaxSettingsFileBytes);
  // Measured in a child, whose peak starts at what it holds at the fork, not at this process's peak.
  const std::string grown_mib = testing::in_child([&] {
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    (void)config_from_json(skipped);
    (void)config_from_json(too_long);
    ::getrusage(RUSAGE_SELF, &after);
    return std::to_string((after.ru_maxrss - before.ru_maxrss) / 1024);
  });
  EXPECT_LT(std::stol(grown_mib), 64);
  EXPECT_EQ(config_from_json(skipped), ProcessorConfig{});
  EXPECT_EQ(config_from_json(too_long), std::nullopt);
}

// A number beyond even a long double under an unknown key is skipped like any other value, and
// never makes JSON of what is not: a number only in JSON's own form counts as one.
TEST(Reading, NumbersBeyondALongDoubleUnderAnUnknownKey) {
  const std::string huge = "1" + std::string(5000, '0');
  const std::pair<std::string, bool> rows[] = {  // the value, whether the file reads
      {"1e5000", true}, {"-1E+5000", true}, {"0.5e-0e", false}, {"1.5e5000", true}, {huge, true},
      {"-" + huge + ".25E5", true}, {"[1e5000,{\"a\":-1e5000}]", true}, {"\"x\\\" 1e5000\"", true},
      {"01e5000", false}, {"1.e5000", false}, {"1e5000.5", false}, {"1e+-5000", false}, {"+1e5000", false},
      {"-e5000", false}, {".5e5000", false}, {"1e5000e1", false}, {"1e5000 1", false},
      {"1e-" + std::string(5000, '9'), true}, {huge + "e", false}};  // a tiny number; no exponent digits
  for (const auto& [value, reads] : rows) {
    EXPECT_EQ(config_from_json("{\"x\": " + value + "," + default_text().substr(1)).has_value(), reads) << value;
  }
}

using DecimalComma = testing::TempConfigHome;

// GTK sets LC_NUMERIC from the environment: a locale with a decimal comma changes no number.
TEST_F(DecimalComma, NumbersReadAsWritten) {
  testing::write_text(root_ / "comma.def",
                      "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3\nEND LC_NUMERIC\n");
  const std::string make =
      "localedef -c -i " + (root_ / "comma.def").string() + " " + (root_ / "comma").string() + " 2>/dev/null";
  // localedef warns, and exits with 1, about the categories left out, yet makes LC_NUMERIC.
  ASSERT_GE(std::system(make.c_str()), 0);
  testing::ScopedEnv locpath("LOCPATH");
  locpath.set(root_.string());
  if (::setlocale(LC_NUMERIC, "comma") == nullptr) GTEST_SKIP() << "localedef made no locale";
  const std::optional<ProcessorConfig> read = config_from_json(default_text());
  ::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(read, ProcessorConfig{});
}

}  // namespace
}  // namespace velmora::json_form
