"""Takes a picture of Velmora's window for the README.

    xvfb-run -s "-screen 0 1920x1080x24" dbus-run-session -- \
        /usr/bin/python3 scripts/screenshot.py build/velmora docs/velmora.png

(The private session bus keeps GTK from autolaunching one that outlives the picture.)
Starts the program with a fresh configuration folder, waits for its window to be drawn,
saves the window's pixels as PNG and closes it as a user would.
"""
import os
import subprocess
import sys
import tempfile
import time

import cairo
from Xlib import X, display, protocol

SETTLE_S = 2.0


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
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    exe, out = sys.argv[1], sys.argv[2]
    home = tempfile.mkdtemp(prefix="velmora-shot-")
    env = dict(os.environ, XDG_CONFIG_HOME=home, HOME=home, GDK_BACKEND="x11", GSK_RENDERER="cairo")
    proc = subprocess.Popen([exe], env=env, stderr=subprocess.DEVNULL)
    d = display.Display()
    try:
        w = find_window(d, proc.pid)
        if w is None:
            print("screenshot: no window appeared", file=sys.stderr)
            return 1
        time.sleep(SETTLE_S)
        save_png(w, out)
        close(d, w)
        proc.wait(20)
    finally:
        if proc.poll() is None:
            proc.kill()
    print(f"screenshot: wrote {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
