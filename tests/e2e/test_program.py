"""The real program as a user starts it: under X, with a fresh configuration folder and
no sound card. It must open its window, report the missing audio once, hand a second start over
to the running instance, and on a window close request save its configuration and exit 0
with the exit line.

Usage: python3 test_program.py <path-to-velmora>   (needs DISPLAY)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from Xlib import X, display, protocol

BUS_MARK = "VELMORA_E2E_PRIVATE_BUS"
TIMEOUT = 20.0


def on_private_bus():
    """Re-runs this script inside its own session bus, which the application's
    single-instance hand-over needs."""
    if os.environ.get(BUS_MARK) != "1":
        env = dict(os.environ, **{BUS_MARK: "1"})
        os.execvpe("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv], env)


def wait_for(pred, timeout=TIMEOUT, step=0.05):
    end = time.monotonic() + timeout
    while True:
        try:
            value = pred()
        except Exception:  # a widget that went away between two accessibility calls
            value = None
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)


class Program:
    """One velmora process with its stderr collected line by line."""

    def __init__(self, exe, home, args=()):
        self.cfg = os.path.join(home, "cfg")
        env = dict(os.environ, XDG_CONFIG_HOME=self.cfg, HOME=home,
                   RUST_LOG="info", RUST_LOG_STYLE="never")
        self.proc = subprocess.Popen([exe, *args], env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.lines = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stderr:
            self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    def count(self, text):
        return sum(text in line for line in self.lines)

    def wait(self, timeout=TIMEOUT):
        try:
            code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        self._reader.join(5)
        return code

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class X11:
    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root
        self.pid_atom = self.d.intern_atom("_NET_WM_PID")

    def windows_of(self, pid):
        found = []
        for w in self.root.query_tree().children:
            try:
                prop = w.get_full_property(self.pid_atom, X.AnyPropertyType)
                attrs = w.get_attributes()
            except Exception:
                continue
            if prop and prop.value[0] == pid and attrs.map_state == X.IsViewable:
                found.append(w)
        return found

    def icon_size(self, w):
        """Width and height of the first picture in the window's icon list, if any."""
        prop = w.get_full_property(self.d.intern_atom("_NET_WM_ICON"), X.AnyPropertyType)
        if not prop or len(prop.value) < 2:
            return None
        return (int(prop.value[0]), int(prop.value[1]))

    def request_close(self, w):
        protocols = self.d.intern_atom("WM_PROTOCOLS")
        delete = self.d.intern_atom("WM_DELETE_WINDOW")
        ev = protocol.event.ClientMessage(window=w, client_type=protocols,
                                          data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(ev, event_mask=X.NoEventMask)
        self.d.flush()


class Suite:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"ok: {name}")
        else:
            self.failed += 1
            print(f"FAIL: {name} {detail}")
        return ok


def run(exe, s):
    home = tempfile.mkdtemp(prefix="velmora-e2e-")
    x = X11()
    # GTK's own options and anything else on the command line must change nothing.
    prog = Program(exe, home, ["--help", "--display=:999", "--gtk-debug=all"])
    others = []
    try:
        wins = wait_for(lambda: x.windows_of(prog.proc.pid))
        if not s.check("window opens", bool(wins), f"stderr: {prog.lines}"):
            return
        win = wins[0]
        s.check("window title", win.get_wm_name() == "Velmora", win.get_wm_name())
        geo = win.get_geometry()
        # 700 is only the default height: the band strips' knobs need more, and a
        # window is never made smaller than its content.
        s.check("desk width 1440, height at least 700", geo.width == 1440 and geo.height >= 700,
                (geo.width, geo.height))
        icon = wait_for(lambda: x.icon_size(win), timeout=5)
        s.check("window icon 48 x 48", icon == (48, 48), icon)
        s.check("audio failure logged", wait_for(lambda: prog.count("] Audio: ")), prog.lines)

        # A second start hands over to the running instance, which only presents its window.
        second = Program(exe, tempfile.mkdtemp(prefix="velmora-e2e-2-"))
        others.append(second)
        code2 = second.wait()
        s.check("second start exits 0", code2 == 0, f"code {code2}, stderr {second.lines}")
        s.check("second start hands over without its own activation",
                second.count("[Velmora] activate") == 0
                and second.lines[-1:] == ["[Velmora] salió con ExitCode(0)"], second.lines)
        s.check("running instance activated again",
                wait_for(lambda: prog.count("[Velmora] activate") == 2, timeout=5), prog.lines)
        s.check("still one window", len(x.windows_of(prog.proc.pid)) == 1)

        x.request_close(win)
        code = prog.wait()
        s.check("exits 0 on close request", code == 0, f"code {code}")
        lines = prog.lines
        s.check("first line", lines[:1] == ["[Velmora] inicio"], lines[:3])
        s.check("last line", lines[-1:] == ["[Velmora] salió con ExitCode(0)"], lines[-3:])
        audio = [l for l in lines if "Audio" in l]
        s.check("one audio error, no OK",
                len(audio) == 1 and " ERROR velmora::ui::ventana] Audio: " in audio[0], audio)
        s.check("no engine stop without an engine", prog.count("AudioEngine detenido") == 0, lines)
        saved = os.path.join(prog.cfg, "velmora", "config.json")
        s.check("config.json written", os.path.isfile(saved), subprocess.run(
            ["find", home], capture_output=True, text=True).stdout)
        try:
            with open(saved, encoding="utf-8") as f:
                written = json.load(f)
        except (OSError, ValueError) as e:
            written = {"error": str(e)}
        s.check("config.json holds the settings",
                written.get("sample_rate") == 48000 and written.get("buffer_size") == 512, written)
    finally:
        prog.kill()
        for p in others:
            p.kill()
        shutil.rmtree(home, ignore_errors=True)


def main():
    if len(sys.argv) != 2:
        print("usage: test_program.py <path-to-velmora>", file=sys.stderr)
        return 2
    on_private_bus()
    s = Suite()
    run(os.path.abspath(sys.argv[1]), s)
    print(f"{s.passed} passed, {s.failed} failed")
    return 0 if s.failed == 0 and s.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
