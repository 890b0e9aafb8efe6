#pragma once
// Segmented bar meters on a MeterCell, and the captioned meter columns of the header.
#include <cairomm/context.h>
#include <gtkmm/box.h>
#include <gtkmm/drawingarea.h>

#include <array>
#include <vector>

#include "shared_state.hpp"

namespace velmora::ui {

constexpr int kMeterSegments = 30;
// The views repaint their meters this often; the meters read their cells as they paint.
constexpr unsigned kMeterRedrawMs = 33;

struct Meter {
  // A 16 × 120 drawing area that paints `cell` on every draw; managed.
  static Gtk::DrawingArea* build(MeterCell cell, bool gr_mode);
};

// Caption (css "io-lbl") above the meters side by side; managed.
Gtk::Box* meter_col(const Glib::ustring& title, const std::vector<Gtk::Widget*>& meters);

}  // namespace velmora::ui
