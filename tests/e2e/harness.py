"""Drives the real Tallyvane program in a private X server.

Used by the end-to-end test and by scripts/screenshots. A Session owns a temporary directory,
an Xvfb display (no window manager, so top-level windows have no frame and a window's
geometry is its client area), a local FTP server and a fresh installation laid out like the
build's; Program follows what the program reports through its tallyvane.ui logging category.
All waits poll with a deadline; nothing depends on fixed sleeps.
"""
import datetime
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

TWIPS_PER_PIXEL = 15
DEFAULT_TIMEOUT = 15.0
POLL_SECONDS = 0.03

# Positions in twips of the controls the harness uses, inside a window's client area or, for
# the configuration dialog's tabs, inside the tab control.
MAIN_LABELS = {
    "Configuration": (2280, 240, 1572, 252),
    "Statistics Scan": (120, 240, 1572, 252),
    "Generate HTML": (120, 600, 1572, 252),
    "Upload HTML": (120, 960, 1572, 252),
    "Clean Database": (2280, 600, 1572, 252),
    "About": (3120, 1440, 732, 252),
    "Quit": (3360, 1800, 492, 252),
}
CONFIG_TABS_ORIGIN = (120, 240)
CONFIG_BOXES = {
    "txtPath": (240, 720, 3972, 300),
    "txtScan": (3240, 3360, 972, 288),
    "txtRecords": (3240, 3720, 972, 288),
    "txtNickname": (1440, 4080, 2772, 288),
    "txtFTPaddress": (960, 840, 3252, 288),
    "txtFTPport": (960, 1320, 972, 288),
    "txtFTPusername": (1320, 2040, 2892, 288),
    "txtFTPpw": (1320, 2520, 2892, 288),
    "txtFTPfile": (240, 3840, 3972, 288),
}
GENERAL_TAB_BOXES = ("txtPath", "txtScan", "txtRecords", "txtNickname")
# The tab captions sit in the tab control's top strip; these points lie on each caption.
CONFIG_TAB_POINTS = {"General": (450, 180), "FTP Settings": (1650, 180)}
CONFIG_BOTTOM = {"Apply": (3120, 5040, 612, 252), "Cancel": (3960, 5040, 612, 252)}


def stop_process(process):
    """Ends a helper process politely, and for good when it does not listen."""
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()

class HarnessError(AssertionError):
    pass


def pixels(twips):
    return round(twips / TWIPS_PER_PIXEL)


def centre(rect):
    left, top, width, height = rect
    return pixels(left + width / 2), pixels(top + height / 2)


def wait_for(predicate, what, timeout=DEFAULT_TIMEOUT, check=None):
    """Polls predicate until it returns a true value, which is returned. check() runs on
    every round and may raise to end the wait early (for example when the program died)."""
    deadline = time.monotonic() + timeout
    while True:
        if check:
            check()
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise HarnessError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(POLL_SECONDS)


