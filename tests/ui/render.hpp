#pragma once
// Helpers for GUI tests: show a widget in a real window, read back what GTK painted,
// and drive a widget through its own event controllers.
#include <cairomm/surface.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>

#include <chrono>
#include <functional>

namespace velmora::test {

// Runs the GTK main loop until `done` holds; false when `limit` passes first.
bool run_until(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
// Runs every event that is ready now.
void pump();

// Puts `child` alone in `window` at its requested size, presents the window and runs
// the main loop until `child` is mapped and allocated.
void show_in(Gtk::Window& window, Gtk::Widget& child);

// Renders `widget` through GTK's own snapshot path (draw functions and CSS included)
// into an ARGB image of the widget's allocated size.
Cairo::RefPtr<Cairo::ImageSurface> render(Gtk::Widget& widget);

struct Px {
  int r, g, b;
};
Px pixel_at(const Cairo::RefPtr<Cairo::ImageSurface>& s, int x, int y);
// True when every channel of `p` is within `tol` of the 0..1 colour (r, g, b).
bool near(Px p, double r, double g, double b, int tol = 2);

// Emits "scroll" on the widget's scroll controller, as a wheel does; returns "handled".
bool scroll(Gtk::Widget& widget, double dx, double dy);
// Emits "drag-update" with the offsets on the widget's drag gesture.
void drag(Gtk::Widget& widget, double ox, double oy);
// Emits "pressed" on the widget's click gesture, as a press of the primary button does.
void press(Gtk::Widget& widget);

}  // namespace velmora::test
