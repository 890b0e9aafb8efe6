"""The real program against hostile files and limits: a FIFO "config.json", presets that are a
FIFO and a link to /dev/zero, leftover temporary files, a hand-edited "config.json" that the
reader rejects, an f32 beyond its range, a file-size limit and a standard error with no reader.
Every start must open its window and exit 0 on a close request, and no byte of the user's is lost.

Usage: python3 test_hostile_files.py <path-to-velmora>   (starts its own X server with Xvfb)
"""
import json
import os
import resource
import shutil
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_program import TIMEOUT, Program, X11, main, wait_for  # noqa: E402


def closed(x, pid, wait):
    """Asks the program's window to close; the exit code, or why there is none."""
    wins = wait_for(lambda: x.windows_of(pid))
    if not wins:
        return "no window"
    x.request_close(wins[0])
    return wait()


def start(exe, home, x, file_size_limit=None):
    """One run to its close; the exit code and the standard error lines."""
    saved = resource.getrlimit(resource.RLIMIT_FSIZE)
    if file_size_limit:  # inherited by the program, and restored here at once
        resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, saved[1]))
    try:
        prog = Program(exe, home)
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, saved)
    try:
        return closed(x, prog.proc.pid, prog.wait), prog.lines
    finally:
        prog.kill()


def start_without_stderr_reader(exe, home, x):
    r, w = os.pipe()
    os.close(r)
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "cfg"), HOME=home, RUST_LOG="info")
    proc = subprocess.Popen([exe], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=w)
    os.close(w)

    def wait():
        try:
            return proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            return "still running"

    try:
        return closed(x, proc.pid, wait)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def settings(path):
    try:
        return json.loads(read(path))
    except (OSError, ValueError) as e:
        return {"error": str(e)}


def run(exe, s):
    home = tempfile.mkdtemp(prefix="velmora-e2e-files-")
    folder = os.path.join(home, "cfg", "velmora")
    presets = os.path.join(folder, "presets")
    config = os.path.join(folder, "config.json")
    kept = config + ".rechazado"
    x = X11()
    try:
        os.makedirs(presets)
        os.mkfifo(config)
        os.mkfifo(os.path.join(presets, "f.json"))
        os.symlink("/dev/zero", os.path.join(presets, "z.json"))
        gone = subprocess.Popen(["true"])  # a pid that no process has any more
        gone.wait()
        leftovers = [os.path.join(d, f".config.json.{gone.pid}-0.tmp") for d in (folder, presets)]
        for path in leftovers:
            open(path, "w").close()
        code, lines = start(exe, home, x)
        s.check("FIFOs and /dev/zero: exits 0", code == 0, f"code {code}, stderr {lines}")
        s.check("FIFO config.json kept beside", os.path.exists(kept) and stat.S_ISFIFO(os.lstat(kept).st_mode))
        s.check("warning names both paths",
                any(f'WARN velmora::config] Config rechazado "{config}" conservado en "{kept}"' in l for l in lines), lines)
        s.check("settings saved", settings(config).get("last_preset") == "ROCK", settings(config))
        s.check("leftover temporary files removed", not any(map(os.path.exists, leftovers)))

        os.remove(kept)
        text = read(config)
        hand_edited = text[:-2] + b"," + text[-2:]
        with open(config, "wb") as f:
            f.write(hand_edited)
        code, lines = start(exe, home, x)
        s.check("rejected config.json: exits 0", code == 0, f"code {code}, stderr {lines}")
        s.check("rejected bytes kept exactly", os.path.exists(kept) and read(kept) == hand_edited)

        os.remove(kept)
        overflowing = read(config).replace(b'"output_gain_db": 0.0', b'"output_gain_db": 1e39')
        with open(config, "wb") as f:
            f.write(overflowing)
        code, lines = start(exe, home, x)
        saved = settings(config)
        s.check("f32 beyond its range: exits 0", code == 0, f"code {code}, stderr {lines}")
        s.check("loaded, saved as the largest f32",
                not os.path.exists(kept) and saved.get("output_gain_db") == 3.4028235e38
                and saved.get("last_preset") == "ROCK", saved)

        os.remove(config)
        code, lines = start(exe, home, x, file_size_limit=1000)
        s.check("file-size limit: exits 0", code == 0, f"code {code}, stderr {lines}")
        s.check("the failed save is logged",
                any(f'ERROR velmora::config] Error guardando config en "{config}": File too large' in l for l in lines),
                lines)

        code = start_without_stderr_reader(exe, home, x)
        s.check("standard error without a reader: exits 0", code == 0, f"code {code}")
    finally:
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    # The same private bus, usage and verdict as the main program test, with this run.
    sys.exit(main([run]))
