#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs every test: the unit and
# GUI suites (the GUI ones on a private Xvfb display), the end-to-end program
# tests, the replay of the reader fuzz corpus, the ThreadSanitizer run of the
# engine tests and the AddressSanitizer/UndefinedBehaviorSanitizer run of the
# unit and GUI suites.
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
ctest_log=$(mktemp)
tsan_log=$(mktemp)
asan_log=$(mktemp)
# A private session bus: GTK and GApplication find it instead of autolaunching one per display.
dbus-run-session -- ctest --test-dir build --output-on-failure -j "$jobs" 2>&1 | tee "$ctest_log" || status=1

if [ -x scripts/tsan-tests ]; then
  scripts/tsan-tests 2>&1 | tee "$tsan_log" || status=1
fi
if [ -x scripts/asan-tests ]; then
  scripts/asan-tests 2>&1 | tee "$asan_log" || status=1
fi

# One closing line over all runs; a sanitizer log holds one gtest summary per suite run.
gtest_sum() { sed -n "s/^\[  $1  \] \([0-9]*\) test.*/\1/p" "$2" | awk '{ s += $1 } END { print s + 0 }'; }
total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$ctest_log" | tail -n1)
failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$ctest_log" | tail -n1)
total=${total:-0}; failed=${failed:-0}
passed=$((total - failed + $(gtest_sum PASSED "$tsan_log") + $(gtest_sum PASSED "$asan_log")))
failed=$((failed + $(gtest_sum FAILED "$tsan_log") + $(gtest_sum FAILED "$asan_log")))
# A run that stopped before its summary (a sanitizer abort, a build error) counts as one failure.
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi
echo "velmora: $passed passed, $failed failed"
rm -f "$ctest_log" "$tsan_log" "$asan_log"
exit $status
