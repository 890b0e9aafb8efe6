#pragma once
// GUI tests in real windows: driving widgets through their own controllers, reading back what
// GTK painted, and the views built by their own builders over a private configuration folder.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "log.hpp"
#include "settings/config.hpp"
#include "ui/desk/desk_view.hpp"
#include "ui/rack/rack_view.hpp"

namespace velmora::test {

// Runs the GTK main loop until `done` holds; false when `limit` passes first.
inline bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs every event that is ready now.
inline void pump() { run_until([] { return !g_main_context_pending(nullptr); }); }

// Puts `child` alone in `window` at its requested size and waits until it has been drawn once.
inline void show_in(Gtk::Window& window, Gtk::Widget& child) {
  child.set_halign(Gtk::Align::START);
  child.set_valign(Gtk::Align::START);
  window.set_child(child);
  window.present();
  run_until([&] { return child.get_mapped() && child.get_width() > 0; });
  pump();
}

// Renders `widget` through GTK's own snapshot path (draw functions and CSS included) into an ARGB
// image, once a frame with its latest state is painted: a snapshot reuses the last frame's node.
inline Cairo::RefPtr<Cairo::ImageSurface> render(Gtk::Widget& widget) {
  GdkFrameClock* clock = gtk_widget_get_frame_clock(widget.gobj());
  bool painted = false;
  const gulong id = g_signal_connect_swapped(clock, "after-paint", G_CALLBACK(+[](bool* flag) { *flag = true; }),
                                             &painted);
  widget.queue_draw();
  run_until([&] { return painted; });
  g_signal_handler_disconnect(clock, id);
  EXPECT_TRUE(painted);
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

struct Px { int r, g, b; };

inline Px pixel_at(const Cairo::RefPtr<Cairo::ImageSurface>& s, int x, int y) {
  std::uint32_t argb = 0;
  std::memcpy(&argb, s->get_data() + static_cast<std::ptrdiff_t>(y) * s->get_stride() + 4 * x, 4);
  return Px{static_cast<int>((argb >> 16) & 0xff), static_cast<int>((argb >> 8) & 0xff), static_cast<int>(argb & 0xff)};
}

// True when every channel of `p` is within `tol` of the 0..1 colour (r, g, b).
inline bool near(Px p, double r, double g, double b, int tol = 2) {
  auto close = [tol](int v, double c) { return std::abs(v - std::lround(c * 255.0)) <= tol; };
  return close(p.r, r) && close(p.g, g) && close(p.b, b);
}

// Emits `signal` on the widget's first controller of GType `type`, as a wheel, a drag or a press does.
template <class... A>
void emit(Gtk::Widget& widget, GType type, const char* signal, A... args) {
  GListModel* list = gtk_widget_observe_controllers(widget.gobj());
  bool found = false;
  for (guint i = 0; !found && i < g_list_model_get_n_items(list); ++i) {
    auto* item = static_cast<GObject*>(g_list_model_get_item(list, i));
    if ((found = G_TYPE_CHECK_INSTANCE_TYPE(item, type))) g_signal_emit_by_name(item, signal, args...);
    g_object_unref(item);
  }
  g_object_unref(list);
  EXPECT_TRUE(found) << g_type_name(type);
  pump();
}

inline bool scroll(Gtk::Widget& widget, double dx, double dy) {
  gboolean handled = FALSE;
  emit(widget, GTK_TYPE_EVENT_CONTROLLER_SCROLL, "scroll", dx, dy, &handled);
  return handled != FALSE;
}

inline void drag(Gtk::Widget& w, double ox, double oy) { emit(w, GTK_TYPE_GESTURE_DRAG, "drag-update", ox, oy); }

inline void press(Gtk::Widget& w) { emit(w, GTK_TYPE_GESTURE_CLICK, "pressed", 1, 1.0, 1.0); }

// Emits "clicked" as a pointer click does (keyboard activation would wait for a timeout).
inline void click(Gtk::Button& b) {
  g_signal_emit_by_name(b.gobj(), "clicked");
  pump();
}

// A throw inside a lock scope leaves the cell poisoned for good.
inline void poison(ConfigCell& cell) {
  try {
    auto held = cell.lock();
    throw 1;
  } catch (int) {
  }
}

// The live record, read even when poisoned.
inline ProcessorConfig live(const SharedConfig& config) { return *config->lock(); }

// Every widget of type W under root, depth first.
template <class W>
std::vector<W*> find_all(Gtk::Widget& root) {
  std::vector<W*> out;
  if (auto* w = dynamic_cast<W*>(&root)) out.push_back(w);
  for (auto* c = root.get_first_child(); c != nullptr; c = c->get_next_sibling()) {
    for (W* w : find_all<W>(*c)) out.push_back(w);
  }
  return out;
}

inline Gtk::Button& find_button(Gtk::Widget& root, const Glib::ustring& label) {
  for (auto* b : find_all<Gtk::Button>(root)) {
    if (b->get_label() == label) return *b;
  }
  throw std::runtime_error("no button " + label);
}

// The open save dialogs.
inline std::vector<Gtk::Window*> dialogs() {
  std::vector<Gtk::Window*> out;
  for (auto* w : Gtk::Window::list_toplevels()) {
    if (w->get_title() == "Guardar preset" && w->get_visible()) out.push_back(w);
  }
  return out;
}

// Opens the dialog from "● SAVE", types the name and presses "Guardar".
inline void save_as(Gtk::Button& save, const Glib::ustring& typed) {
  click(save);
  ASSERT_EQ(dialogs().size(), 1u);
  find_all<Gtk::Entry>(*dialogs()[0]).at(0)->set_text(typed);
  click(find_button(*dialogs()[0], "Guardar"));
}

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// XDG_CONFIG_HOME and HOME pointed at a fresh folder, and every log line from info up kept.
class GuiEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velmora-gui-XXXXXX";
    home_ = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    setenv("HOME", home_.c_str(), 1);  // no user's ALSA settings either
    log::init({{"", spdlog::level::info}}, std::make_shared<spdlog::sinks::ostream_sink_mt>(log_));
  }
  void TearDown() override {
    for (auto* d : dialogs()) d->destroy();
    pump();
    log::init({}, std::make_shared<spdlog::sinks::null_sink_mt>());
    std::filesystem::remove_all(home_);
  }
  std::string logs() const { return log_.str(); }
  std::filesystem::path home_;
  std::ostringstream log_;
};

