"""The real program as a user starts it: under X, with a fresh configuration folder and
no sound card. It must open its window, report the missing audio once, hand a second start over
to the running instance, and on a window close request save its configuration and exit 0
with the exit line, and so on SIGTERM, SIGINT and SIGHUP. A second run edits a band in the rack view's drawer as a person would,
through the accessibility tree and the pointer, and the edit must be in the saved file.

Usage: python3 test_program.py <path-to-velmora>   (starts its own X server with Xvfb)
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from Xlib import X, display, protocol
from Xlib.ext import xtest

BUS_MARK = "VELMORA_E2E_PRIVATE_BUS"
TIMEOUT = 20.0


def in_private_session():
    """True inside this script's own X server and session bus, started here and around a second
    run of the script: without a window manager every window opens at the same place, so a
    window of another test on a shared display would take the pointer's clicks; the session
    bus gives the application's single-instance hand-over and the accessibility bus, which
    starts on the display the session has, to this run alone."""
    if os.environ.get(BUS_MARK) == "1":
        return True
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1920x1080x24",
                               "-nolisten", "tcp"], pass_fds=(write_fd,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        display_number = f.readline().strip()
    env = dict(os.environ, DISPLAY=":" + display_number, **{BUS_MARK: "1"})
    env.pop("AT_SPI_BUS_ADDRESS", None)
    try:
        code = subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=env).returncode
    finally:
        server.terminate()
        server.wait()
    sys.exit(code)


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
        env.pop("NO_AT_BRIDGE", None)  # the rack run finds its widgets through accessibility
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

    def pointer(self, w, x, y, button):
        """Presses and releases `button` at window coordinates x, y (4 is a wheel notch up)."""
        pos = self.d.screen().root.translate_coords(w, x, y)
        xtest.fake_input(self.d, X.MotionNotify, x=pos.x, y=pos.y)
        self.d.sync()
        time.sleep(0.2)  # the toolkit sees the pointer arrive before the button
        xtest.fake_input(self.d, X.ButtonPress, button)
        xtest.fake_input(self.d, X.ButtonRelease, button)
        self.d.sync()

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


def accessibility():
    """pyatspi, connected to the session's accessibility bus. The bus is asked for its address
    with patience first: under load its launcher can be slower than pyatspi's own short wait."""
    if "AT_SPI_BUS_ADDRESS" not in os.environ:
        def address():
            out = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--reply-timeout=20000",
                                  "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                                 capture_output=True, text=True)
            return out.stdout.strip() if out.returncode == 0 else None
        found = wait_for(address)
        if found:
            os.environ["AT_SPI_BUS_ADDRESS"] = found
    import pyatspi
    return pyatspi


def on_screen(acc):
    pyatspi = accessibility()
    e = acc.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    return acc.getState().contains(pyatspi.STATE_VISIBLE) and e.width > 0 and e.height > 0


def showing(pid, role, name):
    """The first accessible of the program with this role and name that takes up room on
    screen (a hidden view leaves the tree; a closed drawer keeps its children at size 0)."""
    def find(node, depth=0):
        for i in range(node.childCount):
            c = node.getChildAtIndex(i)
            if c is None:
                continue
            if c.getRoleName() == role and name in (None, c.name) and on_screen(c):
                return c
            if depth < 16:
                hit = find(c, depth + 1)
                if hit is not None:
                    return hit
        return None
    desktop = accessibility().Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return find(app)
    return None


def settled(find):
    """The accessible that `find` returns once its place has stopped moving."""
    pyatspi = accessibility()
    last, where = None, None
    for _ in range(50):
        acc = wait_for(find, timeout=5)
        if acc is None:
            return None
        e = acc.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        if (e.x, e.y, e.width, e.height) == where:
            return acc
        last, where = acc, (e.x, e.y, e.width, e.height)
        time.sleep(0.2)
    return last


def centre(acc):
    e = acc.queryComponent().getExtents(accessibility().WINDOW_COORDS)
    return e.x + e.width // 2, e.y + e.height // 2


