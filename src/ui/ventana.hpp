#pragma once
// The main window: activation, the frame that construir builds (mode bar above the
// views), the view switch, the stand-by toggle, the window icon, and the start and stop
// of the audio engine.
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/togglebutton.h>

#include <memory>
#include <optional>

#include "audio/engine.hpp"
#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/desk/desk_view.hpp"
#include "ui/rack/rack_view.hpp"

namespace velmora::ui {

// The desk view's default window size; the rack view takes its natural size.
constexpr int kDeskWidth = 1440;
constexpr int kDeskHeight = 700;

// The engine slot: empty until the engine starts, emptied again when the window goes.
// Only ever touched on the GTK main thread.
using EngineCell = std::shared_ptr<std::optional<AudioEngine>>;

// What construir builds; every widget is owned by the window.
struct WindowFrame {
  SharedConfig config;
  std::shared_ptr<SharedState> shared;
  Gtk::ApplicationWindow* window = nullptr;
  Gtk::Box* root = nullptr;  // mode bar, desk view, rack view
  Gtk::ToggleButton* desk_toggle = nullptr;
  Gtk::ToggleButton* rack_toggle = nullptr;
  Gtk::ToggleButton* standby_toggle = nullptr;
  std::shared_ptr<DeskView> desk;
  std::shared_ptr<RackView> rack;
  EngineCell engine_cell;
};

// "activate" of the application: presents the existing window, or builds it.
void on_activate(Gtk::Application& app);
// SIGTERM, SIGINT and SIGHUP close the application's windows as their close buttons do, so the
// configuration is saved and the audio stopped; another one meanwhile waits for that close.
void close_on_signals(Gtk::Application& app);
// Builds the main window of `app`, starts the audio once it is shown, and presents it.
void construir(Gtk::Application& app);
// Everything construir does but presenting the window: the audio start is scheduled and
// the meter timers run.
std::shared_ptr<WindowFrame> build_window(Gtk::Application& app);

// Mode bar: "⊞ ESCRITORIO" / "▣ RACK 3U" view toggles, spacer, stand-by toggle.
Gtk::Box* build_mode_bar(WindowFrame& f);

void on_view_toggled(const WindowFrame& f);
void on_standby_toggled(Gtk::ToggleButton& toggle, SharedState& shared);
void start_audio_idle(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                      const EngineCell& engine_cell);
void on_window_destroy(const SharedConfig& config, const EngineCell& engine_cell);

}  // namespace velmora::ui