// One of the two views, built by its own builder in a real window.
struct View {
  // The rack, or the desk with its first-run step only when asked.
  View(bool is_rack, ConfigLoad loaded, bool run_first_step = false)
      : config(make_shared_config(std::move(loaded.config))) {
    if (is_rack) {
      rack = ui::rack_view::build(config, shared);
    } else {
      desk = ui::DeskView::build(config, shared, window);
      if (run_first_step) desk->first_run(loaded.read);
    }
    window.set_child(desk ? *desk->root : *rack->root);
    window.present();
    pump();
  }
  View(bool is_rack, ProcessorConfig cfg) : View(is_rack, ConfigLoad{std::move(cfg)}) {}

  Gtk::Widget& root() const { return desk ? *desk->root : *rack->root; }
  const ui::PresetControls& presets() const { return desk ? *desk->presets : *rack->presets; }
  const ui::PanelControls& panel() const { return desk ? desk->panel : rack->panel; }
  std::vector<ui::StripFace> faces() const { return desk ? desk->faces() : rack->strips; }
  // Band b's: the desk's strip, or the drawer, which starts on band 1 and moves by its tabs.
  const ui::BandKnobs& knobs(std::size_t b = 0) const {
    if (desk) return desk->strips[b].knobs;
    if (b != 0) press(*rack->drawer.tabs[b]);
    return rack->drawer.knobs;
  }
  const ui::BandChecks& checks(std::size_t b = 0) const {
    if (desk) return desk->strips[b].checks;
    if (b != 0) press(*rack->drawer.tabs[b]);
    return rack->drawer.checks;
  }
  bool mpx() const { return desk ? desk->mpx_switch->get_active() : rack->mpx->get_active(); }
  void set_mpx(bool on) const { desk ? desk->mpx_switch->set_active(on) : rack->mpx->set_active(on); }
  // Each band's level and reduction, input, output and limiter, then multiplex output meters.
  std::vector<Gtk::Widget*> meters() const {
    if (rack) return rack->meters;
    std::vector<Gtk::Widget*> out;
    for (const auto& s : desk->strips) out.insert(out.end(), {s.meter_vu, s.meter_gr});
    out.insert(out.end(), desk->io_meters.begin(), desk->io_meters.end());
    const auto areas = find_all<Gtk::DrawingArea>(*desk->main_row);  // the multiplex panel's come last
    out.insert(out.end(), areas.end() - 2, areas.end());
    return out;
  }
  // Selects `name` and presses the view's "▶ LOAD".
  void load(const Glib::ustring& name) const {
    presets().selector->set_active_id(name);
    click(*presets().load);
  }

  SharedConfig config;
  std::shared_ptr<SharedState> shared = SharedState::create();
  Gtk::Window window;
  std::shared_ptr<ui::DeskView> desk;
  std::shared_ptr<ui::RackView> rack;
};

inline void notch_up(const ui::Knob& k) { scroll(*k.widget, 0.0, -1.0); }

inline std::string view_name(const ::testing::TestParamInfo<bool>& info) { return info.param ? "rack" : "desk"; }

using Texts = std::array<std::string, 6>;
inline const std::string kDash = "\u2014";

inline Texts range_texts(const View& v) {
  Texts out;
  const auto faces = v.faces();
  for (std::size_t i = 0; i < 6; ++i) out[i] = faces[i].range->get_text().raw();
  return out;
}

// Strips below n sensitive and opaque, the others insensitive and dimmed (opacity is kept in 8 bits).
inline void expect_active(const View& v, std::uint64_t n) {
  const auto faces = v.faces();
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(faces[i].root->get_sensitive(), i < n) << "strip " << i;
    EXPECT_NEAR(faces[i].root->get_opacity(), i < n ? 1.0 : 0.22, 1.0 / 255) << "strip " << i;
  }
}

}  // namespace velmora::test
