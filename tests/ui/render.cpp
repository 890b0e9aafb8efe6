#include "ui/render.hpp"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>

namespace velmora::test {
namespace {

// Runs the main loop until the window has painted a frame that includes `widget`'s latest
// state: GTK snapshots reuse the node of the last painted frame.
void wait_for_paint(Gtk::Widget& widget) {
  GdkFrameClock* clock = gtk_widget_get_frame_clock(widget.gobj());
  ASSERT_NE(clock, nullptr);
  bool painted = false;
  const gulong id = g_signal_connect_swapped(
      clock, "after-paint", G_CALLBACK(+[](bool* flag) { *flag = true; }), &painted);
  widget.queue_draw();
  run_until([&] { return painted; });
  g_signal_handler_disconnect(clock, id);
  ASSERT_TRUE(painted);
}

// The first controller of GType `type` on `widget`; the widget keeps it alive.
GObject* find_controller(Gtk::Widget& widget, GType type) {
  GListModel* list = gtk_widget_observe_controllers(widget.gobj());
  GObject* found = nullptr;
  for (guint i = 0; found == nullptr && i < g_list_model_get_n_items(list); ++i) {
    auto* item = static_cast<GObject*>(g_list_model_get_item(list, i));
    if (G_TYPE_CHECK_INSTANCE_TYPE(item, type)) found = item;
    g_object_unref(item);
  }
  g_object_unref(list);
  EXPECT_NE(found, nullptr) << g_type_name(type);
  return found;
}

}  // namespace

bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void pump() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

void show_in(Gtk::Window& window, Gtk::Widget& child) {
  child.set_halign(Gtk::Align::START);
  child.set_valign(Gtk::Align::START);
  window.set_child(child);
  window.present();
  run_until([&] { return child.get_mapped() && child.get_width() > 0; });
  // Let the first frame go through so that every node has been drawn once.
  for (int i = 0; i < 20; ++i) g_main_context_iteration(nullptr, FALSE);
  ASSERT_TRUE(child.get_mapped());
}

Cairo::RefPtr<Cairo::ImageSurface> render(Gtk::Widget& widget) {
  wait_for_paint(widget);
  const int w = widget.get_width();
  const int h = widget.get_height();
  auto surface = Cairo::ImageSurface::create(Cairo::Surface::Format::ARGB32, w, h);
  GdkPaintable* paintable = gtk_widget_paintable_new(widget.gobj());
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable, GDK_SNAPSHOT(snapshot), w, h);
  if (GskRenderNode* node = gtk_snapshot_free_to_node(snapshot)) {
    cairo_t* cr = cairo_create(surface->cobj());
    gsk_render_node_draw(node, cr);
    cairo_destroy(cr);
    gsk_render_node_unref(node);
  }
  g_object_unref(paintable);
  surface->flush();
  return surface;
}

Px pixel_at(const Cairo::RefPtr<Cairo::ImageSurface>& s, int x, int y) {
  const unsigned char* row = s->get_data() + static_cast<std::ptrdiff_t>(y) * s->get_stride();
  std::uint32_t argb = 0;
  std::memcpy(&argb, row + 4 * x, 4);
  return Px{static_cast<int>((argb >> 16) & 0xff), static_cast<int>((argb >> 8) & 0xff),
            static_cast<int>(argb & 0xff)};
}

bool near(Px p, double r, double g, double b, int tol) {
  auto close = [tol](int v, double c) { return std::abs(v - std::lround(c * 255.0)) <= tol; };
  return close(p.r, r) && close(p.g, g) && close(p.b, b);
}

bool scroll(Gtk::Widget& widget, double dx, double dy) {
  gboolean handled = FALSE;
  if (GObject* c = find_controller(widget, GTK_TYPE_EVENT_CONTROLLER_SCROLL)) {
    g_signal_emit_by_name(c, "scroll", dx, dy, &handled);
  }
  return handled != FALSE;
}

void drag(Gtk::Widget& widget, double ox, double oy) {
  if (GObject* g = find_controller(widget, GTK_TYPE_GESTURE_DRAG)) {
    g_signal_emit_by_name(g, "drag-update", ox, oy);
  }
}

void press(Gtk::Widget& widget) {
  if (GObject* g = find_controller(widget, GTK_TYPE_GESTURE_CLICK)) {
    g_signal_emit_by_name(g, "pressed", 1, 1.0, 1.0);
  }
  pump();
}

}  // namespace velmora::test
