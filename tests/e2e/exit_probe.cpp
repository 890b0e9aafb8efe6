// Preloaded into the program by the end-to-end tests. Its destructor runs in the teardown that
// follows a return from main, and not at all when the program ends directly after its exit line.
#include <unistd.h>

namespace {

__attribute__((destructor)) void teardown_ran() {
  static constexpr char kLine[] = "[exit-probe] teardown\n";
  if (::write(STDERR_FILENO, kLine, sizeof kLine - 1) < 0) return;  // no reader: nothing to tell
}

}  // namespace
