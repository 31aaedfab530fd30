"""One running Tallyvane per installation.

Starts the real program in a private X server and checks that a second start from the same
installation exits with a message and changes no file, that a lock left by a killed program
does not block the next start, that the lock goes when the program quits, and that two
installations side by side both run.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import Installation, XServer  # noqa: E402
from harness import wait_for as wait_within  # noqa: E402

TIMEOUT = 60


def wait_for(predicate, what):
    return wait_within(predicate, what, timeout=TIMEOUT)


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


class Program:
    def __init__(self, installation, display):
        self.installation = installation
        self.log_path = tempfile.mktemp(prefix="tallyvane-log-")
        env = dict(os.environ, DISPLAY=display, QT_LOGGING_RULES="tallyvane.ui=true",
                   QT_QPA_PLATFORM="xcb")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([os.path.join(installation, "tallyvane")], env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.display = display

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def visible_window(self):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                 str(self.process.pid)],
                                env=dict(os.environ, DISPLAY=self.display),
                                capture_output=True, text=True)
        ids = result.stdout.split()
        return ids[0] if ids else None

    def wait_for_window(self):
        return wait_for(self.visible_window, "a window of process %d" % self.process.pid)

    def key(self, window, key):
        # xdotool reports a failure when the window goes away between key press and release,
        # which is just what answering a message box does: the outcome is checked instead.
        subprocess.run(["xdotool", "key", "--window", window, key],
                       env=dict(os.environ, DISPLAY=self.display), stderr=subprocess.DEVNULL)

    def click_quit(self, window):
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                  env=dict(os.environ, DISPLAY=self.display),
                                  capture_output=True, text=True, check=True).stdout
        values = dict(line.split("=") for line in geometry.split())
        # "Quit" stands at 3360, 1800 twips (15 to a pixel), 492 x 252.
        x = int(values["X"]) + (3360 + 400) // 15
        y = int(values["Y"]) + (1800 + 126) // 15
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"],
                       env=dict(os.environ, DISPLAY=self.display), check=True)

    def kill(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
        self.log.close()


def make_installation(root, name, args):
    installation = Installation(os.path.join(root, name), args.program, args.createdb,
                                args.source).directory
    game = os.path.join(root, name + "-game")
    os.makedirs(game)
    open(os.path.join(game, "RogueSpear.exe"), "w").close()
    # A configured installation whose game directory holds no logs: the start-up scan ends
    # quietly and the window opens.
    with open(os.path.join(installation, "statConf.txt"), "wb") as f:
        f.write(("%s\r\n 300\r\n 20\r\nHost\r\nftp.example.com\r\n\r\n\r\n 21\r\n\r\n" % game)
                .encode())
    return installation


def snapshot(installation):
    state = {}
    for entry in sorted(os.listdir(installation)):
        path = os.path.join(installation, entry)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                state[entry] = (f.read(), os.stat(path).st_mtime_ns)
        else:
            state[entry] = None
    return state


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--createdb", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()

    root = tempfile.mkdtemp(prefix="tallyvane-instance-")
    x = XServer()
    programs = []
    try:
        first_dir = make_installation(root, "first", args)
        first = Program(first_dir, x.display)
        programs.append(first)
        first.wait_for_window()
        wait_for(lambda: "status: Status scan failed at" in first.output(), "the start-up scan")
        before = snapshot(first_dir)

        # A second start from the same installation: a message, exit status 2, no file touched.
        second = Program(first_dir, x.display)
        programs.append(second)
        box = second.wait_for_window()
        wait_for(lambda: "message: Tallyvane | Tallyvane is already running from" in
                 second.output(), "the second start's message")
        if "status:" in second.output():
            fail("the second start reached the start-up steps:\n" + second.output())
        second.key(box, "Return")
        try:
            status = second.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            fail("the second start did not end after its message was answered")
        if status != 2:
            fail("the second start ended with status %d" % status)
        if snapshot(first_dir) != before:
            fail("the second start changed the installation")
        if first.process.poll() is not None:
            fail("the first program ended")
        print("PASS: second start refused, first still running, no file changed")

        # A program killed outright leaves its lock behind; the next start takes it over.
        first.kill()
        third = Program(first_dir, x.display)
        programs.append(third)
        window = third.wait_for_window()
        wait_for(lambda: "status: Status scan failed at" in third.output(), "a start after a kill")
        if "already running" in third.output():
            fail("a stale lock blocked the start")
        print("PASS: stale lock taken over")

        # Quit releases the lock.
        third.click_quit(window)
        try:
            status = third.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            fail("Quit did not end the program")
        if status != 0:
            fail("Quit ended with status %d" % status)
        fourth = Program(first_dir, x.display)
        programs.append(fourth)
        fourth.wait_for_window()
        wait_for(lambda: "status: Status scan failed at" in fourth.output(), "a start after Quit")
        print("PASS: Quit released the lock")

        # Two installations side by side both run.
        other = Program(make_installation(root, "other", args), x.display)
        programs.append(other)
        other.wait_for_window()
        wait_for(lambda: "status: Status scan failed at" in other.output(),
                 "the second installation's start")
        if fourth.process.poll() is not None:
            fail("the first installation's program ended")
        print("PASS: two installations run side by side")
    finally:
        for program in programs:
            program.kill()
        x.stop()
        shutil.rmtree(root, ignore_errors=True)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
