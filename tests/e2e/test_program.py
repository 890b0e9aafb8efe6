"""The real program as a user starts it, on an X server and session bus of its own, each run in a
fresh home folder, driven through its accessibility tree, the pointer, a window manager's close
request and close signals; every close saves, writes the exit line and exits 0, however soon a
second signal follows.

Usage: python3 test_program.py <path-to-velmora> <path-to-exit-probe-library>
"""
import contextlib
import glob
import json
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

from Xlib import X, display, protocol
from Xlib.ext import xtest

BUS_MARK = "VELMORA_E2E_PRIVATE_BUS"
TIMEOUT = 20.0
EXIT_LINE = "[Velmora] salió con ExitCode(0)"
PROBE_LINE = "[exit-probe] teardown"  # the preloaded probe's destructor: the library teardown ran
PROBE = None  # the probe library's path


def in_private_session():
    """Runs this script again inside its own Xvfb and session bus: without a window manager a
    window of another test on a shared display would take the pointer's clicks, and the bus
    keeps the single-instance hand-over and the accessibility bus to this run alone."""
    if os.environ.get(BUS_MARK) == "1":
        return
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1920x1080x24",
                               "-nolisten", "tcp"], pass_fds=(write_fd,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        env = dict(os.environ, DISPLAY=":" + f.readline().strip(), **{BUS_MARK: "1"})
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


def settled(read, unlike=None):
    """What `read` gives once two reads 0.2 s apart agree and differ from `unlike`: a window takes
    its new size, and a drawer slides into place, a little after the click."""
    last = None
    for _ in range(50):
        now = read()
        if now is not None and now == last and now != unlike:
            return now
        last = now
        time.sleep(0.2)
    return last


class Program:
    """One velmora process in `home`, its standard error collected line by line (or sent to
    `stderr`), and its first window on the X server."""

    def __init__(self, exe, home, x, args=(), stderr=subprocess.PIPE, log="info", probe=False):
        self.config = os.path.join(home, "cfg", "velmora", "config.json")
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "cfg"), HOME=home, RUST_LOG=log,
                   RUST_LOG_STYLE="never")
        env.pop("NO_AT_BRIDGE", None)  # found through accessibility
        if probe:
            env["LD_PRELOAD"] = PROBE
        self.proc = subprocess.Popen([exe, *args], env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=stderr)
        self.pid = self.proc.pid
        self.lines = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        if stderr == subprocess.PIPE:
            self._reader.start()
        self.x = x

    def _read(self):
        for raw in self.proc.stderr:
            self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    def window(self):
        wins = wait_for(lambda: self.x.windows_of(self.pid))
        return wins[0] if wins else None

    def count(self, text):
        return sum(text in line for line in self.lines)

    def wait(self):
        try:
            return self.proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            return None

    def saved(self):
        try:
            with open(self.config, encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError) as e:
            return {"error": str(e)}

    def ends(self, how, then=None, gap=0.0):
        """Closes the program by `how` (a signal, or a callable), and sends `then` `gap` seconds
        later if given; exit 0 with the exit line."""
        how() if callable(how) else self.proc.send_signal(how)
        if then is not None:
            time.sleep(gap)
            self.proc.send_signal(then)
        code = self.wait()
        if self._reader.is_alive():
            self._reader.join(5)
        ending = self.lines[-2:] if self.lines[-1:] == [PROBE_LINE] else self.lines[-1:]
        return code == 0 and (self.proc.stderr is None or ending[:1] == [EXIT_LINE])

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


@contextlib.contextmanager
def started(exe, tag, prepare=lambda home: None, **kwargs):
    """A program started in a fresh home folder that `prepare` fills first; killed if it is still
    running at the end, and its folder removed."""
    home = tempfile.mkdtemp(prefix=f"velmora-e2e-{tag}-")
    prog = None
    try:
        prepare(home)
        prog = Program(exe, home, X11(), **kwargs)
        yield prog, home
    finally:
        if prog:
            prog.kill()
        shutil.rmtree(home, ignore_errors=True)


