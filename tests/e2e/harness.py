# Drives the real Tallyvane program in a private X server (Xvfb, xdotool); used by e2e_window.py
# and scripts/screenshots.py.
#
# A Session lays out, in a folder its caller owns, a fresh installation beside a copy of
# examples/game, the home of a local FTP server (pyftpdlib) and a ProFTPD server for FTP over TLS
# and SFTP (tests/support/proftpd_server.py, home in proftpd/home). The program is started as a
# command: a launcher's words (none, or e.g. "wine") and then the installed program. What the
# program reports is followed through its tallyvane.ui logging category. Every wait polls with a
# generous deadline and ends in a TimeoutError.
import getpass, os, re, shutil, subprocess, time  # noqa: E401
from pathlib import Path

TIMEOUT = 30.0
FTP_USER, FTP_PASSWORD = "kestrel", "s3cret"
# Points in twips (15 to a pixel) from the top left corner of a window's client area; no window
# manager runs, so windows have no frame. A box of the configuration dialog comes with its tab.
MAIN = {"Configuration": (3066, 366), "Statistics Scan": (906, 366), "Generate HTML": (906, 726), "Upload HTML": (906, 1086),
        "Clean Database": (3066, 726), "About": (3486, 1566), "Quit": (3606, 1926)}
GENERAL, FTP, RANKING, APPLY = (570, 420), (1770, 420), (2880, 420), (3426, 5166)
ADD = (RANKING, (3120, 3804))  # the Ranking tab's Add button
BOXES = {"txtPath": (GENERAL, (2346, 1110)), "txtScan": (GENERAL, (3846, 3744)), "txtRecords": (GENERAL, (3846, 4104)),
         "txtNickname": (GENERAL, (2946, 4464)), "txtFTPaddress": (FTP, (2706, 1224)), "txtFTPport": (FTP, (1566, 1704)),
         "txtFTPusername": (FTP, (2886, 2424)), "txtFTPpw": (FTP, (2886, 2904)), "txtFTPfile": (FTP, (2346, 4224)),
         "cboFTPprotocol": (FTP, (1566, 1704)),  # the port box, whose Tab goes to the protocol list
         "txtMinGames": (RANKING, (3846, 948)), "txtNeverRanked": (RANKING, (1506, 3804))}
DIALOG = "Tallyvane Configuration"


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
    # Waits for a line written after the last one expected that matches pattern; returns the match.
    def expect(self, pattern):
        def found():
            if match := re.compile(pattern, re.M).search(Path(self.log).read_text(errors="replace"), self.seen):
                self.seen = match.end()
            return match
        return wait_for(found, lambda: f"{pattern!r}; the program wrote:\n" + Path(self.log).read_text(errors="replace"))


