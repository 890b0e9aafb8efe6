// Entry: write signals, leftover temporary files, logger, the GTK application with its close
// signals, the exit line.
#include <gtkmm/application.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "audio/alsa.hpp"
#include "log.hpp"
#include "settings/config.hpp"
#include "settings/file_io.hpp"
#include "settings/presets.hpp"
#include "ui/ventana.hpp"

int main() {
  // Before anything writes: a file-size limit (SIGXFSZ) or a pipe with no reader (SIGPIPE: a
  // closed stderr, a playback device that writes into a pipe) must fail that one write with
  // its error text, which is logged, not kill the program with every unsaved edit.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  velmora::log::init_from_env();
  std::fputs("[Velmora] inicio\n", stderr);
  // Saves killed half-way leave their temporary files behind for good otherwise.
  velmora::remove_leftover_temp_files(velmora::config_path().parent_path());
  velmora::remove_leftover_temp_files(velmora::presets_dir());

  auto app = Gtk::Application::create("org.velmora.Velmora");
  app->signal_activate().connect([a = app.get()] { velmora::ui::on_activate(*a); });
  velmora::ui::close_on_signals(*app);
  // The program has no command line: nothing of ours reaches GTK's option parser.
  const int code = app->run(0, nullptr);

  std::fprintf(stderr, "[Velmora] salió con ExitCode(%d)\n", code);
  // A stream worker that its device never let go of still runs on what it owns; the teardown of
  // the libraries and statics under it could crash an exit whose settings are saved.
  if (velmora::audio::workers_left_behind() > 0) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  app.reset();
  return code;
}
