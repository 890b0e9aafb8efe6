#pragma once
// The rotary control of both views: a drawn body, a 270° track, an orange value
// arc, a pointer, a caption and the formatted value. Scroll or drag vertically.
#include <gtkmm/drawingarea.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velmora::ui {

struct KnobState {
  std::string label;
  std::string unit;
  std::function<void(float)> on_change;
  float value = 0.0f;
  float min = 0.0f;
  float max = 1.0f;
};

// A small handle: copies share the widget and the state.
class Knob {
 public:
  // Knob::new(label, unit, min, max, value)
  Knob(std::string label, std::string unit, float min, float max, float value);

  // Replaces any stored callback; called after every user change with the new value.
  void connect_changed(std::function<void(float)> f) const;
  // Clamps into [min, max] and queues a redraw; never calls the callback.
  void set_value(float v) const;
  float value() const { return state->value; }

  Gtk::DrawingArea* widget;  // managed: owned by the container it is appended to
  std::shared_ptr<KnobState> state;
};

// Pure parts, kept apart so that tests can call them directly.
std::string knob_value_text(float value, std::string_view unit);
// Pointer angle in radians (cairo convention): 3π/4 at min, 9π/4 at max.
double knob_angle(float value, float min, float max);
// The value after a scroll of dy or a drag offset of oy (both: up is negative).
float knob_scrolled(float value, float min, float max, double dy);
float knob_dragged(float value, float min, float max, double oy);
// Paints the knob for `state` into a w × h area; the widget's draw function calls it.
void draw_knob(const Cairo::RefPtr<Cairo::Context>& cr, int w, int h, const KnobState& state);

}  // namespace velmora::ui