class XServer:
    """An Xvfb on a display number that it picks itself."""

    def __init__(self, width=1024, height=768):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            # -noreset: by default the server resets whenever its last client disconnects, and
            # refuses the clients that come during the reset.
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number.isdigit():
            self.stop()
            raise HarnessError("Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        wait_for(lambda: self.run("xdotool", "getdisplaygeometry", check=False).returncode == 0,
                 f"the X server on {self.display} to accept clients", check=self.alive)

    def alive(self):
        if self.process.poll() is not None:
            raise HarnessError(f"the X server on {self.display} ended")

    def run(self, *command, timeout=DEFAULT_TIMEOUT, check=True, text=True):
        result = subprocess.run(command, env=self.env, capture_output=True, text=text,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise HarnessError(f"{' '.join(command)} failed: {result.stderr!r}")
        return result

    def visible_windows(self, title):
        """Ids of the mapped windows whose title is exactly title."""
        result = self.run("xdotool", "search", "--onlyvisible", "--name",
                          "^" + re.escape(title) + "$", check=False)
        return result.stdout.split()

    def geometry(self, window):
        output = self.run("xdotool", "getwindowgeometry", "--shell", window).stdout
        values = dict(line.split("=", 1) for line in output.split())
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def move_pointer(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y))

    def click(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    def key(self, *keys):
        self.run("xdotool", "key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self.run("xdotool", "type", "--delay", "4", "--clearmodifiers", text)

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", window)

    def screenshot(self, window, path):
        self.run("import", "-window", window, path)

    def settle(self, window, quiet=0.4, timeout=DEFAULT_TIMEOUT):
        """Waits until a window's picture has stayed the same for quiet seconds (lists that
        fill in the background, for example, have finished)."""
        last, since = None, time.monotonic()

        def unchanged():
            nonlocal last, since
            picture = self.run("xwd", "-silent", "-id", window, text=False).stdout
            if picture != last:
                last, since = picture, time.monotonic()
            return time.monotonic() - since >= quiet

        wait_for(unchanged, "the window's picture to settle", timeout)

    def pixel(self, window, x, y):
        """The colour (r, g, b) of a window's pixel, read from the screen."""
        output = self.run("import", "-window", window, "-crop", f"1x1+{x}+{y}", "+repage",
                          "-depth", "8", "txt:-").stdout
        match = re.search(r"\(\s*(\d+),\s*(\d+),\s*(\d+)", output.splitlines()[-1])
        return tuple(int(v) for v in match.groups())

    def stop(self):
        stop_process(self.process)


class FtpServer:
    """A pyftpdlib server on 127.0.0.1 with one account whose home is a fresh directory."""

    SCRIPT = r"""
import random, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
home, user, password = sys.argv[1:4]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmw")
FTPHandler.authorizer = authorizer
# A port below the system's ephemeral range, as a user's server would have.
for attempt in range(200):
    try:
        server = FTPServer(("127.0.0.1", random.randint(20000, 32000)), FTPHandler)
        break
    except OSError:
        continue
print(server.address[1], flush=True)
server.serve_forever()
"""

    def __init__(self, home, user, password):
        self.home, self.user, self.password = home, user, password
        os.makedirs(home, exist_ok=True)
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-c", self.SCRIPT, home, user, password],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline().strip()
        if not line.isdigit():
            self.stop()
            raise HarnessError("the FTP server did not start")
        self.port = int(line)

    def stop(self):
        stop_process(self.process)


class Installation:
    """A fresh installation laid out like the build's: the program, the seed configuration,
    an empty stamp list, the empty player database and the output directory."""

    def __init__(self, directory, program, createdb, source):
        self.directory = directory
        os.makedirs(os.path.join(directory, "output"))
        shutil.copy2(program, os.path.join(directory, "tallyvane"))
        shutil.copy(os.path.join(source, "resources", "statConf.txt"), self.path("statConf.txt"))
        shutil.copy(os.path.join(source, "resources", "dateStamps.txt"),
                    self.path("dateStamps.txt"))
        subprocess.run([createdb, os.path.join(source, "resources", "tallyvane.sql"),
                        self.path("tallyvane.mdb")], check=True)
        self.program = self.path("tallyvane")

    def path(self, *names):
        return os.path.join(self.directory, *names)

    def read(self, *names):
        with open(self.path(*names), "rb") as file:
            return file.read()

    def query(self, sql):
        connection = sqlite3.connect(f"file:{self.path('tallyvane.mdb')}?mode=ro", uri=True)
        try:
            return connection.execute(sql).fetchall()
        finally:
            connection.close()


def make_game_directory(directory, source, first_log_time):
    """Copies the example game directory and gives log i the modification time
    first_log_time + i * 17 minutes + i seconds (local time). Returns those times."""
    shutil.copytree(os.path.join(source, "examples", "game"), directory)
    times = []
    for i in range(10):
        moment = first_log_time + datetime.timedelta(minutes=17 * i, seconds=i + 1)
        stamp = time.mktime(moment.timetuple())
        os.utime(os.path.join(directory, f"RSRESULTS{i}.log"), (stamp, stamp))
        times.append(moment)
    return times


class Program:
    """The running program; its stderr (where the tallyvane.ui category writes) goes to a
    file that expect() follows line by line."""

    def __init__(self, xserver, installation, log_path):
        self.xserver = xserver
        self.log_path = log_path
        self.cursor = 0
        env = dict(xserver.env, QT_QPA_PLATFORM="xcb", QT_LOGGING_RULES="tallyvane.ui=true",
                   QT_SCALE_FACTOR="1", QT_ENABLE_HIGHDPI_SCALING="0")
        env.pop("QT_STYLE_OVERRIDE", None)
        self._log = open(log_path, "wb")
        self.process = subprocess.Popen([installation.program], env=env,
                                        cwd=installation.directory, stdout=self._log,
                                        stderr=subprocess.STDOUT)

    def lines(self):
        with open(self.log_path, "rb") as file:
            return file.read().decode("utf-8", "replace").splitlines()

    def alive(self):
        if self.process.poll() is not None:
            raise HarnessError(f"the program ended with status {self.process.returncode}\n"
                               + self.tail())

    def tail(self, count=25):
        return "program log:\n  " + "\n  ".join(self.lines()[-count:])

    def expect(self, pattern, timeout=DEFAULT_TIMEOUT, refuse=()):
        """Waits for a log line after the last one expected that matches pattern (a regular
        expression searched in the line); a line matching one of refuse fails at once.
        Returns the match."""
        regex = re.compile(pattern)
        refused = [re.compile(p) for p in refuse]

        def found():
            lines = self.lines()
            for index in range(self.cursor, len(lines)):
                for bad in refused:
                    if bad.search(lines[index]):
                        raise HarnessError(f"unexpected line {lines[index]!r}\n" + self.tail())
                match = regex.search(lines[index])
                if match:
                    self.cursor = index + 1
                    return match
            if ended:
                raise HarnessError(f"the program ended with status {self.process.returncode} "
                                   f"before writing a line matching {pattern!r}\n" + self.tail())
            return None

        def found_or_ended():
            nonlocal ended
            # Read the log once more after the program ended: its last lines may be new.
            ended = self.process.poll() is not None
            return found()

        ended = False
        try:
            return wait_for(found_or_ended, f"a log line matching {pattern!r}", timeout)
        except HarnessError as error:
            if "program log:" in str(error):
                raise
            raise HarnessError(f"{error}\n{self.tail()}") from None

    def window(self, title, timeout=DEFAULT_TIMEOUT):
        """The id of the one visible window titled exactly title."""
        windows = wait_for(lambda: self.xserver.visible_windows(title),
                           f"a visible window titled {title!r}", timeout, check=self.alive)
        if len(windows) != 1:
            raise HarnessError(f"{len(windows)} visible windows titled {title!r}")
        return windows[0]

    def window_gone(self, title, timeout=DEFAULT_TIMEOUT):
        wait_for(lambda: not self.xserver.visible_windows(title),
                 f"the window {title!r} to close", timeout)

    def answer(self, title, key):
        """Answers the message box or dialog titled title with a key and waits until it
        has gone."""
        box = self.window(title)
        self.xserver.focus(box)
        self.xserver.key(key)
        self.window_gone(title)

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError("the program did not end\n" + self.tail()) from None

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._log.close()


class MainWindow:
    """The main window: clicks and hovers its labels by their positions in twips."""

    def __init__(self, program):
        self.program = program
        self.xserver = program.xserver
        self.id = program.window("Tallyvane")
        self.x, self.y, self.width, self.height = self.xserver.geometry(self.id)

    def point(self, caption):
        dx, dy = centre(MAIN_LABELS[caption])
        return self.x + dx, self.y + dy

    def click(self, caption):
        self.xserver.click(*self.point(caption))

    def hover(self, caption):
        self.xserver.move_pointer(*self.point(caption))

    def hover_background(self):
        # Between the two columns of commands, where no control lies.
        self.xserver.move_pointer(self.x + pixels(2000), self.y + pixels(1300))

    def pixel_of(self, caption, dx_twips=30, dy_twips=30):
        """A pixel near the top left corner of a label, off its text."""
        left, top = MAIN_LABELS[caption][:2]
        return self.xserver.pixel(self.id, pixels(left + dx_twips), pixels(top + dy_twips))


class ConfigurationDialog:
    """The configuration dialog: fills its boxes by clicking into them and typing."""

    TITLE = "Tallyvane Configuration"

    def __init__(self, program):
        self.program = program
        self.xserver = program.xserver
        self.id = program.window(self.TITLE)
        self.x, self.y, self.width, self.height = self.xserver.geometry(self.id)

    def _tab_point(self, left_twips, top_twips):
        return (self.x + pixels(CONFIG_TABS_ORIGIN[0] + left_twips),
                self.y + pixels(CONFIG_TABS_ORIGIN[1] + top_twips))

    def show_tab(self, caption):
        self.xserver.click(*self._tab_point(*CONFIG_TAB_POINTS[caption]))

    def fill(self, box, text):
        left, top, width, height = CONFIG_BOXES[box]
        self.xserver.click(*self._tab_point(left + width // 2, top + height // 2))
        self.xserver.key("ctrl+a")
        if text:
            self.xserver.type_text(text)
        else:
            self.xserver.key("BackSpace")

    def fill_all(self, values):
        """values: box name -> text; the General tab's boxes first, then the FTP tab's."""
        self.show_tab("General")
        for box in GENERAL_TAB_BOXES:
            if box in values:
                self.fill(box, values[box])
        self.show_tab("FTP Settings")
        for box, text in values.items():
            if box not in GENERAL_TAB_BOXES:
                self.fill(box, text)

    def click(self, caption):
        dx, dy = centre(CONFIG_BOTTOM[caption])
        self.xserver.click(self.x + dx, self.y + dy)


class Session:
    """A temporary directory with an X server, an FTP server, a fresh installation and a game
    directory. Use as a context manager; everything it started is stopped on exit."""

    FTP_USER = "kestrel"
    FTP_PASSWORD = "s3cret"

    def __init__(self, program, createdb, source, keep=False, game_name="game", root=None):
        if root:
            os.makedirs(root)
            self.root = root
        else:
            self.root = tempfile.mkdtemp(prefix="tallyvane-e2e-")
        self.keep = keep
        self.xserver = self.ftp = self.program = None
        try:
            self.xserver = XServer()
            self.ftp = FtpServer(os.path.join(self.root, "ftp"), self.FTP_USER, self.FTP_PASSWORD)
            self.installation = Installation(os.path.join(self.root, "Tallyvane"), program,
                                             createdb, source)
            self.game = os.path.join(self.root, game_name)
            self.log_times = make_game_directory(self.game, source,
                                                 datetime.datetime(2024, 3, 2, 22, 0, 0))
        except BaseException:
            self.close()
            raise

    def start(self):
        self.program = Program(self.xserver, self.installation,
                               os.path.join(self.root, "program.log"))
        return self.program

    def close(self):
        for part in (self.program, self.ftp, self.xserver):
            if part:
                part.stop()
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def add_arguments(parser):
    parser.add_argument("--program", required=True, help="the built tallyvane executable")
    parser.add_argument("--createdb", required=True, help="the built tallyvane-createdb")
    parser.add_argument("--source", required=True, help="the source tree")


def report_failure(error):
    print(f"FAIL: {error}", file=sys.stderr)
    return 1
