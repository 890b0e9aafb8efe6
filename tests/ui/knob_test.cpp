#include "ui/knob.hpp"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/window.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "ui/render.hpp"

namespace velmora::ui {
namespace {

using test::near;
using test::pixel_at;

// ---- value texts --------------------------------------------------------------------------

struct TextCase {
  float value;
  const char* unit;
  const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.value << " '" << c.unit << "'"; }

class KnobValueText : public ::testing::TestWithParam<TextCase> {};

TEST_P(KnobValueText, FormatsByUnitAndThreshold) {
  EXPECT_EQ(knob_value_text(GetParam().value, GetParam().unit), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, KnobValueText,
    ::testing::Values(TextCase{9.96f, ":1", "10.0:1"}, TextCase{10.0f, ":1", "10:1"},
                      TextCase{3.0f, ":1", "3.0:1"}, TextCase{12.0f, ":1", "12:1"},
                      TextCase{99.9f, "ms", "99.9ms"}, TextCase{100.0f, "ms", "100ms"},
                      TextCase{150.0f, "ms", "150ms"}, TextCase{10.0f, "ms", "10.0ms"},
                      TextCase{-18.0f, "dB", "-18.0dB"}, TextCase{9.0f, "%", "9.0%"},
                      // Only the exact unit bytes switch to whole numbers.
                      TextCase{150.0f, "MS", "150.0MS"}, TextCase{150.0f, " ms", "150.0 ms"},
                      TextCase{250.0f, "", "250.0"}));

// ---- a knob in a real window ----------------------------------------------------------------

class KnobWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    test::show_in(window, *knob.widget);
    knob.connect_changed([this](float v) { calls.push_back(v); });
  }
  void TearDown() override { window.destroy(); }

  void scroll(double dx, double dy) {
    GObject* ctrl = test::find_controller(*knob.widget, GTK_TYPE_EVENT_CONTROLLER_SCROLL);
    ASSERT_NE(ctrl, nullptr);
    gboolean handled = FALSE;
    g_signal_emit_by_name(ctrl, "scroll", dx, dy, &handled);
    EXPECT_TRUE(handled);
  }
  void drag(double ox, double oy) {
    GObject* gesture = test::find_controller(*knob.widget, GTK_TYPE_GESTURE_DRAG);
    ASSERT_NE(gesture, nullptr);
    g_signal_emit_by_name(gesture, "drag-update", ox, oy);
  }

