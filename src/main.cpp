// Entry: logger, the GTK application, the exit line.
#include <gtkmm/application.h>

#include <cstdio>

#include "log.hpp"
#include "ui/ventana.hpp"

int main() {
  velmora::log::init_from_env();
  std::fputs("[Velmora] inicio\n", stderr);

  auto app = Gtk::Application::create("org.velmora.Velmora");
  app->signal_activate().connect([a = app.get()] { velmora::ui::on_activate(*a); });
  // The program has no command line: nothing of ours reaches GTK's option parser.
  const int code = app->run(0, nullptr);

  std::fprintf(stderr, "[Velmora] salió con ExitCode(%d)\n", code);
  app.reset();
  return code;
}