class X11:
    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root

    def windows_of(self, pid):
        found = []
        for w in self.root.query_tree().children:
            try:
                prop = w.get_full_property(self.d.intern_atom("_NET_WM_PID"), X.AnyPropertyType)
                viewable = w.get_attributes().map_state == X.IsViewable
            except Exception:
                continue
            if prop and prop.value[0] == pid and viewable:
                found.append(w)
        return found

    def pointer(self, w, x, y, button):
        """Presses and releases `button` at window coordinates x, y (4 is a wheel notch up)."""
        pos = self.root.translate_coords(w, x, y)
        xtest.fake_input(self.d, X.MotionNotify, x=pos.x, y=pos.y)
        self.d.sync()
        time.sleep(0.2)  # the toolkit sees the pointer arrive before the button
        xtest.fake_input(self.d, X.ButtonPress, button)
        xtest.fake_input(self.d, X.ButtonRelease, button)
        self.d.sync()

    def request_close(self, w):
        """What a window manager's close button sends."""
        delete = self.d.intern_atom("WM_DELETE_WINDOW")
        w.send_event(protocol.event.ClientMessage(window=w, client_type=self.d.intern_atom("WM_PROTOCOLS"),
                                                  data=(32, [delete, X.CurrentTime, 0, 0, 0])),
                     event_mask=X.NoEventMask)
        self.d.flush()


def size(w):
    g = w.get_geometry()
    return g.width, g.height


class Suite:
    def __init__(self):
        self.passed = self.failed = 0
        self.desk_size = self.rack_size = None  # the window in each view with the built-ins alone

    def check(self, name, ok, detail=""):
        print(f"ok: {name}" if ok else f"FAIL: {name} {detail}")
        self.passed += bool(ok)
        self.failed += not ok
        return ok


def accessibility():
    """pyatspi on the session's accessibility bus, whose address is asked for with patience
    first: under load its launcher can be slower than pyatspi's own short wait."""
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


def extents(acc):
    e = acc.queryComponent().getExtents(accessibility().WINDOW_COORDS)
    return e.x, e.y, e.width, e.height


def showing(pid, role, name):
    """The first accessible of the program with this role and name (None: any) that takes up room
    on screen (a hidden view leaves the tree; a closed drawer keeps its children at size 0)."""
    def find(node, depth=0):
        for c in (node.getChildAtIndex(i) for i in range(node.childCount)):
            if c is None:
                continue
            if (c.getRoleName() == role and name in (None, c.name) and extents(c)[2] > 0
                    and c.getState().contains(accessibility().STATE_VISIBLE)):
                return c
            hit = find(c, depth + 1) if depth < 16 else None
            if hit is not None:
                return hit
        return None
    desktop = accessibility().Registry.getDesktop(0)
    apps = (desktop.getChildAtIndex(i) for i in range(desktop.childCount))
    return next((find(a) for a in apps if a is not None and a.get_process_id() == pid), None)


def press(pid, role, name):
    wait_for(lambda: showing(pid, role, name)).queryAction().doAction(0)


def save_as(prog, name):
    """Types `name` into the desk's save dialog, opened by "● SAVE", and presses "Guardar"."""
    press(prog.pid, "push button", "● SAVE")
    wait_for(lambda: showing(prog.pid, "text", None)).queryEditableText().setTextContents(name)
    press(prog.pid, "push button", "Guardar")