  Gtk::Window window;
  Knob knob{"THR", "dB", 0.0f, 100.0f, 50.0f};
  std::vector<float> calls;
};

TEST_F(KnobWidget, IsA64By80FocusableAreaListeningToVerticalScrollOnly) {
  int w = 0, h = 0;
  knob.widget->get_size_request(w, h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 80);
  EXPECT_TRUE(knob.widget->get_focusable());
  auto* scroll = GTK_EVENT_CONTROLLER_SCROLL(
      test::find_controller(*knob.widget, GTK_TYPE_EVENT_CONTROLLER_SCROLL));
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(gtk_event_controller_scroll_get_flags(scroll), GTK_EVENT_CONTROLLER_SCROLL_VERTICAL);
  EXPECT_EQ(test::find_controller(*knob.widget, GTK_TYPE_GESTURE_CLICK), nullptr);
}

struct MoveCase {
  std::vector<double> dys;       // successive scroll deltas or drag offsets
  std::vector<float> expected;  // value after each
};

// Range 0..100 from 50: one wheel notch is half a unit, up raises.
TEST_F(KnobWidget, ScrollMovesByAHalfPercentPerNotchAndClampsAtTheEnds) {
  const MoveCase c{{-1, -1, 1, -200, -3, 1000, 2},
                   {50.5f, 51.0f, 50.5f, 100.0f, 100.0f, 0.0f, 0.0f}};
  for (size_t i = 0; i < c.dys.size(); ++i) {
    scroll(0.0, c.dys[i]);
    EXPECT_FLOAT_EQ(knob.value(), c.expected[i]) << "step " << i;
  }
  // The callback sees every event, the clamped ones included.
  EXPECT_EQ(calls, c.expected);
}

TEST_F(KnobWidget, HorizontalScrollAndDragLeaveTheValue) {
  scroll(7.0, 0.0);
  drag(120.0, 0.0);
  EXPECT_FLOAT_EQ(knob.value(), 50.0f);
}

TEST_F(KnobWidget, DragAddsTheWholeOffsetAgainOnEveryUpdate) {
  // 10 px above the start is 5 % of the range per motion event, however long it is held.
  const MoveCase c{{-10, -10, -10, -4, 6, -400, -1}, {55.0f, 60.0f, 65.0f, 67.0f, 64.0f, 100.0f, 100.0f}};
  for (size_t i = 0; i < c.dys.size(); ++i) {
    drag(3.0, c.dys[i]);
    EXPECT_FLOAT_EQ(knob.value(), c.expected[i]) << "update " << i;
  }
  EXPECT_EQ(calls, c.expected);
}

TEST_F(KnobWidget, SetValueClampsWithoutCallingBack) {
  knob.set_value(130.0f);
  EXPECT_FLOAT_EQ(knob.value(), 100.0f);
  knob.set_value(-5.0f);
  EXPECT_FLOAT_EQ(knob.value(), 0.0f);
  knob.set_value(42.5f);
  EXPECT_FLOAT_EQ(knob.value(), 42.5f);
  EXPECT_TRUE(calls.empty());
}

TEST_F(KnobWidget, ConnectChangedKeepsOnlyTheNewestCallback) {
  std::vector<float> newer;
  knob.connect_changed([&newer](float v) { newer.push_back(v); });
  scroll(0.0, -2.0);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(newer, std::vector<float>{51.0f});
}

TEST(KnobHandle, CopiesShareStateAndStoreTheStartValueUnchanged) {
  Knob a("ATK", "ms", 0.1f, 200.0f, 10.0f);
  Knob b = a;
  b.set_value(20.0f);
  EXPECT_FLOAT_EQ(a.value(), 20.0f);
  EXPECT_EQ(a.widget, b.widget);
  EXPECT_EQ(a.state->label, "ATK");
  EXPECT_FALSE(a.state->on_change);
  Gtk::Window owner;  // takes the managed widget
  owner.set_child(*a.widget);
}

// ---- drawing ------------------------------------------------------------------------------

// Points on the middle of the track ring (radius 23 about (32, 40) in a 64 × 80 knob).
constexpr double kStart = 3.0 * M_PI / 4.0;
constexpr double kEnd = 9.0 * M_PI / 4.0;

bool orange_at(const Cairo::RefPtr<Cairo::ImageSurface>& s, double angle) {
  const int x = static_cast<int>(std::floor(32.0 + 23.0 * std::cos(angle)));
  const int y = static_cast<int>(std::floor(40.0 + 23.0 * std::sin(angle)));
  return near(pixel_at(s, x, y), 0.91, 0.51, 0.04, 16);
}

// Orange ring samples along the track, from just after the start to just before the end.
std::vector<bool> arc_samples(const Cairo::RefPtr<Cairo::ImageSurface>& s) {
  std::vector<bool> out;
  for (int i = 0; i < 40; ++i) out.push_back(orange_at(s, kStart + 0.08 + i * (kEnd - kStart - 0.16) / 39));
  return out;
}

bool pointer_towards(const Cairo::RefPtr<Cairo::ImageSurface>& s, double angle) {
  const int x = static_cast<int>(std::floor(32.0 + 14.0 * std::cos(angle)));
  const int y = static_cast<int>(std::floor(40.0 + 14.0 * std::sin(angle)));
  return near(pixel_at(s, x, y), 0.95, 0.95, 0.98, 40);
}

Cairo::RefPtr<Cairo::ImageSurface> draw_direct(const KnobState& st) {
  auto s = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, 64, 80);
  draw_knob(Cairo::Context::create(s), 64, 80, st);
  s->flush();
  return s;
}

TEST(KnobDrawing, MinShowsNoArcAndMaxTheWholeTrack) {
  KnobState st{"THR", "dB", {}, -40.0f, -40.0f, 0.0f};
  auto at_min = draw_direct(st);
  EXPECT_EQ(arc_samples(at_min), std::vector<bool>(40, false));
  EXPECT_TRUE(pointer_towards(at_min, kStart));

  st.value = 0.0f;
  auto at_max = draw_direct(st);
  EXPECT_EQ(arc_samples(at_max), std::vector<bool>(40, true));
  EXPECT_TRUE(pointer_towards(at_max, kEnd));

  // Half way the arc stops straight up, where the pointer stands.
  st.value = -20.0f;
  auto half = draw_direct(st);
  EXPECT_TRUE(orange_at(half, 3.0 * M_PI / 2.0 - 0.2));
  EXPECT_FALSE(orange_at(half, 3.0 * M_PI / 2.0 + 0.2));
  EXPECT_TRUE(pointer_towards(half, 3.0 * M_PI / 2.0));
}

TEST_F(KnobWidget, WindowPaintsTheArcThroughTheDrawFunction) {
  knob.set_value(0.0f);
  EXPECT_EQ(arc_samples(test::render(*knob.widget)), std::vector<bool>(40, false));
  knob.set_value(100.0f);
  EXPECT_EQ(arc_samples(test::render(*knob.widget)), std::vector<bool>(40, true));
}

}  // namespace
}  // namespace velmora::ui