def run_rack_edit(exe, s):
    """Rack view, strip B3 opens the drawer, one wheel notch up on its THR knob, close."""
    home = tempfile.mkdtemp(prefix="velmora-e2e-rack-")
    x = X11()
    prog = Program(exe, home)
    try:
        wins = wait_for(lambda: x.windows_of(prog.proc.pid))
        if not s.check("rack run: window opens", bool(wins), prog.lines):
            return
        win = wins[0]
        toggle = wait_for(lambda: showing(prog.proc.pid, "push button", "▣ RACK 3U"))
        if not s.check("rack toggle found", toggle is not None):
            return
        toggle.queryAction().doAction(0)
        # A click lands where the strip is drawn now: under load the window may still be
        # shrinking to the rack's size, so each try reads the place anew, as a person would.
        clip = None
        for _ in range(5):
            strip = settled(lambda: showing(prog.proc.pid, "label", "B3"))
            if strip is None:
                break
            x.pointer(win, *centre(strip), 1)
            clip = wait_for(lambda: showing(prog.proc.pid, "check box", "CLIP"), timeout=3)
            if clip is not None:
                break
        if not s.check("strip B3 opens the drawer with its CLIP check", clip is not None):
            return
        clip = settled(lambda: showing(prog.proc.pid, "check box", "CLIP"))  # the drawer slides down
        knob = clip.parent.getChildAtIndex(0)  # THR, first in the drawer's knob row
        x.pointer(win, *centre(knob), 4)
        time.sleep(0.3)
        x.request_close(win)
        s.check("rack run exits 0", prog.wait() == 0, prog.lines[-3:])
        with open(os.path.join(prog.cfg, "velmora", "config.json"), encoding="utf-8") as f:
            bands = json.load(f)["bands"]
        # The first run applied "ROCK", whose band 3 threshold is -18 dB; a notch adds 0.3 dB.
        s.check("saved file holds the drawer edit of band 3",
                [b["threshold_db"] for b in bands[:4]] == [-24.0, -20.0, -17.7, -20.0],
                [b["threshold_db"] for b in bands])
    finally:
        prog.kill()
        shutil.rmtree(home, ignore_errors=True)


def worker_cpu_ns(pid, name):
    """Nanoseconds that the thread `name` of process `pid` has run for, or None."""
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as f:
                if f.read().strip() != name:
                    continue
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                return int(f.read().split()[0])
        except OSError:
            continue
    return None


