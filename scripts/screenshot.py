"""Takes a picture of Velmora's window for the README, with the meters moving.

    xvfb-run -s "-screen 0 1920x1080x24" dbus-run-session -- \
        /usr/bin/python3 scripts/screenshot.py build/velmora docs/velmora.png [--rack]

(The private session bus keeps GTK from autolaunching one that outlives the picture.)
Starts the program with a fresh configuration folder and, through ALSA's file plugin over
two FIFOs, a capture device fed in real time with programme-like material, so the meters
and the gain reduction move. With --rack it switches to the rack view and opens the band
drawer on band 3 by clicking as a user would. Then it saves the window's pixels as PNG and
closes the window as a window manager does.
"""
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import threading
import time

import cairo
from Xlib import X, display, protocol
from Xlib.ext import xtest

SETTLE_S = 3.0
RATE = 48000
FRAMES = 512
# Window coordinates of what --rack clicks: the "▣ RACK 3U" toggle, then the third band strip.
RACK_TOGGLE = (115, 19)
STRIP_3 = (263, 47)


def audio_home(home):
    """An .asoundrc whose default device reads in.fifo and writes out.fifo."""
    inp, out = os.path.join(home, "in.fifo"), os.path.join(home, "out.fifo")
    os.mkfifo(inp)
    os.mkfifo(out)
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write(f'pcm.vin {{ type file slave.pcm "null" file "/dev/null" infile "{inp}" format "raw" }}\n'
                f'pcm.vout {{ type file slave.pcm "null" file "{out}" format "raw" }}\n'
                'pcm.!default { type asym capture.pcm "vin" playback.pcm "vout" }\n')
    # Both ends held open: the plugin's opens never block and the pump sets the pace.
    return os.open(inp, os.O_RDWR | os.O_NONBLOCK), os.open(out, os.O_RDWR | os.O_NONBLOCK)


def pump(fd_in, fd_out, stop):
    """Feeds a bass line, a melody and noise bursts and drains the output, both at the real
    rate: the full output FIFO is what holds the playback device to the clock."""
    rng = random.Random(7)
    t0, fed, drained = time.monotonic(), 0, 0
    while not stop.is_set():
        due = int((time.monotonic() - t0) * RATE)
        while fed + FRAMES <= due:
            samples = []
            for i in range(fed, fed + FRAMES):
                t = i / RATE
                beat = 0.75 + 0.25 * math.sin(2 * math.pi * 2 * t)
                x = (0.45 * beat * math.sin(2 * math.pi * 60 * t)
                     + 0.2 * math.sin(2 * math.pi * (440 + 220 * math.sin(0.5 * t)) * t)
                     + 0.15 * (rng.random() * 2 - 1) * (beat > 0.9))
                samples += (x, x)
            try:
                os.write(fd_in, struct.pack(f"<{len(samples)}f", *samples))
            except BlockingIOError:
                break
            fed += FRAMES
        try:
            while drained < due * 8:
                got = os.read(fd_out, min(65536, due * 8 - drained))
                if not got:
                    break
                drained += len(got)
        except BlockingIOError:
            pass
        time.sleep(0.002)


def find_window(d, pid, timeout=20.0):
    pid_atom = d.intern_atom("_NET_WM_PID")
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        for w in d.screen().root.query_tree().children:
            prop = w.get_full_property(pid_atom, X.AnyPropertyType)
            if prop and prop.value[0] == pid and w.get_attributes().map_state == X.IsViewable:
                return w
        time.sleep(0.1)
    return None


def click(d, w, x, y):
    pos = d.screen().root.translate_coords(w, x, y)
    xtest.fake_input(d, X.MotionNotify, x=pos.x, y=pos.y)
    xtest.fake_input(d, X.ButtonPress, 1)
    xtest.fake_input(d, X.ButtonRelease, 1)
    d.sync()


def save_png(w, path):
    g = w.get_geometry()
    raw = w.get_image(0, 0, g.width, g.height, X.ZPixmap, 0xFFFFFFFF).data
    # A 24-bit ZPixmap is B, G, R, pad per pixel: cairo's RGB24 layout on little-endian.
    surface = cairo.ImageSurface.create_for_data(bytearray(raw), cairo.FORMAT_RGB24,
                                                 g.width, g.height, g.width * 4)
    surface.write_to_png(path)


def close(d, w):
    ev = protocol.event.ClientMessage(
        window=w, client_type=d.intern_atom("WM_PROTOCOLS"),
        data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    w.send_event(ev, event_mask=X.NoEventMask)
    d.flush()


def main():
    args = [a for a in sys.argv[1:] if a != "--rack"]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    exe, out = args
    home = tempfile.mkdtemp(prefix="velmora-shot-")
    fd_in, fd_out = audio_home(home)
    stop = threading.Event()
    feeder = threading.Thread(target=pump, args=(fd_in, fd_out, stop), daemon=True)
    feeder.start()
    env = dict(os.environ, XDG_CONFIG_HOME=home, HOME=home, GDK_BACKEND="x11", GSK_RENDERER="cairo")
    proc = subprocess.Popen([exe], env=env, stderr=subprocess.DEVNULL)
    d = display.Display()
    try:
        w = find_window(d, proc.pid)
        if w is None:
            print("screenshot: no window appeared", file=sys.stderr)
            return 1
        time.sleep(1.0)
        if "--rack" in sys.argv:
            click(d, w, *RACK_TOGGLE)
            time.sleep(1.0)
            click(d, w, *STRIP_3)
        time.sleep(SETTLE_S)
        save_png(w, out)
        close(d, w)
        proc.wait(20)
    finally:
        if proc.poll() is None:
            proc.kill()
        stop.set()
    print(f"screenshot: wrote {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
