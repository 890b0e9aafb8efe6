#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs every test: the unit and
# GUI suites (the GUI ones on a private Xvfb display), the end-to-end program
# tests and the ThreadSanitizer run of the engine tests.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"

# A private X display for the GUI tests; nothing here needs a real desktop or sound card.
xlog=$(mktemp)
exec 3> >(cat > "$xlog")
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$xlog" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$xlog")"
export GDK_BACKEND=x11
export GSK_RENDERER=cairo
export NO_AT_BRIDGE=1

status=0
# A private session bus: GTK and GApplication find it instead of autolaunching one per display.
dbus-run-session -- ctest --test-dir build --output-on-failure -j "$jobs" || status=1

if [ -x scripts/tsan-tests ]; then
  scripts/tsan-tests || status=1
fi
exit $status
