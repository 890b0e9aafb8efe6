#include "ui/widgets/knob.hpp"

#include <fmt/format.h>
#include <gtkmm/eventcontrollerscroll.h>
#include <gtkmm/gesturedrag.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>
#include <utility>

namespace velmora::ui {

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 80;
// The track runs clockwise over the top, from down-left to down-right.
constexpr double kArcStart = 2.356194490192345;  // 3π/4
constexpr double kArcEnd = 7.0685834705770345;   // 9π/4
constexpr double kArcSweep = 4.71238898038469;   // 3π/2
// Below this much sweep the value arc would be a dot under the pointer.
constexpr double kMinVisibleSweep = 0.02;
// A wheel notch or a pixel of drag moves the value by 1/200 of the range.
constexpr float kStepsPerRange = -200.0f;
constexpr double kMaxRadius = 28.0;
constexpr double kCaptionBaseline = 10.0;
constexpr double kCaptionSize = 8.5;
constexpr double kValueSize = 8.0;
constexpr double kFallbackTextX = 2.0;

float clamp_into(float v, float min, float max) {
  // Raised first, then lowered: the order matters only for a range given upside down.
  return std::min(std::max(v, min), max);
}

// x that centres `text` on cx in the current font, or a fixed margin when cairo cannot measure it.
double centred_x(const Cairo::RefPtr<Cairo::Context>& cr, const std::string& text, double cx) {
  try {
    Cairo::TextExtents ext{};
    cr->get_text_extents(text, ext);
    if (std::isfinite(ext.width)) return cx - ext.width / 2.0;
  } catch (const std::exception&) {
  }
  return kFallbackTextX;
}

void changed(KnobState& st, Gtk::DrawingArea* widget, float v) {
  st.value = v;
  widget->queue_draw();
  // A copy, so that a callback replacing itself does not destroy the running one.
  if (auto cb = st.on_change) cb(v);
}

// Pointer angle in radians (cairo convention): 3π/4 at min, 9π/4 at max.
double knob_angle(float value, float min, float max) {
  const float frac = (value - min) / (max - min);
  return static_cast<double>(frac) * kArcSweep + kArcStart;
}

// The value after a scroll of dy or a drag offset of oy (both: up is negative).
float knob_scrolled(float value, float min, float max, double dy) {
  const float step = (max - min) / kStepsPerRange;
  return clamp_into(value + static_cast<float>(dy) * step, min, max);
}

float knob_dragged(float value, float min, float max, double oy) {
  return clamp_into(value + static_cast<float>(oy) * (max - min) / kStepsPerRange, min, max);
}

void draw_knob(const Cairo::RefPtr<Cairo::Context>& cr, int w, int h, const KnobState& state) {
  const double cx = w * 0.5;
  const double cy = (h - 16) * 0.5 + 8.0;
  const double r = std::min(cy - 2.0, std::min(cx - 2.0, kMaxRadius));

  cr->arc(cx, cy, r, 0.0, 2.0 * std::numbers::pi);
  cr->set_source_rgb(0.22, 0.22, 0.26);
  cr->fill_preserve();
  cr->set_source_rgb(0.38, 0.38, 0.44);
  cr->set_line_width(1.5);
  cr->stroke();

  cr->set_source_rgb(0.15, 0.15, 0.18);
  cr->set_line_width(4.0);
  cr->arc(cx, cy, r - 5.0, kArcStart, kArcEnd);
  cr->stroke();

  const double a = knob_angle(state.value, state.min, state.max);
  if (a > kArcStart + kMinVisibleSweep) {
    cr->set_source_rgb(0.91, 0.51, 0.04);
    cr->set_line_width(4.0);
    cr->arc(cx, cy, r - 5.0, kArcStart, a);
    cr->stroke();
  }

  cr->set_source_rgb(0.95, 0.95, 0.98);
  cr->set_line_width(2.0);
  cr->move_to(cx, cy);
  cr->line_to(cx + (r - 8.0) * std::cos(a), cy + (r - 8.0) * std::sin(a));
  cr->stroke();

  cr->set_source_rgb(0.55, 0.6, 0.65);
  cr->select_font_face("Monospace", Cairo::ToyFontFace::Slant::NORMAL,
                       Cairo::ToyFontFace::Weight::NORMAL);
  cr->set_font_size(kCaptionSize);
  cr->move_to(centred_x(cr, state.label, cx), kCaptionBaseline);
  cr->show_text(state.label);

  const std::string text = knob_value_text(state.value, state.unit);
  cr->set_source_rgb(0.91, 0.51, 0.04);
  cr->set_font_size(kValueSize);
  cr->move_to(centred_x(cr, text, cx), h - 2.0);
  cr->show_text(text);
}

}  // namespace

std::string knob_value_text(float value, std::string_view unit) {
  const bool whole = (unit == ":1" && value >= 10.0f) || (unit == "ms" && value >= 100.0f);
  if (whole) return fmt::format("{:.0f}{}", value, unit);
  return fmt::format("{:.1f}{}", value, unit);
}

Knob::Knob(std::string label, std::string unit, float min, float max, float value)
    : widget(Gtk::make_managed<Gtk::DrawingArea>()),
      state(std::make_shared<KnobState>(
          KnobState{std::move(label), std::move(unit), nullptr, value, min, max})) {
  widget->set_size_request(kWidth, kHeight);
  widget->set_focusable(true);

  widget->set_draw_func([st = state](const Cairo::RefPtr<Cairo::Context>& cr, int w, int h) {
    draw_knob(cr, w, h, *st);
  });

  auto scroll = Gtk::EventControllerScroll::create();
  scroll->set_flags(Gtk::EventControllerScroll::Flags::VERTICAL);
  scroll->signal_scroll().connect(
      [st = state, w = widget](double /*dx*/, double dy) {
        changed(*st, w, knob_scrolled(st->value, st->min, st->max, dy));
        return true;
      },
      false);
  widget->add_controller(scroll);

  auto drag = Gtk::GestureDrag::create();
  drag->signal_drag_update().connect([st = state, w = widget](double /*ox*/, double oy) {
    // The whole offset since the press is added again on every motion: a held drag speeds up.
    changed(*st, w, knob_dragged(st->value, st->min, st->max, oy));
  });
  widget->add_controller(drag);
}

void Knob::connect_changed(std::function<void(float)> f) const { state->on_change = std::move(f); }

void Knob::set_value(float v) const {
  state->value = clamp_into(v, state->min, state->max);
  widget->queue_draw();
}

}  // namespace velmora::ui
