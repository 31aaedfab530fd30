# Drives the real Tallyvane program in a private X server (Xvfb, xdotool); used by e2e_window.py
# and scripts/screenshots.py.
#
# A Session lays out, in a folder its caller owns, a fresh installation beside a copy of
# examples/game, the home of a local FTP server (pyftpdlib) and a ProFTPD server for FTP over TLS
# and SFTP (tests/support/proftpd_server.py, home in proftpd/home). The program is started as a
# command: a launcher's words (none, or e.g. "wine") and then the installed program. What the
# program reports is followed through its tallyvane.ui logging category. Every wait polls with a
# generous deadline and ends in a TimeoutError.
import contextlib, getpass, os, re, shutil, subprocess, time  # noqa: E401
from pathlib import Path
from subprocess import DEVNULL, PIPE, STDOUT

TIMEOUT = 30.0
FTP_USER, FTP_PASSWORD = "kestrel", "s3cret"
# Points in twips (15 to a pixel) from the top left corner of a window's client area; no window
# manager runs, so windows have no frame. A box of the configuration dialog comes with its tab.
MAIN = {"Configuration": (3066, 366), "Statistics Scan": (906, 366), "Generate HTML": (906, 726),
        "Upload HTML": (906, 1086), "Clean Database": (3066, 726), "About": (3486, 1566),
        "Quit": (3606, 1926)}
GENERAL, FTP, RANKING, APPLY = (570, 420), (1770, 420), (2880, 420), (3426, 5166)
ADD = (RANKING, (3120, 3804))  # the Ranking tab's Add button
# The protocol list is reached from the port box, whose Tab goes to it.
BOXES = {"txtPath": (GENERAL, (2346, 1110)), "txtScan": (GENERAL, (3846, 3744)),
         "txtRecords": (GENERAL, (3846, 4104)), "txtNickname": (GENERAL, (2946, 4464)),
         "txtFTPaddress": (FTP, (2706, 1224)), "txtFTPport": (FTP, (1566, 1704)),
         "txtFTPusername": (FTP, (2886, 2424)), "txtFTPpw": (FTP, (2886, 2904)),
         "txtFTPfile": (FTP, (2346, 4224)), "cboFTPprotocol": (FTP, (1566, 1704)),
         "txtMinGames": (RANKING, (3846, 948)), "txtNeverRanked": (RANKING, (1506, 3804))}
DIALOG = "Tallyvane Configuration"
# A run as nobody, where the tests run as root, who writes anywhere.
NOBODY = {"preexec_fn": lambda: (os.setgid(65534), os.setuid(65534))} if os.geteuid() == 0 else {}


