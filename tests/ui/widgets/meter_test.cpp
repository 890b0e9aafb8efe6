#include "ui/widgets/meter.hpp"

#include <gtest/gtest.h>
#include <gtkmm/window.h>

#include <limits>
#include <tuple>

#include "ui/gui_fixture.hpp"

namespace velmora::ui {
namespace {

struct Rgb {
  double r, g, b;
};

// Zone colours written out per segment, bottom first: 23 green, 4 yellow, 2 orange, 1 red.
Rgb expected_colour(int i, int lit, bool gr_mode) {
  if (gr_mode) return i >= 30 - lit ? Rgb{0.25, 0.45, 1.0} : Rgb{0.03, 0.054, 0.12};
  const Rgb z = i <= 22 ? Rgb{0.0, 0.87, 0.25}
              : i <= 26 ? Rgb{0.89, 0.78, 0.0}
              : i <= 28 ? Rgb{0.91, 0.42, 0.02}
                        : Rgb{0.88, 0.07, 0.04};
  return i < lit ? z : Rgb{z.r * 0.12, z.g * 0.12, z.b * 0.12};
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The real widget reads its cell on each paint; every segment centre shows the colour that the
// lit count implies (level mode from the bottom, gain-reduction mode from the top). 0.75 is
// 22.5 segments: halves round away from zero; beyond full scale, NaN and below 0 clamp.
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
      EXPECT_TRUE(test::near(got, want.r, want.g, want.b))
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
