#include "json_form.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <regex>

#include "record_printers.hpp"

namespace velmora::json_form {
namespace {

// The defaults as the file format lays them out, written by hand.
std::string default_text() {
  const std::string band =
      "    {\n"
      "      \"enabled\": true,\n"
      "      \"threshold_db\": -18.0,\n"
      "      \"ratio\": 3.0,\n"
      "      \"attack_ms\": 10.0,\n"
      "      \"release_ms\": 150.0,\n"
      "      \"makeup_db\": 3.0,\n"
      "      \"clip_enable\": true,\n"
      "      \"clip_level_db\": -0.5,\n"
      "      \"exp_enable\": false,\n"
      "      \"exp_threshold\": -60.0,\n"
      "      \"exp_ratio\": 2.0\n"
      "    }";
  std::string text =
      "{\n"
      "  \"num_bands\": 5,\n"
      "  \"crossover_freqs\": [\n"
      "    120.0,\n"
      "    400.0,\n"
      "    2000.0,\n"
      "    6000.0,\n"
      "    12000.0\n"
      "  ],\n"
      "  \"input_gain_db\": 0.0,\n"
      "  \"output_gain_db\": 0.0,\n"
      "  \"limiter_threshold\": -0.3,\n"
      "  \"bands\": [\n";
  for (int i = 0; i < 6; ++i) text += band + (i < 5 ? ",\n" : "\n");
  text +=
      "  ],\n"
      "  \"input_device\": \"\",\n"
      "  \"output_device\": \"\",\n"
      "  \"sample_rate\": 48000,\n"
      "  \"buffer_size\": 512,\n"
      "  \"mpx\": {\n"
      "    \"enabled\": false,\n"
      "    \"tau\": \"Us75\",\n"
      "    \"level_db\": -1.0,\n"
      "    \"pilot_level\": 0.09\n"
      "  },\n"
      "  \"last_preset\": \"\"\n"
      "}";
  return text;
}

TEST(WrittenForm, DefaultsGiveTheExactText) {
  const std::string text = to_json(ProcessorConfig{});
  EXPECT_EQ(text, default_text());
  EXPECT_EQ(text.size(), 2198u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n') + 1, 104);
  EXPECT_EQ(text.front(), '{');
  EXPECT_EQ(text.back(), '}');
}

TEST(WrittenForm, PresetUsesTheSameBandAndMpxText) {
  ProcessorConfig cfg;
  cfg.bands[3].ratio = 7.25f;
  cfg.mpx.tau = Tau::Us50;
  const std::string preset = to_json(Preset::from_config("HARD BASS", cfg));
  const std::string config = to_json(cfg);
  EXPECT_TRUE(preset.starts_with("{\n  \"name\": \"HARD BASS\",\n  \"num_bands\": 5,\n  \"crossover_freqs\": [\n"));
  const auto between = [&config](const char* from, const char* to) {
    const auto start = config.find(from);
    return config.substr(start, config.find(to) - start);
  };
  EXPECT_NE(preset.find(between("  \"bands\"", "  \"input_device\"")), std::string::npos);
  EXPECT_TRUE(preset.ends_with(between("  \"mpx\"", ",\n  \"last_preset\"") + "\n}"));
}

struct F32Case {
  float value;
  const char* text;
};

class F32Text : public ::testing::TestWithParam<F32Case> {};

TEST_P(F32Text, IsShortestRoundTripForm) {
  EXPECT_EQ(f32_text(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, F32Text,
    ::testing::Values(F32Case{0.0f, "0.0"}, F32Case{-0.0f, "-0.0"}, F32Case{120.0f, "120.0"},
                      F32Case{12000.0f, "12000.0"}, F32Case{-18.0f, "-18.0"}, F32Case{-0.3f, "-0.3"},
                      F32Case{0.09f, "0.09"}, F32Case{-0.5f, "-0.5"}, F32Case{0.1f, "0.1"},
                      F32Case{1.0f / 3.0f, "0.33333334"}, F32Case{100000.0f, "100000.0"},
                      F32Case{16777216.0f, "16777216.0"}, F32Case{1e15f, "1000000000000000.0"},
                      F32Case{1e16f, "1e16"}, F32Case{-2.5e20f, "-2.5e20"}, F32Case{0.00001f, "0.00001"},
                      F32Case{0.000123f, "0.000123"}, F32Case{1e-6f, "1e-6"}, F32Case{1.5e-7f, "1.5e-7"},
                      F32Case{std::numeric_limits<float>::max(), "3.4028235e38"},
                      F32Case{std::numeric_limits<float>::denorm_min(), "1e-45"},
                      F32Case{std::numeric_limits<float>::quiet_NaN(), "null"},
                      F32Case{std::numeric_limits<float>::infinity(), "null"},
                      F32Case{-std::numeric_limits<float>::infinity(), "null"}));

TEST(F32TextProperty, EveryFiniteValueIsJsonAndReadsBackToTheSameBits) {
  const std::regex json_number(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?(e-?[1-9][0-9]*)?)");
  std::mt19937 rng(20261206);
  for (int i = 0; i < 200000; ++i) {
    const float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (!std::isfinite(v)) continue;
    const std::string text = f32_text(v);
    ASSERT_TRUE(std::regex_match(text, json_number)) << text;
    // Whole values in plain form keep a fraction, so they read as floats.
    if (text.find('e') == std::string::npos) {
      ASSERT_NE(text.find('.'), std::string::npos) << text;
    }
    float back = 0.0f;
    std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << text;
  }
}

struct StringCase {
  std::string value;
  std::string text;
};

class StringText : public ::testing::TestWithParam<StringCase> {};

TEST_P(StringText, EscapesOnlyWhatJsonNeeds) { EXPECT_EQ(string_text(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Values, StringText,
    ::testing::Values(StringCase{"", R"("")"}, StringCase{"hw:0,1", R"("hw:0,1")"},
                      StringCase{"a\"b\\c", R"("a\"b\\c")"}, StringCase{"\b\t\n\f\r", R"("\b\t\n\f\r")"},
                      StringCase{std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
                      StringCase{"\x1b[0m", R"("\u001b[0m")"}, StringCase{"\x7f/", "\"\x7f/\""},
                      StringCase{"señal Ω 音 🎵", "\"señal Ω 音 🎵\""},
                      StringCase{"hw\xff:\xc3", "\"hw\uFFFD:\uFFFD\""}));  // never invalid UTF-8

// ---------------------------------------------------------------------------
// Preset files: the same rules over the preset's eight keys.

Preset sample_preset() {
  ProcessorConfig cfg;
  cfg.num_bands = 3;
  cfg.bands[0].release_ms = 333.5f;
  cfg.mpx.level_db = -3.0f;
  return Preset::from_config("Voz \"señal\"", cfg);
}

TEST(PresetForm, RoundTripsThroughItsText) {
  EXPECT_EQ(preset_from_json(to_json(sample_preset())), sample_preset());
}

TEST(PresetForm, AcceptsArrayOfEightValuesAndUnknownKeys) {
  const std::string text = to_json(sample_preset());
  const std::string as_object_with_extra = "{\"comment\": [1, {\"a\": null}], " + text.substr(1);
  EXPECT_EQ(preset_from_json(as_object_with_extra), sample_preset());

  // The array form: the values of the object text in key order.
  std::string as_array = text;
  for (const char* key : {"\"name\": ", "\"num_bands\": ", "\"crossover_freqs\": ", "\"input_gain_db\": ",
                          "\"output_gain_db\": ", "\"limiter_threshold\": ", "\"bands\": ", "\"mpx\": "}) {
    const auto at = as_array.find(key);
    ASSERT_NE(at, std::string::npos);
    as_array.erase(at, std::string(key).size());
  }
  as_array.front() = '[';
  as_array.back() = ']';
  EXPECT_EQ(preset_from_json(as_array), sample_preset());
}

class PresetRejection : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(PresetRejection, RejectsTheText) {
  std::string text = to_json(sample_preset());
  const auto [from, to] = GetParam();
  const auto at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, std::string(from).size(), to);
  EXPECT_EQ(preset_from_json(text), std::nullopt) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PresetRejection,
    ::testing::Values(std::pair{"\"name\": \"Voz \\\"señal\\\"\",", ""},                    // missing name
                      std::pair{"\"num_bands\": 3,", "\"num_bands\": 3,\"num_bands\": 3,"},  // duplicate
                      std::pair{"\"name\"", "\"name\": null, \"name\""},                    // duplicate, null
                      std::pair{"\"num_bands\": 3", "\"num_bands\": 3.0"},
                      std::pair{"\"crossover_freqs\": [", "\"crossover_freqs\": [1.0,"},  // six numbers
                      std::pair{"\"bands\": [", "\"bands\": [{},"},
                      std::pair{"\"tau\": \"Us75\"", "\"tau\": \"Us 75\""},
                      std::pair{"\"mpx\": {", "\"mpx\": {\"enabled\": true,"},
                      std::pair{"\"name\": \"Voz", "\"name\": \"\xff Voz"}));

TEST(PresetForm, LastPresetIsNotAPresetKey) {
  // A saved config is no preset: it has no name.
  EXPECT_EQ(preset_from_json(to_json(ProcessorConfig{})), std::nullopt);
}

}  // namespace
}  // namespace velmora::json_form
