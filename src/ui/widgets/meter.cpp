#include "ui/widgets/meter.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/style.hpp"

namespace velmora::ui {

namespace {

struct Rgb {
  double r, g, b;
};
struct SegmentRect {
  double x, y, w, h;
};

constexpr int kMeterWidth = 16;
constexpr int kMeterHeight = 120;
constexpr double kSegmentX = 1.5;
constexpr double kSegmentWidth = 13.0;
constexpr double kSegmentGap = 1.5;
// Unlit level segments keep a trace of their zone colour.
constexpr double kDimFactor = 0.12;

// Zone limits as the position of a segment in the bar; compared in double against float limits.
constexpr float kGreenTop = 0.75f;
constexpr float kYellowTop = 0.88f;
constexpr float kOrangeTop = 0.95f;

constexpr Rgb kGreen{0.0, 0.87, 0.25};
constexpr Rgb kYellow{0.89, 0.78, 0.0};
constexpr Rgb kOrange{0.91, 0.42, 0.02};
constexpr Rgb kRed{0.88, 0.07, 0.04};
constexpr Rgb kGrLit{0.25, 0.45, 1.0};
constexpr Rgb kGrUnlit{0.03, 0.054, 0.12};

Rgb zone_colour(int segment) {
  const double p = static_cast<double>(segment) / kMeterSegments;
  if (p <= static_cast<double>(kGreenTop)) return kGreen;
  if (p <= static_cast<double>(kYellowTop)) return kYellow;
  if (p <= static_cast<double>(kOrangeTop)) return kOrange;
  return kRed;
}

unsigned meter_lit_count(double level) {
  const double lit = std::round(level * kMeterSegments);
  if (!(lit > 0.0)) return 0;  // negative or NaN
  if (lit >= static_cast<double>(std::numeric_limits<unsigned>::max())) {
    return std::numeric_limits<unsigned>::max();
  }
  return static_cast<unsigned>(lit);
}

Rgb meter_segment_colour(int segment, unsigned lit, bool gr_mode) {
  if (gr_mode) {
    // Gain reduction hangs from the top.
    const bool on = static_cast<long long>(segment) >= kMeterSegments - static_cast<long long>(lit);
    return on ? kGrLit : kGrUnlit;
  }
  const Rgb zone = zone_colour(segment);
  if (static_cast<unsigned>(segment) < lit) return zone;
  return Rgb{zone.r * kDimFactor, zone.g * kDimFactor, zone.b * kDimFactor};
}

SegmentRect meter_segment_rect(int segment, int height) {
  const double h = height;
  const double pitch = h / kMeterSegments;
  return SegmentRect{kSegmentX, h - (segment + 1) * pitch + kSegmentGap / 2.0, kSegmentWidth,
                     pitch - kSegmentGap};
}

// Paints the 30 segments for a level already clamped to [0, 1].
void draw_meter(const Cairo::RefPtr<Cairo::Context>& cr, int height, bool gr_mode, double level) {
  const unsigned lit = meter_lit_count(level);
  for (int i = 0; i < kMeterSegments; ++i) {
    const Rgb c = meter_segment_colour(i, lit, gr_mode);
    const SegmentRect r = meter_segment_rect(i, height);
    cr->set_source_rgb(c.r, c.g, c.b);
    cr->rectangle(r.x, r.y, r.w, r.h);
    cr->fill();
  }
}

}  // namespace

Gtk::DrawingArea* Meter::build(MeterCell cell, bool gr_mode) {
  auto* area = Gtk::make_managed<Gtk::DrawingArea>();
  area->set_size_request(kMeterWidth, kMeterHeight);
  area->set_draw_func(
      [cell = std::move(cell), gr_mode](const Cairo::RefPtr<Cairo::Context>& cr, int, int h) {
        // std::max/std::min pass NaN through, and NaN then lights nothing.
        const float v = std::min(std::max(cell.load(), 0.0f), 1.0f);
        draw_meter(cr, h, gr_mode, static_cast<double>(v));
      });
  return area;
}

Gtk::Box* meter_col(const Glib::ustring& title, const std::vector<Gtk::Widget*>& meters) {
  auto* col = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
  col->set_halign(Gtk::Align::CENTER);
  col->append(*styled_label(title, "io-lbl"));
  auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 2);
  for (Gtk::Widget* m : meters) row->append(*m);
  col->append(*row);
  return col;
}

}  // namespace velmora::ui