def run_provisioned(exe, s):
    """A configuration written by hand or by an older version (no last_preset), devices that ALSA
    does not hint, a capture source that ends, a preset with a 300-character name: the stored
    values stay, the configured devices are used, the capture worker idles once its source is
    gone, the window keeps its width, a save under a built-in's name is refused, and SIGTERM
    saves what is in force."""
    home = tempfile.mkdtemp(prefix="velmora-e2e-prov-")
    folder = os.path.join(home, "cfg", "velmora")
    os.makedirs(os.path.join(folder, "presets"))
    src, sink = os.path.join(home, "in.raw"), os.path.join(home, "out.fifo")
    with open(src, "wb") as f:
        f.write(bytes(48000 * 8 // 4))  # a quarter second of stereo f32 silence
    os.mkfifo(sink)
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write(f'pcm.velmora_src {{ type file slave.pcm "null" file "/dev/null" infile "{src}" format "raw" }}\n'
                f'pcm.velmora_sink {{ type file slave.pcm "null" file "{sink}" format "raw" }}\n')
    stored = {"num_bands": 3, "crossover_freqs": [250.0, 2500.0, 0.0, 0.0, 0.0], "input_gain_db": 1.5,
              "output_gain_db": -2.0, "limiter_threshold": -1.0,
              "bands": [dict(enabled=True, threshold_db=-7.0 - b, ratio=2.0, attack_ms=5.0, release_ms=90.0,
                             makeup_db=1.0, clip_enable=True, clip_level_db=-1.0, exp_enable=False,
                             exp_threshold=-60.0, exp_ratio=2.0) for b in range(6)],
              "input_device": "velmora_src", "output_device": "plug:velmora_sink", "sample_rate": 48000,
              "buffer_size": 512, "mpx": {"enabled": False, "tau": "Us75", "level_db": -1.0, "pilot_level": 0.09}}
    with open(os.path.join(folder, "config.json"), "w") as f:
        json.dump(stored, f)
    with open(os.path.join(folder, "presets", "long.json"), "w") as f:
        json.dump({"name": "L" * 300, **{k: stored[k] for k in list(stored)[:6]}, "mpx": stored["mpx"]}, f)
    played = []
    # Drains the playback FIFO at about the pace of a card, as long as the run lasts.
    reader = os.open(sink, os.O_RDWR | os.O_NONBLOCK)
    stop = threading.Event()

    def drain():
        while not stop.wait(0.005):
            try:
                played.append(len(os.read(reader, 2000)))
            except BlockingIOError:
                pass
    threading.Thread(target=drain, daemon=True).start()
    x = X11()
    prog = Program(exe, home)
    try:
        wins = wait_for(lambda: x.windows_of(prog.proc.pid))
        if not s.check("provisioned: window opens", bool(wins), prog.lines):
            return
        s.check("provisioned: 300-character preset name, window still 1440 wide",
                wins[0].get_geometry().width == 1440, wins[0].get_geometry().width)
        s.check("provisioned: stored values restored, not a first run",
                wait_for(lambda: prog.count("Preset previo restaurado: ")) and not prog.count("Primer arranque"),
                prog.lines)
        s.check("provisioned: the configured devices, hinted or not",
                wait_for(lambda: prog.count("Audio OK")) and prog.count("] Entrada:  velmora_src")
                and prog.count("] Salida:   plug:velmora_sink"), prog.lines)
        s.check("provisioned: audio reaches the unhinted device", wait_for(lambda: sum(played) > 48000))
        s.check("provisioned: the end of the capture is one error line",
                wait_for(lambda: prog.count("ERROR velmora::audio::engine] Error entrada CPAL: ")) == 1, prog.lines)
        before = worker_cpu_ns(prog.proc.pid, "cpal_alsa_in") or 0
        time.sleep(2)
        used = (worker_cpu_ns(prog.proc.pid, "cpal_alsa_in") or 1 << 40) - before
        s.check("provisioned: capture worker idle while its source is gone", used < 20_000_000, f"{used} ns in 2 s")

        save = wait_for(lambda: showing(prog.proc.pid, "push button", "● SAVE"))
        save.queryAction().doAction(0)
        entry = wait_for(lambda: showing(prog.proc.pid, "text", None))
        entry.queryEditableText().setTextContents("ROCK")
        wait_for(lambda: showing(prog.proc.pid, "push button", "Guardar")).queryAction().doAction(0)
        s.check("provisioned: a save under a built-in's name is refused",
                wait_for(lambda: prog.count("Error guardando preset: "))
                and not os.path.exists(os.path.join(folder, "presets", "ROCK.json")), prog.lines)

        prog.proc.send_signal(signal.SIGTERM)
        code = prog.wait()
        with open(os.path.join(folder, "config.json"), encoding="utf-8") as f:
            saved = json.load(f)
        s.check("provisioned: SIGTERM saves the stored values and exits 0",
                code == 0 and saved["bands"][0]["threshold_db"] == -7.0 and saved["last_preset"] == ""
                and prog.lines[-1:] == ["[Velmora] salió con ExitCode(0)"], (code, saved.get("bands", [{}])[0]))
    finally:
        stop.set()
        prog.kill()
        os.close(reader)
        shutil.rmtree(home, ignore_errors=True)


def run_signals(exe, s):
    """A shutdown, `systemctl stop`, Ctrl-C or a closed terminal closes the program as the close
    button does: the configuration written at close (the file removed while it runs comes back),
    the exit line, status 0."""
    for sig in (signal.SIGINT, signal.SIGHUP):  # SIGTERM ends the provisioned run
        home = tempfile.mkdtemp(prefix="velmora-e2e-sig-")
        prog = Program(exe, home)
        saved = os.path.join(prog.cfg, "velmora", "config.json")
        try:
            wait_for(lambda: prog.count("] Audio: "))
            os.remove(saved)
            prog.proc.send_signal(sig)
            code = prog.wait()
            s.check(f"{sig.name}: saved, exit line, status 0",
                    code == 0 and os.path.isfile(saved)
                    and prog.lines[-1:] == ["[Velmora] salió con ExitCode(0)"], (code, prog.lines[-3:]))
        finally:
            prog.kill()
            shutil.rmtree(home, ignore_errors=True)


def main(runs=(run, run_rack_edit, run_provisioned, run_signals)):
    if len(sys.argv) != 2:
        print(f"usage: {os.path.basename(sys.argv[0])} <path-to-velmora>", file=sys.stderr)
        return 2
    in_private_session()
    s = Suite()
    for r in runs:
        r(os.path.abspath(sys.argv[1]), s)
    print(f"{s.passed} passed, {s.failed} failed")
    return 0 if s.failed == 0 and s.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
