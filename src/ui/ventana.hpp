#pragma once
// The main window: activation, the frame that construir builds (mode bar, desk
// header with the INPUT / OUTPUT / LIM meters, main row), the view switch, the
// stand-by toggle, the window icon, and the start and stop of the audio engine.
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/togglebutton.h>

#include <memory>
#include <optional>
#include <vector>

#include "audio/engine.hpp"
#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/band_strip.hpp"
#include "ui/desk_controls.hpp"
#include "ui/desk_presets.hpp"

namespace velmora::ui {

// The desk view's default window size; the rack view takes its natural size.
constexpr int kDeskWidth = 1440;
constexpr int kDeskHeight = 700;

// The engine slot: empty until the engine starts, emptied again when the window goes.
// Only ever touched on the GTK main thread.
using EngineCell = std::shared_ptr<std::optional<AudioEngine>>;

// The meter widgets that the 33 ms timer repaints, in display order.
using MeterList = std::shared_ptr<std::vector<Gtk::Widget*>>;

// The desk below its header: band strips, preset section and the main row with the panels.
struct DeskBody {
  Gtk::Box* main_row = nullptr;
  Strips strips;  // band 1 first
  std::shared_ptr<DeskControls> controls;
  PresetSection presets;
};

// What construir has built so far. The desk parts are placed into it while it is
// being built; every widget is owned by the window.
struct WindowFrame {
  SharedConfig config;
  std::shared_ptr<SharedState> shared;
  Gtk::ApplicationWindow* window = nullptr;
  Gtk::Box* root = nullptr;
  Gtk::ToggleButton* desk_toggle = nullptr;
  Gtk::ToggleButton* rack_toggle = nullptr;
  Gtk::ToggleButton* standby_toggle = nullptr;
  Gtk::Box* desk_view = nullptr;
  Gtk::Box* header = nullptr;
  Gtk::Widget* rack_root = nullptr;  // none until the rack view is built
  MeterList io_meters;  // input L, input R, output L, output R, limiter
  DeskBody desk;
  EngineCell engine_cell;
};

// "activate" of the application: presents the existing window, or builds it.
void on_activate(Gtk::Application& app);
// Builds the main window of `app`, starts the audio once it is shown, and presents it.
void construir(Gtk::Application& app);
// Everything construir does but presenting the window: the audio start is already
// scheduled and the timers run. Tests keep the returned frame to look inside.
WindowFrame build_window(Gtk::Application& app);

// Mode bar: "⊞ ESCRITORIO" / "▣ RACK 3U" view toggles, spacer, stand-by toggle.
Gtk::Box* build_mode_bar(WindowFrame& f);
// Header: brand box (logo, title), separator, the three meter columns.
Gtk::Box* build_header(WindowFrame& f);
// The band strips and band-count control, the preset section (appended to `header`), then
// the main row: left panel, band area, multiplex panel, right panel.
DeskBody build_desk(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                    Gtk::Box& header, Gtk::Window& window);

// Handlers, exposed for the tests that drive them through the widgets.
void on_view_toggled(Gtk::ToggleButton& rack_toggle, Gtk::Widget& desk_view, Gtk::Widget* rack_root,
                     Gtk::Window& window, Gtk::ToggleButton& desk_toggle);
void on_standby_toggled(Gtk::ToggleButton& toggle, SharedState& shared);
void start_audio_idle(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                      const EngineCell& engine_cell);
void on_window_destroy(const SharedConfig& config, const EngineCell& engine_cell);
// Queues a repaint of every meter; the meters read their cells when they draw.
bool redraw_meters(const std::vector<Gtk::Widget*>& io_meters,
                   const std::vector<BandStrip>& strips);

}  // namespace velmora::ui