def centre(find):
    """The accessible that `find` returns and its centre, once its place has stopped moving."""
    acc = wait_for(find, timeout=5)
    e = acc and settled(lambda: extents(acc))
    return e and (acc, (e[0] + e[2] // 2, e[1] + e[3] // 2))


def run_hostile_first_start(exe, s):
    """Hostile files (FIFOs, a link to /dev/zero, leftover temporary files) and junk arguments: the
    window opens, the missing audio is logged once, a second start hands over to the running
    instance, and a window close request saves."""
    leftovers = []

    def prepare(home):
        folder = os.path.join(home, "cfg", "velmora")
        presets = os.path.join(folder, "presets")
        os.makedirs(presets)
        os.mkfifo(os.path.join(folder, "config.json"))
        os.mkfifo(os.path.join(presets, "f.json"))
        os.symlink("/dev/zero", os.path.join(presets, "z.json"))
        gone = subprocess.Popen(["true"])  # a pid that no process has any more
        gone.wait()
        leftovers.extend(os.path.join(d, f".config.json.{gone.pid}-0.tmp") for d in (folder, presets))
        for path in leftovers:
            open(path, "w").close()

    # GTK's own options and anything else on the command line must change nothing.
    with started(exe, "first", prepare, args=["--help", "--display=:999", "--gtk-debug=all"]) as (prog, home):
        win = prog.window()
        if not s.check("window opens", win, prog.lines):
            return
        s.desk_size = settled(lambda: size(win))
        # 700 is only the default height: the strips' knobs need more.
        s.check("title, desk width 1440, height at least 700",
                win.get_wm_name() == "Velmora" and s.desk_size[0] == 1440 and s.desk_size[1] >= 700,
                (win.get_wm_name(), s.desk_size))
        icon = lambda: win.get_full_property(prog.x.d.intern_atom("_NET_WM_ICON"), X.AnyPropertyType)
        s.check("window icon 48 x 48", wait_for(lambda: list(icon().value[:2]) == [48, 48], timeout=5))
        with started(exe, "second") as (second, _):
            s.check("a second start hands over and exits 0",
                    second.wait() == 0 and not second.count("[Velmora] activate")
                    and second.lines[-1:] == [EXIT_LINE] and wait_for(lambda: prog.count("[Velmora] activate") == 2)
                    and len(prog.x.windows_of(prog.pid)) == 1, (second.lines, prog.lines))

        wait_for(lambda: prog.count("] Audio: "))
        s.check("close request: exit line, status 0", prog.ends(lambda: prog.x.request_close(win)), prog.lines[-3:])
        audio = [line for line in prog.lines if "Audio" in line]
        s.check("first line, one audio error, no engine to stop",
                prog.lines[:1] == ["[Velmora] inicio"] and len(audio) == 1
                and " ERROR velmora::ui::ventana] Audio: " in audio[0] and not prog.count("AudioEngine detenido"),
                prog.lines)
        kept = prog.config + ".rechazado"
        s.check("FIFO config.json kept beside, named in a warning, ROCK saved",
                os.path.exists(kept) and stat.S_ISFIFO(os.lstat(kept).st_mode)
                and prog.count(f'WARN velmora::config] Config rechazado "{prog.config}" conservado en "{kept}"')
                and prog.saved().get("last_preset") == "ROCK", (prog.lines, prog.saved()))
        s.check("leftover temporary files removed", not any(map(os.path.exists, leftovers)))


def run_rack_edit(exe, s):
    """Rack view, strip B3 opens the drawer, one wheel notch up on its THR knob, SIGTERM and
    SIGINT 1 ms apart."""
    with started(exe, "rack") as (prog, home):
        win = prog.window()
        toggle = wait_for(lambda: showing(prog.pid, "push button", "▣ RACK 3U"))
        if not s.check("rack run: window and rack toggle", win and toggle is not None, prog.lines):
            return
        toggle.queryAction().doAction(0)
        s.rack_size = settled(lambda: size(win), unlike=s.desk_size)
        # A click lands where the strip is drawn now: under load the window may still be
        # shrinking to the rack's size, so each try reads the place anew, as a person would.
        clip = None
        for _ in range(5):
            strip = centre(lambda: showing(prog.pid, "label", "B3"))
            if strip is None:
                break
            prog.x.pointer(win, *strip[1], 1)
            clip = wait_for(lambda: showing(prog.pid, "check box", "CLIP"), timeout=3)
            if clip is not None:
                break
        if not s.check("strip B3 opens the drawer with its CLIP check", clip is not None):
            return
        clip = centre(lambda: showing(prog.pid, "check box", "CLIP"))
        knob = extents(clip[0].parent.getChildAtIndex(0))  # THR, first in the drawer's knob row
        prog.x.pointer(win, knob[0] + knob[2] // 2, knob[1] + knob[3] // 2, 4)
        time.sleep(0.3)
        s.check("SIGTERM, SIGINT 1 ms later: exit line, status 0",
                prog.ends(signal.SIGTERM, signal.SIGINT, 0.001), prog.lines[-3:])
        # The first run applied "ROCK", whose band 3 threshold is -18 dB; a notch adds 0.3 dB.
        thresholds = [b["threshold_db"] for b in prog.saved().get("bands", [])]
        s.check("saved file holds the drawer edit of band 3", thresholds[:4] == [-24.0, -20.0, -17.7, -20.0],
                thresholds)


def worker(pid, name, field):
    """The first word of the /proc `field` of process `pid`'s worker thread `name` ("schedstat":
    the nanoseconds it has run for; "syscall": the number of the call it waits in), or None."""
    for task in glob.glob(f"/proc/{pid}/task/*"):
        with contextlib.suppress(OSError, IndexError), open(f"{task}/comm") as comm, open(f"{task}/{field}") as f:
            if comm.read().strip() == name:
                return f.read().split()[0]
    return None


def capture_cpu_ns(pid):
    """Nanoseconds that the capture worker of process `pid` has run for, or None."""
    ns = worker(pid, "cpal_alsa_in", "schedstat")
    return ns and int(ns)


# A configuration as written by hand or by an older version: no last_preset.
BAND = dict(enabled=True, threshold_db=-7.0, ratio=2.0, attack_ms=5.0, release_ms=90.0, makeup_db=1.0,
            clip_enable=True, clip_level_db=-1.0, exp_enable=False, exp_threshold=-60.0, exp_ratio=2.0)
STORED = {"num_bands": 3, "crossover_freqs": [250.0, 2500.0, 0.0, 0.0, 0.0], "input_gain_db": 1.5,
          "output_gain_db": -2.0, "limiter_threshold": -1.0, "bands": [BAND] * 6,
          "input_device": "velmora_src", "output_device": "plug:velmora_sink", "sample_rate": 48000,
          "buffer_size": 512, "mpx": {"enabled": False, "tau": "Us75", "level_db": -1.0, "pilot_level": 0.09}}


def provision(home, config, *preset_names):
    """Writes `config` as config.json, and presets of the stored values under these names."""
    folder = os.path.join(home, "cfg", "velmora")
    os.makedirs(os.path.join(folder, "presets"))
    with open(os.path.join(folder, "config.json"), "w") as f:
        json.dump(config, f)
    for i, name in enumerate(preset_names):
        with open(os.path.join(folder, "presets", f"{i}.json"), "w") as f:
            json.dump({"name": name, **{k: STORED[k] for k in list(STORED)[:6]}, "mpx": STORED["mpx"]}, f)


def run_provisioned(exe, s):
    """A configuration written by hand or by an older version (no last_preset), devices that ALSA
    does not hint, a capture source that ends: the stored values stay, the configured devices are
    used, the capture worker idles once its source is gone, a save under a built-in's name is
    refused, one past a file-size limit fails with its error (SIGXFSZ must not end the program),
    and SIGTERM then SIGHUP save what is in force."""
    played, stop = [], threading.Event()

    def prepare(home):
        provision(home, STORED)
        src, sink = os.path.join(home, "in.raw"), os.path.join(home, "out.fifo")
        with open(src, "wb") as f:
            f.write(bytes(48000 * 8 // 4))  # a quarter second of stereo f32 silence
        os.mkfifo(sink)
        with open(os.path.join(home, ".asoundrc"), "w") as f:
            f.write(f'pcm.velmora_src {{ type file slave.pcm "null" file "/dev/null" infile "{src}" format "raw" }}\n'
                    f'pcm.velmora_sink {{ type file slave.pcm "null" file "{sink}" format "raw" }}\n')
        reader = os.open(sink, os.O_RDWR | os.O_NONBLOCK)

        def drain():  # about as fast as a card would, for as long as the run lasts
            while not stop.wait(0.005):
                with contextlib.suppress(BlockingIOError):
                    played.append(len(os.read(reader, 2000)))
            os.close(reader)
        threading.Thread(target=drain, daemon=True).start()

    with started(exe, "provisioned", prepare) as (prog, home):
        if not s.check("provisioned: window opens", prog.window(), prog.lines):
            return
        s.check("provisioned: stored values restored, not a first run",
                wait_for(lambda: prog.count("Preset previo restaurado: ")) and not prog.count("Primer arranque"),
                prog.lines)
        s.check("provisioned: the configured devices, hinted or not",
                wait_for(lambda: prog.count("Audio OK")) and prog.count("] Entrada:  velmora_src")
                and prog.count("] Salida:   plug:velmora_sink"), prog.lines)
        s.check("provisioned: audio reaches the unhinted device", wait_for(lambda: sum(played) > 48000))
        s.check("provisioned: the end of the capture is one error line",
                wait_for(lambda: prog.count("ERROR velmora::audio::engine] Error entrada CPAL: ")) == 1, prog.lines)
        before = capture_cpu_ns(prog.pid) or 0
        time.sleep(2)
        used = (capture_cpu_ns(prog.pid) or 1 << 40) - before
        s.check("provisioned: capture worker idle while its source is gone", used < 20_000_000, f"{used} ns in 2 s")

        save_as(prog, "ROCK")
        s.check("provisioned: a save under a built-in's name is refused",
                wait_for(lambda: prog.count("Error guardando preset: "))
                and not os.path.exists(os.path.join(home, "cfg", "velmora", "presets", "ROCK.json")), prog.lines)
        soft, hard = resource.prlimit(prog.pid, resource.RLIMIT_FSIZE)
        resource.prlimit(prog.pid, resource.RLIMIT_FSIZE, (100, hard))
        showing(prog.pid, "text", None).queryEditableText().setTextContents("Nuevo")
        press(prog.pid, "push button", "Guardar")
        s.check("provisioned: a save past a file-size limit fails with its error",
                wait_for(lambda: prog.count("Error guardando preset: File too large")), prog.lines[-3:])
        resource.prlimit(prog.pid, resource.RLIMIT_FSIZE, (soft, hard))

        s.check("provisioned: SIGTERM, SIGHUP 2 ms later: exit line, status 0",
                prog.ends(signal.SIGTERM, signal.SIGHUP, 0.002), prog.lines[-3:])
        saved = prog.saved()
        s.check("provisioned: the stored values saved as they were", saved.get("bands") == [BAND] * 6
                and saved.get("last_preset") == "" and saved.get("output_device") == "plug:velmora_sink", saved)
    stop.set()


SYS_READ, SYS_WRITE = "0", "1"  # x86-64


def run_held_by_a_device(exe, s):
    """A FIFO output whose reader stops after a second but keeps the pipe open, then a FIFO capture
    whose writer stays open and silent: each time a worker waits in its pipe call for good, yet a
    close signal saves, writes the exit line and exits 0 within 5 s, one line naming the stream
    left behind; a second signal during the wait changes nothing. config.json holds an unknown key
    with 1e5000 and a last preset with a line break: its values stay and the name is logged on one
    line. The save dialog refuses a name that a right-to-left override would show as "ROCK"."""
    for stream, thread, call in (("salida", "cpal_alsa_out", SYS_WRITE), ("entrada", "cpal_alsa_in", SYS_READ)):
        stop, drained, fds = threading.Event(), threading.Event(), []

        def prepare(home):
            provision(home, STORED)
            with open(os.path.join(home, "cfg", "velmora", "config.json"), "w") as f:
                f.write(json.dumps({**STORED, "last_preset": "Mañ\nTa"})[:-1] + ', "extra": 1e5000}')
            src, sink = os.path.join(home, "in.fifo"), os.path.join(home, "out.fifo")
            for fifo in (src, sink):
                os.mkfifo(fifo)
                fds.append(os.open(fifo, os.O_RDWR | os.O_NONBLOCK))  # the test is each pipe's peer
            if stream == "salida":  # the capture source ends at once instead
                src = os.path.join(home, "in.raw")
                open(src, "wb").close()
            with open(os.path.join(home, ".asoundrc"), "w") as f:
                f.write(f'pcm.velmora_src {{ type file slave.pcm "null" file "/dev/null" infile "{src}" format "raw" }}\n'
                        f'pcm.velmora_sink {{ type file slave.pcm "null" file "{sink}" format "raw" }}\n')

            def drain():  # as a card would; the stalled reader stops a second after the first audio
                first = None
                while not stop.wait(0.005) and (stream != "salida" or first is None or time.monotonic() < first + 1):
                    with contextlib.suppress(BlockingIOError):
                        os.read(fds[1], 2000)
                        first = first or time.monotonic()
                drained.set()
            threading.Thread(target=drain, daemon=True).start()

        with started(exe, "held-" + stream, prepare, probe=True) as (prog, home):
            if not s.check(f"{stream} held: audio starts", wait_for(lambda: prog.count("Audio OK")), prog.lines):
                continue
            if stream == "salida":
                s.check("1e5000 under an unknown key: the stored values restored, the name logged on one line",
                        prog.count("] Preset previo restaurado: Mañ Ta") == 1 and not prog.count("Primer arranque"),
                        prog.lines)
                save_as(prog, "\u202eKCOR")
                s.check("a save as \\u202eKCOR is refused",
                        wait_for(lambda: prog.count("Error guardando preset: el nombre lleva saltos de línea"))
                        and not os.path.exists(os.path.join(home, "cfg", "velmora", "presets", "_KCOR.json")),
                        prog.lines[-3:])
                press(prog.pid, "push button", "Cancelar")
                # Until the reader stops, the worker's write returns and its stream stops in time.
                drained.wait(TIMEOUT)
            s.check(f"{stream} held: its worker waits in the pipe",
                    wait_for(lambda: worker(prog.pid, thread, "syscall") == call), worker(prog.pid, thread, "syscall"))
            os.remove(prog.config)  # the close writes it again
            began = time.monotonic()
            closed = prog.ends(signal.SIGTERM, signal.SIGINT, 0.5)
            took = time.monotonic() - began
            s.check(f"{stream} held: SIGTERM, SIGINT during the wait: exit line, status 0 within 5 s",
                    closed and took < 5, (took, prog.lines[-3:]))
            s.check(f"{stream} held: one line names the stream left behind, nothing runs after the exit line",
                    prog.count(f"ERROR velmora::audio::engine] Stream de {stream} no se detuvo en 2 s") == 1
                    and prog.lines[-1:] == [EXIT_LINE], prog.lines[-3:])
            saved = prog.saved()
            s.check(f"{stream} held: the stored values saved, the unknown key dropped",
                    saved.get("bands") == [BAND] * 6 and saved.get("last_preset") == "Mañ\nTa" and "extra" not in saved,
                    saved)
        stop.set()
        for fd in fds:
            os.close(fd)


# A log line that a name from a file would write of its own, were it not kept on one line.
FORGED = "[2020-01-01T00:00:00Z INFO velmora::ui::ventana] Audio OK"


def run_hostile_names(exe, s):
    """Names that would write log lines of their own: device names with a line break and a line
    separator, logged at debug level, and the name of a preset that another file holds, refused on
    one line. Names that pass for a built-in only by invisible characters are refused, a name with an
    emoji is saved, and the healthy close runs the library teardown after the exit line."""
    def prepare(home):
        provision(home, {**STORED, "input_device": "in\n" + FORGED, "output_device": "out\u2028" + FORGED,
                         "last_preset": "BLUE"})
        with open(os.path.join(home, "cfg", "velmora", "presets", "Mi_preset.json"), "w") as f:
            json.dump({"name": "Mi preset\n" + FORGED + "\n", **{k: STORED[k] for k in list(STORED)[:6]},
                       "mpx": STORED["mpx"]}, f)

    def saved_as(name, outcome, refused=True):
        """Saves under `name`; a refusal leaves the dialog open to be cancelled."""
        save_as(prog, name)
        found = wait_for(lambda: prog.count(outcome))
        if refused:
            press(prog.pid, "push button", "Cancelar")
        return found and wait_for(lambda: showing(prog.pid, "text", None) is None)

    with started(exe, "names", prepare, log="debug", probe=True) as (prog, home):
        win = prog.window()
        if not s.check("names: window opens", win, prog.lines):
            return
        s.check("names: each device name on the line that names it",
                wait_for(lambda: prog.count("] Audio: ")) and prog.count(f"Dispositivo de entrada in {FORGED} no disp")
                and prog.count(f"Dispositivo de salida out {FORGED} no disp"), prog.lines)
        s.check("names: a save under another file's name is refused on one line",
                saved_as("Mi preset", f'ERROR velmora::ui::ventana] Error guardando preset: el archivo Mi_preset.json '
                                     f'ya guarda el preset "Mi preset {FORGED} "; elija otro nombre'), prog.lines[-3:])
        presets = os.path.join(home, "cfg", "velmora", "presets")
        s.check("names: ROCK with a zero-width space is refused",
                saved_as("ROCK\u200b", 'solo se distingue de "ROCK", un preset de fábrica, por caracteres invisibles')
                and not os.path.exists(os.path.join(presets, "ROCK_.json")), prog.lines[-3:])
        s.check("names: a name with an emoji is saved",
                saved_as("Voz 👩\u200d🎤", "INFO velmora::ui::ventana] Preset 'Voz 👩\u200d🎤' guardado", False)
                and os.path.isfile(os.path.join(presets, "Voz____.json")), prog.lines[-3:])
        s.check("names: close request: exit line, then the library teardown, status 0",
                prog.ends(lambda: prog.x.request_close(win)) and prog.lines[-2:] == [EXIT_LINE, PROBE_LINE],
                prog.lines[-3:])
        s.check("names: no line of the log is a name's",
                not any(line.startswith(FORGED[:21]) or "\u2028" in line or "\r" in line for line in prog.lines)
                and all(line.startswith(("[20", "[Velmora]", "[exit-probe]", "(velmora:")) for line in prog.lines),
                [line for line in prog.lines if FORGED in line])


def run_without_stderr_reader(exe, s):
    """Every log line fails its write (SIGPIPE must not end the program). Preset names of 300
    characters and of 40 lines, the second selected, leave the window its size in both views.
    SIGHUP still saves, and a second one soon after waits for the save."""
    lines = "\n".join(f"Línea {i}" for i in range(40))
    r, w = os.pipe()
    os.close(r)
    with started(exe, "nostderr", lambda home: provision(home, {**STORED, "last_preset": lines}, "L" * 300, lines),
                 stderr=w) as (prog, home):
        os.close(w)
        win = prog.window()
        if not s.check("no stderr reader: window opens", win):
            return
        desk = settled(lambda: size(win))
        press(prog.pid, "push button", "▣ RACK 3U")
        rack = settled(lambda: size(win), unlike=desk)
        s.check("long preset names: the window keeps its size in both views",
                (desk, rack) == (s.desk_size, s.rack_size), (desk, rack, s.desk_size, s.rack_size))
        os.remove(prog.config)  # the close writes it again
        s.check("no stderr reader: SIGHUP twice 5 ms apart saves, status 0",
                prog.ends(signal.SIGHUP, signal.SIGHUP, 0.005) and os.path.isfile(prog.config),
                prog.proc.returncode)


def main():
    global PROBE
    if len(sys.argv) != 3:
        print(f"usage: {os.path.basename(sys.argv[0])} <path-to-velmora> <path-to-exit-probe>", file=sys.stderr)
        return 2
    in_private_session()
    PROBE = os.path.abspath(sys.argv[2])
    s = Suite()
    for run in (run_hostile_first_start, run_rack_edit, run_provisioned, run_without_stderr_reader,
                run_hostile_names, run_held_by_a_device):
        run(os.path.abspath(sys.argv[1]), s)
    print(f"{s.passed} passed, {s.failed} failed")
    return 0 if s.failed == 0 and s.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
