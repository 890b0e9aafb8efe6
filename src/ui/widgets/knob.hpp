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

// The value as the knob writes it under its dial: "-18.0dB", "150ms", "3.0:1".
std::string knob_value_text(float value, std::string_view unit);

}  // namespace velmora::ui
