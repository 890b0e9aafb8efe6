#pragma once
// Helpers for GUI tests: show a widget in a real window and read back what GTK painted.
#include <cairomm/surface.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>

namespace velmora::test {

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

// The first controller of GType `type` on `widget`, or nullptr.
GObject* find_controller(Gtk::Widget& widget, GType type);

}  // namespace velmora::test
