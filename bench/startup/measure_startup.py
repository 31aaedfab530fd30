#!/usr/bin/python3
"""Start-up time and peak memory of Tallyvane with nothing to import.

Usage: measure_startup.py INSTALLATION_DIR [RUNS]

INSTALLATION_DIR is a laid-out installation (the build's tallyvane/ directory). Each run copies
it to a temporary directory, configures a game directory holding RogueSpear.exe and ten logs
whose stamps are already stored, starts the program on a private Xvfb display under
/usr/bin/time -v, and takes the time from the start until its window "Tallyvane" is mapped
(polled with xdotool every few milliseconds; `xdotool search --sync` polls only twice a
second). The window is then closed as a window manager would close it (WM_DELETE_WINDOW), and
the run's peak resident memory is read from /usr/bin/time. The first run warms the caches and
is not counted. A run fails when its start-up scan does not succeed, when it imports anything
or when the program ends abnormally.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

POLL_SECONDS = 0.005
WINDOW_TIMEOUT_SECONDS = 60
LOG_TIME = (2024, 3, 1, 20, 0, 0)


def log_text(i):
    return (
        "Adversarial\r\nIndex\r\n"
        "1 2 0 Alpha 3 50 5\r\n"
        f"2 1 3 Player{i} 2 40 4\r\n"
    ).encode("cp1252")


def prepare(installation, work):
    program = os.path.join(work, "tallyvane")
    shutil.copytree(installation, program)
    game = os.path.join(work, "game")
    os.mkdir(game)
    open(os.path.join(game, "RogueSpear.exe"), "wb").close()
    stamps = []
    for i in range(10):
        year, month, day, hour, minute, second = LOG_TIME
        stamp = time.mktime((year, month, day, hour, minute + i, second, 0, 0, -1))
        path = os.path.join(game, f"RSRESULTS{i}.log")
        with open(path, "wb") as log:
            log.write(log_text(i))
        os.utime(path, (stamp, stamp))
        stamps.append(time.strftime("#%Y-%m-%d %H:%M:%S#", time.localtime(stamp)))
    with open(os.path.join(program, "dateStamps.txt"), "wb") as f:
        f.write("".join(s + "\r\n" for s in stamps).encode("cp1252"))
    settings = [game, " 300", " 20", "Bench", "ftp.example.com", "", "", " 21", ""]
    with open(os.path.join(program, "statConf.txt"), "wb") as f:
        f.write("".join(s + "\r\n" for s in settings).encode("cp1252"))
    return program


def player_count(program):
    with sqlite3.connect(os.path.join(program, "tallyvane.mdb")) as db:
        return db.execute("SELECT COUNT(*) FROM tblPlayer").fetchone()[0]


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("data", ctypes.c_long * 5),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("client", ClientMessageEvent), ("pad", ctypes.c_long * 24)]


class X11:
    """Just enough of Xlib to ask a window to close, as a window manager does."""

    def __init__(self, display):
        self.lib = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.lib.XSendEvent.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        self.lib.XFlush.argtypes = [ctypes.c_void_p]
        self.lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.lib.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError(f"cannot open display {display}")

    def close_window(self, window):
        event = XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = self.lib.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = self.lib.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)
        event.client.data[1] = 0  # CurrentTime
        self.lib.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.lib.XFlush(self.display)

    def disconnect(self):
        self.lib.XCloseDisplay(self.display)


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return server, ":" + number.decode().strip()


def visible_window(env):
    found = subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Tallyvane$"],
        env=env, capture_output=True, text=True)
    ids = found.stdout.split()
    return int(ids[0]) if ids else None


def one_run(installation, env, x11):
    with tempfile.TemporaryDirectory(prefix="tallyvane-startup-") as work:
        program = prepare(installation, work)
        report = os.path.join(work, "time.txt")
        started = time.monotonic()
        process = subprocess.Popen(
            ["/usr/bin/time", "-v", "-o", report, os.path.join(program, "tallyvane")],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        window = None
        while window is None:
            if process.poll() is not None:
                raise RuntimeError("tallyvane ended before showing its window: "
                                   + process.stderr.read().decode(errors="replace"))
            if time.monotonic() - started > WINDOW_TIMEOUT_SECONDS:
                process.kill()
                raise RuntimeError("no window within %d s" % WINDOW_TIMEOUT_SECONDS)
            window = visible_window(env)
            if window is None:
                time.sleep(POLL_SECONDS)
        shown = time.monotonic() - started
        x11.close_window(window)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            raise RuntimeError("tallyvane did not close when its window was closed")
        with open(report) as f:
            usage = f.read()
        status = re.search(r"Exit status: (\d+)", usage)
        if "Command terminated by signal" in usage or not status or status.group(1) != "0":
            raise RuntimeError("tallyvane ended abnormally:\n" + usage)
        output = process.stderr.read().decode(errors="replace")
        if "Status scan successful at " not in output:
            raise RuntimeError("the start-up scan did not succeed:\n" + output)
        if player_count(program) != 0:
            raise RuntimeError("the start-up scan imported logs that were already stamped")
        peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", usage).group(1))
        return shown, peak


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    installation = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    if not os.access(os.path.join(installation, "tallyvane"), os.X_OK):
        print(f"no tallyvane executable in {installation}", file=sys.stderr)
        return 1
    server, display = start_xvfb()
    try:
        # The status texts go to standard error, to check that the start-up scan succeeded.
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   QT_LOGGING_RULES="tallyvane.ui=true")
        x11 = X11(display)
        one_run(installation, env, x11)  # warm-up
        results = [one_run(installation, env, x11) for _ in range(runs)]
        x11.disconnect()
    finally:
        server.terminate()
        server.wait()
    times = sorted(r[0] * 1000 for r in results)
    peaks = sorted(r[1] for r in results)
    print(f"start-up to a shown window, nothing to import: median {statistics.median(times):.0f} ms,"
          f" best {times[0]:.0f} ms, worst {times[-1]:.0f} ms over {runs} runs"
          f" (polled every {POLL_SECONDS * 1000:.0f} ms)")
    print(f"peak memory (maximum resident set size): median {statistics.median(peaks) / 1024:.1f} MiB,"
          f" highest {peaks[-1] / 1024:.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
