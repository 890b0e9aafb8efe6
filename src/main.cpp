#include <cstdio>

#include "log.hpp"

int main() {
  velmora::log::init_from_env();
  std::fputs("[Velmora] inicio\n", stderr);
  std::fputs("Velmora: the window is not built yet.\n", stderr);
  std::fputs("[Velmora] salió con ExitCode(1)\n", stderr);
  return 1;
}
