// The stylesheet, the pictures, and the knob and meter widgets alone in real windows.
#include <gtest/gtest.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/label.h>
#include <gtkmm/stylecontext.h>

#include <cmath>
#include <limits>

#include "ui/gui_fixture.hpp"
#include "ui/style.hpp"
#include "ui/widgets/knob.hpp"
#include "ui/widgets/meter.hpp"

namespace velmora::ui {
namespace {

// The stylesheet parses cleanly. Installed, it gives every window the dark background, and a
// modifier's rule stands after its base rule, so its colour wins.
TEST(Stylesheet, ParsesDarkensWindowsAndLetsModifierClassesWin) {
  auto provider = Gtk::CssProvider::create();
  std::vector<std::string> errors;
  provider->signal_parsing_error().connect(
      [&errors](const Glib::RefPtr<const Gtk::CssSection>& section, const Glib::Error& e) {
        errors.push_back(section->to_string() + ": " + e.what());
      });
  provider->load_from_data(stylesheet_text());
  EXPECT_EQ(errors, std::vector<std::string>{});

  install_stylesheet();
  Gtk::Window window;
  window.set_default_size(200, 100);
  auto* tab = Gtk::make_managed<Gtk::Label>("B1");
  tab->set_css_classes({"rack-tab", "rack-tab-sel"});
  test::show_in(window, *tab);
  auto frame = test::render(window);
  EXPECT_TRUE(test::near(test::pixel_at(frame, 150, 75), 0x0e / 255.0, 0x0e / 255.0, 0x12 / 255.0));
  EXPECT_EQ(tab->get_style_context()->get_color().to_string(), Gdk::RGBA("#e8830a").to_string());
  window.destroy();
}

// Pictures that decode are checked where they show: the header logo, and the window icon end to end.
TEST(Pictures, DataThatDoesNotDecodeLeavesThePictureOut) {
  const std::string junk = "not a png at all";
  auto bytes = Glib::Bytes::create(junk.data(), junk.size());
  EXPECT_EQ(logo_image(bytes), nullptr);
  EXPECT_FALSE(icon_texture(bytes));
  EXPECT_EQ(logo_image(Glib::RefPtr<const Glib::Bytes>{}), nullptr);
  EXPECT_FALSE(embedded("/org/velmora/Velmora/missing.png"));
}

// Only the exact unit bytes switch to whole numbers, from 10 (":1") and 100 ("ms") up.
TEST(KnobValueText, FormatsByUnitAndThreshold) {
  const std::tuple<float, const char*, const char*> rows[] = {
      {9.96f, ":1", "10.0:1"}, {10.0f, ":1", "10:1"}, {99.9f, "ms", "99.9ms"}, {100.0f, "ms", "100ms"},
      {-18.0f, "dB", "-18.0dB"}, {9.0f, "%", "9.0%"}, {150.0f, "MS", "150.0MS"}, {150.0f, " ms", "150.0 ms"}};
  for (const auto& [value, unit, text] : rows) EXPECT_EQ(knob_value_text(value, unit), text);
}

// A 100..200 knob: a wheel notch is half a unit, up raises; 10 px of drag up is 5 %, added again
// on each motion; sideways does nothing. The callback, the newest only, sees every event, clamped
// ones too, and not set_value. The track is orange clockwise from down-left up to the pointer.
TEST(KnobWidget, TurnsByWheelAndDragClampsCallsBackAndPaintsTheValue) {
  Gtk::Window window;
  Knob knob{"THR", "dB", 100.0f, 200.0f, 150.0f};
  test::show_in(window, *knob.widget);
  std::vector<float> calls;
  knob.connect_changed([&calls](float v) { calls.push_back(v); });
  for (double dy : {-1, -1, 1, -200, -3, 1000, 2}) EXPECT_TRUE(test::scroll(*knob.widget, 0.0, dy));
  EXPECT_EQ(calls, (std::vector<float>{150.5f, 151.0f, 150.5f, 200.0f, 200.0f, 100.0f, 100.0f}));
  knob.set_value(150.0f);
  test::scroll(*knob.widget, 7.0, 0.0);
  test::drag(*knob.widget, 120.0, 0.0);
  EXPECT_FLOAT_EQ(knob.value(), 150.0f);
  calls.clear();
  for (double oy : {-10, -10, -10, -4, 6, -400, -1}) test::drag(*knob.widget, 3.0, oy);
  EXPECT_EQ(calls, (std::vector<float>{155.0f, 160.0f, 165.0f, 167.0f, 164.0f, 200.0f, 200.0f}));
  for (auto [set, shown] : {std::pair{230.0f, 200.0f}, {95.0f, 100.0f}, {142.5f, 142.5f}}) {
    knob.set_value(set);
    EXPECT_FLOAT_EQ(knob.value(), shown);
  }
  std::vector<float> newer;
  knob.connect_changed([&newer](float v) { newer.push_back(v); });
  test::scroll(*knob.widget, 0.0, -2.0);
  EXPECT_EQ(calls.size(), 7u);
  EXPECT_EQ(newer, std::vector<float>{143.5f});

  const double start = 3.0 * M_PI / 4.0, end = 9.0 * M_PI / 4.0;
  const auto at = [](const auto& image, double radius, double a) {
    return test::pixel_at(image, static_cast<int>(std::floor(32.0 + radius * std::cos(a))),
                          static_cast<int>(std::floor(40.0 + radius * std::sin(a))));
  };
  for (const auto& [value, angle] : {std::pair{100.0f, start}, {150.0f, 3.0 * M_PI / 2.0}, {200.0f, end}}) {
    knob.set_value(value);
    const auto image = test::render(*knob.widget);
    for (double a = start + 0.08; a < end - 0.08; a += 0.1) {
      const test::Px p = at(image, 23.0, a);
      if (std::abs(a - angle) > 0.1) {
        EXPECT_TRUE(a < angle ? test::near(p, 0.91, 0.51, 0.04, 16) : test::near(p, 0.15, 0.15, 0.18, 8))
            << value << " at " << a;
      }
    }
    // The rim (0.38, 0.38, 0.44) covers three quarters of the body's last pixel row.
    EXPECT_TRUE(test::near(at(image, 27.0, M_PI / 2.0), 0.34, 0.34, 0.395, 3)) << value;
    EXPECT_TRUE(test::near(at(image, 14.0, angle), 0.95, 0.95, 0.98, 40)) << value;
  }
  window.destroy();
}

using Rgb = std::array<double, 3>;

// Zone colours written out per segment, bottom first: 23 green, 4 yellow, 2 orange, 1 red.
Rgb expected_colour(int i, int lit, bool gr_mode) {
  if (gr_mode) return i >= 30 - lit ? Rgb{0.25, 0.45, 1.0} : Rgb{0.03, 0.054, 0.12};
  const Rgb z = i <= 22 ? Rgb{0.0, 0.87, 0.25}
              : i <= 26 ? Rgb{0.89, 0.78, 0.0}
              : i <= 28 ? Rgb{0.91, 0.42, 0.02}
                        : Rgb{0.88, 0.07, 0.04};
  return i < lit ? z : Rgb{z[0] * 0.12, z[1] * 0.12, z[2] * 0.12};
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Each paint reads the cell; the lit count sets every segment's colour, levels from the bottom and
// reduction from the top. 0.75 is 22.5 segments: halves round away; past full scale, NaN, below 0 clamp.
TEST(MeterPixels, LightsTheRoundedNumberOfSegments) {
  const std::tuple<float, bool, int> rows[] = {  // level, gain-reduction mode, lit segments
      {0.0f, false, 0}, {1.0f / 60.0f, false, 1}, {0.51f, false, 15}, {0.517f, false, 16}, {0.75f, false, 23},
      {1.7f, false, 30}, {kInf, false, 30}, {kNaN, false, 0}, {-0.4f, false, 0},
      {1.0f / 60.0f, true, 1}, {0.517f, true, 16}, {2.0f, true, 30}, {kNaN, true, 0}, {-1.0f, true, 0}};
  for (const auto& [level, gr_mode, lit] : rows) {
    Gtk::Window window;
    MeterCell cell;
    Gtk::DrawingArea* meter = Meter::build(cell, gr_mode);
    test::show_in(window, *meter);
    ASSERT_EQ(meter->get_height(), 120);
    cell.store(level);
    auto image = test::render(*meter);
    for (int i = 0; i < kMeterSegments; ++i) {
      // Segment i covers y 116.75 - 4i .. 119.25 - 4i at the default height.
      const Rgb want = expected_colour(i, lit, gr_mode);
      const test::Px got = test::pixel_at(image, 8, 117 - 4 * i);
      EXPECT_TRUE(test::near(got, want[0], want[1], want[2]))
          << level << (gr_mode ? " gr" : "") << " segment " << i << " got " << got.r << "," << got.g << "," << got.b;
    }
    // Segments span x 1.5 .. 14.5: the outer columns stay unpainted.
    EXPECT_EQ(image->get_data()[4 * 0 + 3 + 117 * image->get_stride()], 0);
    EXPECT_EQ(image->get_data()[4 * 15 + 3 + 117 * image->get_stride()], 0);
    window.destroy();
  }
}

}  // namespace
}  // namespace velmora::ui