class Session:
    def __init__(self, root, program, createdb, source, launcher=()):
        self.root, self.launcher, self.processes = root, list(launcher), []
        # A Windows setup program is installed under Wine, in a prefix of the session's own.
        self.wine = program.endswith("-setup.exe")
        self.installation, self.game, self.home = (os.path.join(root, name) for name in ("Tallyvane", "game", "ftp"))
        try:
            self.processes.append(subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                                                    "tcp", "-noreset"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL))
            # The program's local channel and run-time files go below root too.
            self.env = dict(os.environ, DISPLAY=":" + self.processes[0].stdout.readline().decode().strip(),
                            QT_QPA_PLATFORM="xcb", QT_LOGGING_RULES="tallyvane.ui=true", QT_SCALE_FACTOR="1", TMPDIR=root,
                            WINEPREFIX=os.path.join(root, "wine"), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                            QT_FORCE_STDERR_LOGGING="1")
            os.makedirs(self.home)
            with open(os.path.join(root, "ftp.log"), "wb") as log:
                self.processes.append(subprocess.Popen(["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                                      "0", "-w", "-d", self.home, "-u", FTP_USER, "-P", FTP_PASSWORD], stderr=log))
            self.ftp_port = int(wait_for(lambda: re.search(rb"127\.0\.0\.1:(\d+)", Path(log.name).read_bytes()), "pyftpdlib")[1])
            self.processes.append(subprocess.Popen(["/usr/bin/python3", os.path.join(source, "tests", "support", "proftpd_server.py"),
                                  os.path.join(root, "proftpd"), FTP_USER, FTP_PASSWORD], stdin=subprocess.PIPE, stdout=subprocess.PIPE))
            self.proftpd = {name: int(port) for name, port in re.findall(r"(\w+)=(\d+)", self.processes[-1].stdout.readline().decode())}
            self.proftpd_home = os.path.join(root, "proftpd", "home")
            self.game_path = self.game
            if self.wine:
                self.install_under_wine(program, source)
            else:
                self.program = self.path(os.path.basename(program))
                os.makedirs(self.path("output"))
                shutil.copy2(program, self.program)
                for name in ("statConf.txt", "dateStamps.txt"):
                    shutil.copy(os.path.join(source, "resources", name), self.installation)
                subprocess.run([createdb, os.path.join(source, "resources", "tallyvane.sql"),
                                self.path("tallyvane.mdb")], check=True)
            shutil.copytree(os.path.join(source, "examples", "game"), self.game)
            # Log i last changed on 2 March 2024 at 22:00 plus 17 i minutes and i + 1 seconds, local time.
            self.log_times = [time.mktime((2024, 3, 2, 22, 17 * i, i + 1, 0, 0, -1)) for i in range(10)]
            for i, stamp in enumerate(self.log_times):
                os.utime(os.path.join(self.game, f"RSRESULTS{i}.log"), (stamp, stamp))
        except BaseException:
            self.__exit__()
            raise

    # The setup program installs into the user's local application data. The game lies under
    # Program Files, where the game's own writes went to the user's virtual store: the logs there
    # are the game's, while the real folder holds the program and older, stale logs of one game.
    def install_under_wine(self, setup, source):
        subprocess.run(["wineboot", "-i"], env=self.env, check=True, capture_output=True, timeout=120)
        subprocess.run(["wine", setup, "/S"], env=self.env, check=True, timeout=120)
        for name in ("QT_LOGGING_RULES", "QT_FORCE_STDERR_LOGGING"):  # Wine passes no QT_ variable on
            subprocess.run(["wine", "reg", "add", r"HKCU\Environment", "/v", name, "/d", self.env[name], "/f"],
                           env=self.env, check=True, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)  # the next start reads them afresh
        drive, home = os.path.join(self.root, "wine", "drive_c"), os.path.join("users", getpass.getuser(), "AppData", "Local")
        self.installation = os.path.join(drive, home, "Programs", "Tallyvane")
        self.program = wait_for(lambda: os.path.exists(self.path("tallyvane.exe")) and self.path("tallyvane.exe"), "the setup")
        game = os.path.join("Program Files (x86)", "Red Storm", "Rogue Spear")
        self.game_path = "C:\\" + game.replace("/", "\\")
        shutil.copytree(os.path.join(source, "examples", "game"), os.path.join(drive, game))
        for i in range(10):  # the stale logs, of a game played before the game ran without administrator rights
            shutil.copy(os.path.join(source, "examples", "game", "RSRESULTS4.log"), os.path.join(drive, game, f"RSRESULTS{i}.log"))
            os.utime(os.path.join(drive, game, f"RSRESULTS{i}.log"), (1.6e9, 1.6e9))
        os.makedirs(os.path.dirname(os.path.join(drive, home, "VirtualStore", game)))
        self.game = os.path.join(drive, home, "VirtualStore", game)

    # A path as the program shows it.
    def native(self, path):
        if not self.wine:
            return path
        return "C:\\" + os.path.relpath(path, os.path.join(self.root, "wine", "drive_c")).replace("/", "\\")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if getattr(self, "wine", False):  # ends every Windows program of the prefix, and Wine's server
            subprocess.run(["wineserver", "-k"], env=getattr(self, "env", None), check=False)
        for process in self.processes:  # politely: a killed X server leaves its socket behind
            process.terminate()
            process.wait()

    def path(self, *names):
        return os.path.join(self.installation, *names)

    # Starts the program from its installation; options go to Popen.
    def start(self, **options):
        with open(os.path.join(self.root, f"program{len(self.processes)}.log"), "wb") as log:
            self.processes.append(Program(self.launcher + [self.program], cwd=self.installation, env=self.env,
                                          stdout=log, stderr=subprocess.STDOUT, **options))
        self.processes[-1].log, self.processes[-1].seen = log.name, 0
        return self.processes[-1]

    def xdotool(self, *words, check=True):
        return subprocess.run(["xdotool", *words], env=self.env, capture_output=True, text=True, timeout=TIMEOUT,
                              check=check).stdout.split()

    # The visible windows titled title, bottom first.
    def windows(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(title)}$", check=False)

    def window(self, title):
        return wait_for(lambda: self.windows(title), f"a window titled {title!r}")[0]

    # Clicks at a point in twips of the window titled title.
    def click(self, title, point):
        geometry = dict(word.split("=") for word in self.xdotool("getwindowgeometry", "--shell", self.window(title)))
        self.xdotool("mousemove", str(int(geometry["X"]) + round(point[0] / 15)),
                     str(int(geometry["Y"]) + round(point[1] / 15)), "click", "1")

    # A window that closes on the key makes xdotool complain: the outcome is checked instead.
    def press(self, window, key):
        self.xdotool("windowfocus", "--sync", window, "key", "--clearmodifiers", key, check=False)

    def answer(self, title, key):
        self.press(self.window(title), key)
        wait_for(lambda: not self.windows(title), f"the window {title!r} to close")

    # Chooses a directory as a user would: its drive in the drive list, then folder after folder in
    # the directory list, each opened with the Right key and found by typing its name.
    def choose(self, drive, folders):
        self.click(DIALOG, GENERAL)
        self.click(DIALOG, (2346, 1464))
        self.xdotool("type", "--delay", "4", drive)
        self.xdotool("key", "Return", "Tab")
        for folder in folders:
            time.sleep(1.5)  # the folders below are read in the background
            self.xdotool("key", "Right")
            time.sleep(1.5)
            self.xdotool("type", "--delay", "4", folder)

    # Types into the configuration dialog's boxes: {box name: text}. Keys pressed before the dialog
    # has taken the keyboard would go elsewhere.
    def fill(self, values):
        dialog = self.window(DIALOG)
        if self.wine:  # Wine's windows report no X focus: give the dialog time to take the keyboard
            time.sleep(3)
        else:
            wait_for(lambda: self.xdotool("getwindowfocus", check=False) == [dialog], "the dialog to take the keyboard")
        for box, text in values.items():
            for point in BOXES[box]:  # the tab, then the box
                self.click(DIALOG, point)
            if box.startswith("cbo"):  # chosen with the keys, the list closed
                self.xdotool("key", "--clearmodifiers", "Tab", "Home", *["Down"] * ["FTP", "FTP over TLS", "SFTP"].index(text))
                continue
            self.xdotool("key", "--clearmodifiers", "ctrl+a", "BackSpace")
            self.xdotool("type", "--delay", "4", "--clearmodifiers", text)
