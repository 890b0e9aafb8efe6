// Activation, the order in which the main window is built, and the window-level
// callbacks: icon, audio start once the window is up, save and audio stop at close,
// and the desk's meter redraw timer.
#include "ui/ventana.hpp"

#include <gdk/gdk.h>
#include <glib-unix.h>
#include <glibmm/main.h>
#include <gtkmm/window.h>
#include <sigc++/adaptors/track_obj.h>

#include <csignal>
#include <cstdio>

#include "log.hpp"
#include "ui/widgets/meter.hpp"
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

// A shutdown, a `systemctl stop`, Ctrl-C or a closed terminal.
constexpr int kCloseSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The sources stay for the whole run: a signal that comes while the close saves and stops the
// audio only waits for it, and one after it finds no window and quits, so the run always ends
// with the configuration saved, the exit line and status 0.
gboolean on_close_signal(gpointer app) {
  // Each window held by the copy, so that a close never frees one the loop has yet to reach.
  GList* windows = g_list_copy_deep(
      gtk_application_get_windows(GTK_APPLICATION(app)),
      [](gconstpointer w, gpointer) -> gpointer { return g_object_ref(const_cast<gpointer>(w)); }, nullptr);
  if (windows == nullptr) g_application_quit(G_APPLICATION(app));  // no window built yet
  for (GList* w = windows; w != nullptr; w = w->next) gtk_window_close(GTK_WINDOW(w->data));
  g_list_free_full(windows, g_object_unref);
  return G_SOURCE_CONTINUE;
}

}  // namespace

void close_on_signals(Gtk::Application& app) {
  for (const int sig : kCloseSignals) g_unix_signal_add(sig, on_close_signal, app.gobj());
}

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

void construir(Gtk::Application& app) { build_window(app)->window->present(); }

std::shared_ptr<WindowFrame> build_window(Gtk::Application& app) {
  auto f = std::make_shared<WindowFrame>();
  ConfigLoad loaded = ProcessorConfig::leer();
  const bool config_read = loaded.read;
  f->config = make_shared_config(std::move(loaded.config));
  f->shared = SharedState::create();
  // Before any widget exists, so that every widget is styled from its first frame.
  install_stylesheet();

  f->window = Gtk::make_managed<Gtk::ApplicationWindow>();
  app.add_window(*f->window);
  f->window->set_title("Velmora");
  f->window->set_default_size(kDeskWidth, kDeskHeight);

  f->root = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
  f->root->set_margin_start(6);
  f->root->set_margin_end(6);
  f->root->set_margin_top(4);
  f->root->set_margin_bottom(6);
  f->root->append(*build_mode_bar(*f));

  f->desk = DeskView::build(f->config, f->shared, *f->window);
  f->root->append(*f->desk->root);

  f->rack = rack_view::build(f->config, f->shared);
  f->rack->root->set_visible(false);
  f->root->append(*f->rack->root);
  link_presets(f->desk->presets, f->rack->presets);

  f->rack_toggle->signal_toggled().connect([f] { on_view_toggled(*f); });

  f->desk->first_run(config_read);
  // The first run may have applied "ROCK": the rack shows what is in force too.
  f->rack->show_live();

  f->window->set_child(*f->root);

  if (Glib::RefPtr<Gdk::Texture> icon = icon_texture()) {
    f->window->signal_realize().connect(
        [window = f->window, icon] { on_window_realize(*window, icon); });
  }

  f->engine_cell = std::make_shared<std::optional<AudioEngine>>();
  // At idle priority: the window is drawn first, opening the devices comes after.
  Glib::signal_idle().connect_once(
      [config = f->config, shared = f->shared, cell = f->engine_cell] {
        start_audio_idle(config, shared, cell);
      },
      Glib::PRIORITY_DEFAULT_IDLE);
  f->window->signal_destroy().connect(
      [config = f->config, cell = f->engine_cell] { on_window_destroy(config, cell); });
  // redraw_meters, tied to the window's lifetime so that it never touches meters that are gone.
  Glib::signal_timeout().connect(
      sigc::track_obj([desk = f->desk] { return desk->redraw_meters(); }, *f->window),
      kMeterRedrawMs);
  return f;
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

}  // namespace velmora::ui
