#include "ui/widgets/knob.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ui/gui_fixture.hpp"

namespace velmora::ui {
namespace {

// Only the exact unit bytes switch to whole numbers, from 10 (":1") and 100 ("ms") up.
TEST(KnobValueText, FormatsByUnitAndThreshold) {
  const std::tuple<float, const char*, const char*> rows[] = {
      {9.96f, ":1", "10.0:1"}, {10.0f, ":1", "10:1"}, {99.9f, "ms", "99.9ms"}, {100.0f, "ms", "100ms"},
      {-18.0f, "dB", "-18.0dB"}, {9.0f, "%", "9.0%"}, {150.0f, "MS", "150.0MS"}, {150.0f, " ms", "150.0 ms"}};
  for (const auto& [value, unit, text] : rows) EXPECT_EQ(knob_value_text(value, unit), text);
}

// A 0..100 knob at 50 in a real window, every callback call recorded.
class KnobWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    test::show_in(window, *knob.widget);
    knob.connect_changed([this](float v) { calls.push_back(v); });
  }
  void TearDown() override { window.destroy(); }

  Gtk::Window window;
  Knob knob{"THR", "dB", 0.0f, 100.0f, 50.0f};
  std::vector<float> calls;
};

// A wheel notch is half a unit, up raises; 10 px of drag above the start is 5 % of the range,
// added again on every motion event; sideways does nothing. The callback sees every event,
// clamped ones included; set_value clamps and calls nothing back; a newer callback replaces the old.
TEST_F(KnobWidget, TurnsByWheelAndDragClampsAndCallsBackTheNewestCallback) {
  for (double dy : {-1, -1, 1, -200, -3, 1000, 2}) EXPECT_TRUE(test::scroll(*knob.widget, 0.0, dy));
  EXPECT_EQ(calls, (std::vector<float>{50.5f, 51.0f, 50.5f, 100.0f, 100.0f, 0.0f, 0.0f}));
  knob.set_value(50.0f);
  test::scroll(*knob.widget, 7.0, 0.0);
  test::drag(*knob.widget, 120.0, 0.0);
  EXPECT_FLOAT_EQ(knob.value(), 50.0f);
  calls.clear();
  for (double oy : {-10, -10, -10, -4, 6, -400, -1}) test::drag(*knob.widget, 3.0, oy);
  EXPECT_EQ(calls, (std::vector<float>{55.0f, 60.0f, 65.0f, 67.0f, 64.0f, 100.0f, 100.0f}));
  for (auto [set, shown] : {std::pair{130.0f, 100.0f}, {-5.0f, 0.0f}, {42.5f, 42.5f}}) {
    knob.set_value(set);
    EXPECT_FLOAT_EQ(knob.value(), shown);
  }
  std::vector<float> newer;
  knob.connect_changed([&newer](float v) { newer.push_back(v); });
  test::scroll(*knob.widget, 0.0, -2.0);
  EXPECT_EQ(calls.size(), 7u);
  EXPECT_EQ(newer, std::vector<float>{43.5f});
}

// The track (radius 23 around (32, 40)) is orange from its start, down-left, clockwise up to the
// value's angle, where the pointer (sampled at radius 14) stands: none at min, all at max.
TEST_F(KnobWidget, PaintsTheArcUpToTheValueAndPointsAtIt) {
  const double start = 3.0 * M_PI / 4.0, end = 9.0 * M_PI / 4.0;
  const auto at = [](const auto& image, double radius, double a) {
    return test::pixel_at(image, static_cast<int>(std::floor(32.0 + radius * std::cos(a))),
                          static_cast<int>(std::floor(40.0 + radius * std::sin(a))));
  };
  for (const auto& [value, angle] : {std::pair{0.0f, start}, {50.0f, 3.0 * M_PI / 2.0}, {100.0f, end}}) {
    knob.set_value(value);
    const auto image = test::render(*knob.widget);
    for (double a = start + 0.08; a < end - 0.08; a += 0.1) {
      const bool orange = test::near(at(image, 23.0, a), 0.91, 0.51, 0.04, 16);
      if (std::abs(a - angle) > 0.1) {
        EXPECT_EQ(orange, a < angle) << value << " at " << a;
      }
    }
    EXPECT_TRUE(test::near(at(image, 14.0, angle), 0.95, 0.95, 0.98, 40)) << value;
  }
}

}  // namespace
}  // namespace velmora::ui
