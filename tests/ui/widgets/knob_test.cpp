#include "ui/widgets/knob.hpp"

#include <gtest/gtest.h>
#include <gtkmm/window.h>

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

using Image = Cairo::RefPtr<Cairo::ImageSurface>;
constexpr double kStart = 3.0 * M_PI / 4.0;
constexpr double kEnd = 9.0 * M_PI / 4.0;
constexpr double kTop = 3.0 * M_PI / 2.0;

// The pixel `radius` out from the centre (32, 40) at `angle`: the track ring is at 23.
test::Px at(const Image& s, double radius, double angle) {
  return test::pixel_at(s, static_cast<int>(std::floor(32.0 + radius * std::cos(angle))),
                        static_cast<int>(std::floor(40.0 + radius * std::sin(angle))));
}
bool orange_at(const Image& s, double a) { return test::near(at(s, 23.0, a), 0.91, 0.51, 0.04, 16); }
bool pointer_towards(const Image& s, double a) { return test::near(at(s, 14.0, a), 0.95, 0.95, 0.98, 40); }

// Orange samples along the track, from just after its start to just before its end.
std::vector<bool> arc_samples(const Image& s) {
  std::vector<bool> out;
  for (int i = 0; i < 40; ++i) out.push_back(orange_at(s, kStart + 0.08 + i * (kEnd - kStart - 0.16) / 39));
  return out;
}

TEST_F(KnobWidget, PaintsNoArcAtMinTheWholeTrackAtMaxAndPointsAtTheValue) {
  knob.set_value(0.0f);
  auto at_min = test::render(*knob.widget);
  EXPECT_EQ(arc_samples(at_min), std::vector<bool>(40, false));
  EXPECT_TRUE(pointer_towards(at_min, kStart));

  knob.set_value(100.0f);
  auto at_max = test::render(*knob.widget);
  EXPECT_EQ(arc_samples(at_max), std::vector<bool>(40, true));
  EXPECT_TRUE(pointer_towards(at_max, kEnd));

  // Half way the arc stops straight up, where the pointer stands.
  knob.set_value(50.0f);
  auto half = test::render(*knob.widget);
  EXPECT_TRUE(orange_at(half, kTop - 0.2));
  EXPECT_FALSE(orange_at(half, kTop + 0.2));
  EXPECT_TRUE(pointer_towards(half, kTop));
}

}  // namespace
}  // namespace velmora::ui