# Polls predicate until it returns a true value, and returns that; what (text, or a function giving
# it) says what was awaited.
def wait_for(predicate, what, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise TimeoutError(f"waited {timeout:g} s for {what() if callable(what) else what}")
        time.sleep(0.05)
    return value


class Program(subprocess.Popen):
    def output(self):
        return Path(self.log).read_text(errors="replace")

    # Waits for a line written after the last one expected that matches pattern; returns the match.
    def expect(self, pattern):
        def found():
            if match := re.compile(pattern, re.M).search(self.output(), self.seen):
                self.seen = match.end()
            return match
        return wait_for(found, lambda: f"{pattern!r}; the program wrote:\n" + self.output())


class Session(contextlib.AbstractContextManager):  # entered, it gives itself
    def __init__(self, root, program, createdb, source, launcher=()):
        self.root, self.launcher, self.processes = root, list(launcher), []
        # A Windows setup program is installed under Wine, in a prefix of the session's own.
        self.wine = program.endswith("-setup.exe")
        at = lambda *names: os.path.join(root, *names)
        self.installation, self.game, self.home = at("Tallyvane"), at("game"), at("ftp")
        self.game_path, self.proftpd_home = self.game, at("proftpd", "home")
        # Log i last changed on 2 March 2024, 22:00 plus 17 i minutes and i + 1 seconds, local time.
        self.log_times = [time.mktime((2024, 3, 2, 22, 17 * i, i + 1, 0, 0, -1)) for i in range(10)]
        try:
            xvfb = "Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset".split()
            xvfb = self.spawn(*xvfb, stdout=PIPE, stderr=DEVNULL, text=True)
            # The program's local channel and run-time files go below root too.
            self.env = dict(os.environ, TMPDIR=root, DISPLAY=":" + xvfb.stdout.readline().strip(),
                            QT_QPA_PLATFORM="xcb", QT_LOGGING_RULES="tallyvane.ui=true",
                            QT_SCALE_FACTOR="1", QT_FORCE_STDERR_LOGGING="1", WINEDEBUG="-all",
                            WINEPREFIX=at("wine"), WINEDLLOVERRIDES="mscoree,mshtml=")
            os.makedirs(self.home)
            ftp_log = Path(at("ftp.log"))
            with ftp_log.open("wb") as log:
                self.spawn(*"/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p 0 -w -d".split(),
                           self.home, "-u", FTP_USER, "-P", FTP_PASSWORD, stderr=log)
            listening = lambda: re.search(rb"127\.0\.0\.1:(\d+)", ftp_log.read_bytes())
            self.ftp_port = int(wait_for(listening, "pyftpdlib")[1])
            script = os.path.join(source, "tests", "support", "proftpd_server.py")
            server = self.spawn("/usr/bin/python3", script, at("proftpd"), FTP_USER, FTP_PASSWORD,
                                stdin=PIPE, stdout=PIPE, text=True)
            self.proftpd = {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", next(server.stdout))}
            if self.wine:
                self.install_under_wine(program, source)
            else:
                os.makedirs(self.path("output"))
                self.program = shutil.copy2(program, self.installation)
                for name in ("statConf.txt", "dateStamps.txt"):
                    shutil.copy(os.path.join(source, "resources", name), self.installation)
                subprocess.run([createdb, os.path.join(source, "resources", "tallyvane.sql"),
                                self.path("tallyvane.mdb")], check=True)
            shutil.copytree(os.path.join(source, "examples", "game"), self.game)
            for i, stamp in enumerate(self.log_times):
                os.utime(os.path.join(self.game, f"RSRESULTS{i}.log"), (stamp, stamp))
        except BaseException:
            self.__exit__()
            raise

    # The setup program installs into the user's local application data. The game lies under
    # Program Files, where the game's own writes went to the user's virtual store: the logs there
    # are the game's, while the real folder holds the program and older, stale logs of one game.
    def install_under_wine(self, setup, source):
        run = lambda *words, **options: subprocess.run(words, env=self.env, check=True, **options)
        run("wineboot", "-i", capture_output=True, timeout=120)
        run("wine", setup, "/S", timeout=120)
        # Wine passes no QT_ variable on.
        for name in ("QT_LOGGING_RULES", "QT_FORCE_STDERR_LOGGING"):
            run("wine", "reg", "add", r"HKCU\Environment", "/v", name, "/d", self.env[name], "/f",
                capture_output=True)
        # System Info starts the tool the registry names: Notepad stands in for it.
        run("wine", "reg", "add", r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO", "/v", "PATH",
            "/d", r"C:\windows\notepad.exe", "/f", capture_output=True)
        run("wineserver", "-w")  # the next start reads them afresh
        self.drive = os.path.join(self.root, "wine", "drive_c")
        home = os.path.join(self.drive, "users", getpass.getuser(), "AppData", "Local")
        self.installation = os.path.join(home, "Programs", "Tallyvane")
        self.program = self.path("tallyvane.exe")
        wait_for(lambda: os.path.exists(self.program), "the setup")
        game = os.path.join("Program Files (x86)", "Red Storm", "Rogue Spear")
        real, examples = os.path.join(self.drive, game), os.path.join(source, "examples", "game")
        self.game_path = self.native(shutil.copytree(examples, real))
        # The stale logs, of a game played before the game ran without administrator rights.
        for i in range(10):
            stale = shutil.copy(f"{examples}/RSRESULTS4.log", f"{real}/RSRESULTS{i}.log")
            os.utime(stale, (1.6e9, 1.6e9))
        self.game = os.path.join(home, "VirtualStore", game)
        os.makedirs(os.path.dirname(self.game))

    # A path as the program shows it.
    def native(self, path):
        return "C:\\" + os.path.relpath(path, self.drive).replace("/", "\\") if self.wine else path

    def __exit__(self, *exc):
        # Ends every Windows program of the prefix, and Wine's server.
        if self.wine and hasattr(self, "env"):
            subprocess.run(["wineserver", "-k"], env=self.env)
        for process in self.processes:  # politely: a killed X server leaves its socket behind
            process.terminate()
            process.wait()

    def path(self, *names):
        return os.path.join(self.installation, *names)

    def read(self, *names):
        return Path(self.path(*names)).read_bytes()

    # The installation's files: content and time of change.
    def files(self):
        return {name: (self.read(name), os.stat(self.path(name)).st_mtime_ns)
                for name in os.listdir(self.installation) if os.path.isfile(self.path(name))}

    # Starts a process that ends with the session.
    def spawn(self, *words, kind=subprocess.Popen, **options):
        self.processes.append(kind(words, **options))
        return self.processes[-1]

    # Starts the program from its installation; options go to Popen.
    def start(self, **options):
        with open(os.path.join(self.root, f"program{len(self.processes)}.log"), "wb") as log:
            program = self.spawn(*self.launcher, self.program, kind=Program, cwd=self.installation,
                                 env=self.env, stdout=log, stderr=STDOUT, **options)
        program.log, program.seen = log.name, 0
        return program

    def xdotool(self, *words, check=True):
        return subprocess.run(["xdotool", *words], env=self.env, capture_output=True, text=True,
                              timeout=TIMEOUT, check=check).stdout.split()

    # The visible windows titled title, bottom first.
    def windows(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(title)}$", check=False)

    def window(self, title):
        return wait_for(lambda: self.windows(title), f"a window titled {title!r}")[0]

    def closed(self, title):
        wait_for(lambda: not self.windows(title), f"the window {title!r} to close")

    # Clicks at a point in twips of the window titled title.
    def click(self, title, point):
        x, y = (str(round(twips / 15)) for twips in point)
        self.xdotool("mousemove", "--window", self.window(title), x, y, "click", "1")

    # A window that closes on the key makes xdotool complain: the outcome is checked instead.
    def press(self, window, key):
        self.xdotool("windowfocus", "--sync", window, "key", "--clearmodifiers", key, check=False)

    def answer(self, title, key):
        self.press(self.window(title), key)
        self.closed(title)

    # Chooses a directory as a user would: its drive in the drive list, then folder after folder in
    # the directory list, each opened with the Right key and found by typing its name.
    def choose(self, drive, folders):
        self.click(DIALOG, GENERAL)
        self.click(DIALOG, (2346, 1464))
        self.xdotool("type", "--delay", "4", drive)
        self.xdotool("key", "Return", "Tab")
        for folder in folders:
            time.sleep(1.5)  # the folders below are read in the background
            self.xdotool("key", "Right", "sleep", "1.5", "type", "--delay", "4", folder)

    # Types into the configuration dialog's boxes: {box name: text}. Keys pressed before the dialog
    # has taken the keyboard would go elsewhere.
    def fill(self, values):
        dialog = self.window(DIALOG)
        if self.wine:  # Wine's windows report no X focus: give the dialog time to take the keyboard
            time.sleep(3)
        else:
            focused = lambda: self.xdotool("getwindowfocus", check=False) == [dialog]
            wait_for(focused, "the dialog to take the keyboard")
        for box, text in values.items():
            for point in BOXES[box]:  # the tab, then the box
                self.click(DIALOG, point)
            if box.startswith("cbo"):  # chosen with the keys, the list closed
                downs = ["Down"] * ["FTP", "FTP over TLS", "SFTP"].index(text)
                self.xdotool("key", "--clearmodifiers", "Tab", "Home", *downs)
                continue
            self.xdotool("key", "--clearmodifiers", "ctrl+a", "BackSpace")
            self.xdotool("type", "--delay", "4", "--clearmodifiers", text)
