// Activation, the order in which the main window is built, and the window-level
// callbacks: icon, audio start once the window is up, save and audio stop at close,
// and the meter redraw timer.
#include "ui/ventana.hpp"

#include <gdk/gdk.h>
#include <glibmm/main.h>
#include <gtkmm/window.h>
#include <sigc++/adaptors/track_obj.h>

#include <cstdio>

#include "log.hpp"
#include "ui/meter.hpp"
#include "ui/mpx_panel.hpp"
#include "ui/side_panels.hpp"
#include "ui/style.hpp"

namespace velmora::ui {

namespace {

spdlog::logger& logger() { return log::get("velmora::ui::ventana"); }

void on_window_realize(Gtk::Window& window, const Glib::RefPtr<Gdk::Texture>& icon) {
  Glib::RefPtr<Gdk::Surface> surface = window.get_surface();
  if (!surface || !GDK_IS_TOPLEVEL(surface->gobj())) return;
  GList icons{};
  icons.data = icon->gobj();
  gdk_toplevel_set_icon_list(GDK_TOPLEVEL(surface->gobj()), &icons);
}

}  // namespace

void on_activate(Gtk::Application& app) {
  std::fputs("[Velmora] activate\n", stderr);
  // Through the C call: gtkmm's get_active_window() keeps a reference that would
  // stop the window from ever being destroyed, and with it the save at close.
  if (GtkWindow* existing = gtk_application_get_active_window(app.gobj())) {
    gtk_window_present(existing);
    return;
  }
  construir(app);
}

void construir(Gtk::Application& app) { build_window(app).window->present(); }

WindowFrame build_window(Gtk::Application& app) {
  WindowFrame f;
  f.config = make_shared_config(ProcessorConfig::cargar());
  f.shared = SharedState::create();
  // Before any widget exists, so that every widget is styled from its first frame.
  install_stylesheet();

  f.window = Gtk::make_managed<Gtk::ApplicationWindow>();
  app.add_window(*f.window);
  f.window->set_title("Velmora");
  f.window->set_default_size(kDeskWidth, kDeskHeight);

  f.root = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
  f.root->set_margin_start(6);
  f.root->set_margin_end(6);
  f.root->set_margin_top(4);
  f.root->set_margin_bottom(6);
  f.root->append(*build_mode_bar(f));

  f.desk_view = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
  f.header = build_header(f);
  f.desk_view->append(*f.header);

  f.desk = build_desk(f.config, f.shared, *f.header, *f.window);
  f.desk_view->append(*f.desk.main_row);
  f.root->append(*f.desk_view);

  // The rack view goes here: built hidden, appended after the desk view, f.rack_root set.

  f.rack_toggle->signal_toggled().connect(
      [rack = f.rack_toggle, desk_view = f.desk_view, rack_root = f.rack_root, window = f.window,
       desk = f.desk_toggle] { on_view_toggled(*rack, *desk_view, rack_root, *window, *desk); });

  first_run(f.config, f.shared, *f.desk.strips, *f.desk.controls, *f.desk.presets.selector,
            f.desk.presets.presets);

  f.window->set_child(*f.root);

  if (Glib::RefPtr<Gdk::Texture> icon = icon_texture()) {
    f.window->signal_realize().connect(
        [window = f.window, icon] { on_window_realize(*window, icon); });
  }

  f.engine_cell = std::make_shared<std::optional<AudioEngine>>();
  // At idle priority: the window is drawn first, opening the devices comes after.
  Glib::signal_idle().connect_once(
      [config = f.config, shared = f.shared, cell = f.engine_cell] {
        start_audio_idle(config, shared, cell);
      },
      Glib::PRIORITY_DEFAULT_IDLE);
  f.window->signal_destroy().connect(
      [config = f.config, cell = f.engine_cell] { on_window_destroy(config, cell); });
  // Tied to the window's lifetime so that it never touches meters that are gone.
  Glib::signal_timeout().connect(
      sigc::track_obj([io = f.io_meters, strips = f.desk.strips] { return redraw_meters(*io, *strips); },
                      *f.window),
      kMeterRedrawMs);
  return f;
}

DeskBody build_desk(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                    Gtk::Box& header, Gtk::Window& window) {
  // Filled in as the controls are made; a preset load sets every one of them.
  auto controls = std::make_shared<DeskControls>();
  BandArea bands = build_band_area(config, shared, *controls);
  PresetSection presets = build_preset_section(config, shared, bands.strips, controls, window);
  header.append(*presets.box);

  auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  row->set_vexpand(true);
  row->append(*build_left_panel(config, *controls));
  row->append(*bands.area);
  row->append(*build_mpx_panel(config, shared, *controls));
  row->append(*build_right_panel(config, *controls));
  return {row, bands.strips, controls, presets};
}

void start_audio_idle(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                      const EngineCell& engine_cell) {
  Result<AudioEngine> started = AudioEngine::start(config, shared);
  if (started) {
    engine_cell->emplace(std::move(started).value());
    logger().info("Audio OK");
  } else {
    // No retry: the window keeps working without sound.
    logger().error("Audio: {}", started.error());
  }
}

void on_window_destroy(const SharedConfig& config, const EngineCell& engine_cell) {
  {
    ConfigCell::Guard guard = config->lock();
    // The lock stays held while the file is written; a poisoned cell is not saved.
    if (guard.ok()) guard->guardar();
  }
  std::optional<AudioEngine> engine;
  engine.swap(*engine_cell);
  // `engine` goes out of scope here: dropping it stops capture, then playback.
}

bool redraw_meters(const std::vector<Gtk::Widget*>& io_meters,
                   const std::vector<BandStrip>& strips) {
  for (Gtk::Widget* m : io_meters) m->queue_draw();
  // Inactive strips too: their meters keep showing the last values.
  for (const BandStrip& s : strips) {
    s.meter_vu->queue_draw();
    s.meter_gr->queue_draw();
  }
  return true;
}

}  // namespace velmora::ui
