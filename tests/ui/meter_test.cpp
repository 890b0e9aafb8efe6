#include "ui/meter.hpp"

#include <gtest/gtest.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "ui/render.hpp"
#include "ui/style.hpp"

namespace velmora::ui {
namespace {

// Zone colours written out per segment, bottom first: 23 green, 4 yellow, 2 orange, 1 red.
Rgb zone_of(int i) {
  if (i <= 22) return {0.0, 0.87, 0.25};
  if (i <= 26) return {0.89, 0.78, 0.0};
  if (i <= 28) return {0.91, 0.42, 0.02};
  return {0.88, 0.07, 0.04};
}

Rgb expected_colour(int i, int lit, bool gr_mode) {
  if (gr_mode) return i >= 30 - lit ? Rgb{0.25, 0.45, 1.0} : Rgb{0.03, 0.054, 0.12};
  const Rgb z = zone_of(i);
  return i < lit ? z : Rgb{z.r * 0.12, z.g * 0.12, z.b * 0.12};
}

struct LitCase {
  float level;
  bool gr_mode;
  int lit;
};

void PrintTo(const LitCase& c, std::ostream* os) {
  *os << c.level << (c.gr_mode ? " gr" : " level") << " lights " << c.lit;
}

std::string case_name(const ::testing::TestParamInfo<LitCase>& info) {
  return std::string(info.param.gr_mode ? "Gr" : "Level") + "Case" + std::to_string(info.index);
}

class MeterPixels : public ::testing::TestWithParam<LitCase> {
 protected:
  void TearDown() override { window.destroy(); }
  Gtk::Window window;
};

// The real widget reads its cell on each paint; every segment centre shows the colour that the
// lit count implies (level mode from the bottom, gain-reduction mode from the top).
TEST_P(MeterPixels, LightsTheRoundedNumberOfSegments) {
  const auto [level, gr_mode, lit] = GetParam();
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
        << "segment " << i << " got " << got.r << "," << got.g << "," << got.b;
  }
  // Segments span x 1.5 .. 14.5: the outer columns stay unpainted.
  EXPECT_EQ(cairo_image_surface_get_data(image->cobj())[4 * 0 + 3 + 117 * image->get_stride()], 0);
  EXPECT_EQ(cairo_image_surface_get_data(image->cobj())[4 * 15 + 3 + 117 * image->get_stride()], 0);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Levels, MeterPixels,
    ::testing::Values(LitCase{0.0f, false, 0}, LitCase{1.0f / 60.0f, false, 1},
                      LitCase{0.5f, false, 15}, LitCase{0.51f, false, 15},
                      LitCase{0.517f, false, 16}, LitCase{0.75f, false, 23},
                      LitCase{1.0f, false, 30}, LitCase{1.7f, false, 30},
                      LitCase{kInf, false, 30}, LitCase{kNaN, false, 0},
                      LitCase{-0.4f, false, 0}, LitCase{0.0f, true, 0},
                      LitCase{1.0f / 60.0f, true, 1}, LitCase{0.5f, true, 15},
                      LitCase{0.51f, true, 15}, LitCase{0.517f, true, 16},
                      LitCase{1.0f, true, 30}, LitCase{2.0f, true, 30}, LitCase{kNaN, true, 0},
                      LitCase{-1.0f, true, 0}),
    case_name);

TEST(MeterLitCount, RoundsHalvesAwayFromZeroAndFloorsAtNothing) {
  EXPECT_EQ(meter_lit_count(0.25), 8u);   // 7.5
  EXPECT_EQ(meter_lit_count(0.75), 23u);  // 22.5
  EXPECT_EQ(meter_lit_count(-0.25), 0u);
  EXPECT_EQ(meter_lit_count(std::nan("")), 0u);
  EXPECT_EQ(meter_lit_count(2.0), 60u);
}

TEST(MeterGeometry, FollowsTheActualHeight) {
  const SegmentRect bottom = meter_segment_rect(0, 120);
  EXPECT_DOUBLE_EQ(bottom.x, 1.5);
  EXPECT_DOUBLE_EQ(bottom.y, 116.75);
  EXPECT_DOUBLE_EQ(bottom.w, 13.0);
  EXPECT_DOUBLE_EQ(bottom.h, 2.5);
  EXPECT_DOUBLE_EQ(meter_segment_rect(29, 120).y, 0.75);
  const SegmentRect tall = meter_segment_rect(29, 240);
  EXPECT_DOUBLE_EQ(tall.y, 0.75);
  EXPECT_DOUBLE_EQ(tall.h, 6.5);
}

TEST(MeterColumn, CaptionCentredAboveMetersTwoPixelsApart) {
  install_stylesheet();  // the caption's real size
  Gtk::Window window;
  auto* left = Meter::build(MeterCell{}, false);
  auto* right = Meter::build(MeterCell{}, false);
  Gtk::Box* col = meter_col("INPUT", {left, right});
  EXPECT_EQ(col->get_orientation(), Gtk::Orientation::VERTICAL);
  EXPECT_EQ(col->get_spacing(), 2);
  EXPECT_EQ(col->get_halign(), Gtk::Align::CENTER);

  auto* caption = dynamic_cast<Gtk::Label*>(col->get_first_child());
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->get_text(), "INPUT");
  EXPECT_TRUE(caption->has_css_class("io-lbl"));
  auto* row = dynamic_cast<Gtk::Box*>(caption->get_next_sibling());
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->get_orientation(), Gtk::Orientation::HORIZONTAL);
  EXPECT_EQ(row->get_first_child(), left);
  EXPECT_EQ(left->get_next_sibling(), right);

  test::show_in(window, *col);
  const auto a = left->get_allocation();
  const auto b = right->get_allocation();
  EXPECT_EQ(a.get_width(), 16);
  EXPECT_EQ(b.get_x() - (a.get_x() + a.get_width()), 2);
  // Caption centred over the pair, in the column's coordinates.
  double lx = 0, ly = 0, rx = 0, ry = 0;
  ASSERT_TRUE(left->translate_coordinates(*col, 0, 0, lx, ly));
  ASSERT_TRUE(right->translate_coordinates(*col, 16, 0, rx, ry));
  const auto c = caption->get_allocation();
  EXPECT_NEAR(c.get_x() + c.get_width() / 2.0, (lx + rx) / 2.0, 1.0);
  EXPECT_LT(ly, ry + 1);
  EXPECT_GT(ly, c.get_y() + c.get_height());
  window.destroy();
}

}  // namespace
}  // namespace velmora::ui
