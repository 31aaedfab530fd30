"""Takes the README's screenshots with the end-to-end harness.

Runs the real program on a fresh installation in a private X server, walks through a first
run, a scan, Generate HTML and Upload HTML, and photographs the main window with a command
under the pointer, the three tabs of the configuration dialog, the question an upload over TLS asks
of a new server and the About dialog; then renders the generated page in headless Chromium.
Writes the PNG files into the given directory.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

STATUS = r"^tallyvane\.ui: status: "
RED = (255, 0, 0)
# Points in twips of the main window and the configuration dialog that the tests do not use.
CONFIGURATION, CANCEL, BACKGROUND = (3066, 366), (4266, 5166), (2000, 1300)


def geometry(session, window):
    values = dict(word.split("=") for word in session.xdotool("getwindowgeometry", "--shell", window))
    return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


def point_at(session, title, twips):
    x, y, _, _ = geometry(session, session.window(title))
    session.xdotool("mousemove", str(x + round(twips[0] / 15)), str(y + round(twips[1] / 15)))


def pixel(session, window, twips):
    """The colour (r, g, b) of a window's pixel, read from the screen."""
    output = subprocess.run(["import", "-window", window, "-crop",
                             f"1x1+{round(twips[0] / 15)}+{round(twips[1] / 15)}", "+repage", "-depth", "8",
                             "txt:-"], env=session.env, capture_output=True, text=True, check=True).stdout
    return tuple(int(v) for v in re.search(r"\(\s*(\d+),\s*(\d+),\s*(\d+)", output.splitlines()[-1]).groups())


def save(session, window, path):
    """Waits until the window's picture has stayed the same for a moment (lists that fill in
    the background have finished), then photographs it."""
    last, since = None, time.monotonic()

    def settled():
        nonlocal last, since
        picture = subprocess.run(["xwd", "-silent", "-id", window], env=session.env, capture_output=True).stdout
        if picture != last:
            last, since = picture, time.monotonic()
        return time.monotonic() - since >= 0.4

    harness.wait_for(settled, "the window's picture to settle")
    subprocess.run(["import", "-window", window, path], env=session.env, check=True)
    subprocess.run(["convert", path, "-strip", path], check=True)
    print(f"wrote {os.path.relpath(path)}")


def first_run(session, program, game):
    if session.wine:  # chosen in the drive and directory lists, as a Windows user would
        session.fill({})
        session.choose("C", game.split("\\")[1:])
    session.fill({
        **({} if session.wine else {"txtPath": game}),
        "txtScan": "120",
        "txtRecords": "10",
        "txtNickname": "Kestrel",
        "txtFTPaddress": "127.0.0.1",
        "txtFTPport": str(session.ftp_port),
        "txtFTPusername": harness.FTP_USER,
        "txtFTPpw": harness.FTP_PASSWORD,
        "txtFTPfile": "/web/stats.htm",
    })
    session.click(harness.DIALOG, harness.APPLY)
    program.expect(STATUS + re.escape("Tallyvane configured."))


def build_page(session, program):
    session.click("Tallyvane", harness.MAIN["Statistics Scan"])
    program.expect(r"^tallyvane\.ui: message: Error \|")
    session.answer("Error", "Return")
    program.expect(STATUS + "Status scan successful at")
    session.click("Tallyvane", harness.MAIN["Generate HTML"])
    program.expect(STATUS + re.escape("HTML generation successful."))
    session.click("Tallyvane", harness.MAIN["Upload HTML"])
    program.expect(STATUS + re.escape("HTML file successfully uploaded!"))


def shoot_trust_question(session, program, out):
    session.click("Tallyvane", harness.MAIN["Configuration"])
    session.fill({"cboFTPprotocol": "FTP over TLS", "txtFTPport": str(session.proftpd["ftp"]), "txtFTPfile": "stats.htm"})
    session.click(harness.DIALOG, harness.APPLY)
    harness.wait_for(lambda: not session.windows(harness.DIALOG), "the dialog to close")
    session.click("Tallyvane", harness.MAIN["Upload HTML"])
    program.expect(r"^tallyvane\.ui: message: Unknown Server")
    save(session, session.window("Unknown Server"), os.path.join(out, "trust-question.png"))
    session.answer("Unknown Server", "y")
    program.expect(STATUS + re.escape("HTML file successfully uploaded!"))


def shoot_dialogs(session, out):
    session.click("Tallyvane", CONFIGURATION)
    dialog = session.window(harness.DIALOG)
    if not session.wine:
        harness.wait_for(lambda: session.xdotool("getwindowfocus", check=False) == [dialog], "the dialog to be ready")
    save(session, dialog, os.path.join(out, "configuration-general.png"))
    # The FTP tab with the values of a typical web host; Cancel below discards them.
    session.fill({"txtFTPaddress": "ftp.example.net", "cboFTPprotocol": "FTP over TLS", "txtFTPport": "21",
                  "txtFTPfile": "/kestrel/stats.htm"})
    x, y, _, height = geometry(session, dialog)
    session.xdotool("mousemove", str(x + 2), str(y + height - 2))
    save(session, dialog, os.path.join(out, "configuration-ftp.png"))
    # The Ranking tab with a minimum and two names never ranked; Cancel discards them too.
    session.fill({"txtMinGames": "3"})
    for name in ("[BOT] Alpha", "Admin"):
        session.fill({"txtNeverRanked": name})
        for point in harness.ADD:
            session.click(harness.DIALOG, point)
    session.xdotool("mousemove", str(x + 2), str(y + height - 2))
    save(session, dialog, os.path.join(out, "configuration-ranking.png"))
    session.click(harness.DIALOG, CANCEL)
    harness.wait_for(lambda: not session.windows(harness.DIALOG), "the dialog to close")

    session.click("Tallyvane", harness.MAIN["About"])
    save(session, session.window("About Tallyvane"), os.path.join(out, "about.png"))
    session.click("About Tallyvane", (5310, 3255))  # OK
    harness.wait_for(lambda: not session.windows("About Tallyvane"), "the About box to close")


def shoot_main_window(session, out):
    # Across the background first: About, clicked last, would otherwise stay white.
    point_at(session, "Tallyvane", BACKGROUND)
    point_at(session, "Tallyvane", harness.MAIN["Generate HTML"])
    window = session.window("Tallyvane")
    harness.wait_for(lambda: pixel(session, window, (150, 630)) == RED,
                     "Generate HTML to turn red under the pointer")
    save(session, window, os.path.join(out, "main-window.png"))


def shoot_page(page, out):
    browser = shutil.which("chromium")
    if not browser:
        raise RuntimeError("chromium is not installed")
    with tempfile.TemporaryDirectory(prefix="tallyvane-page-") as staging:
        shutil.copy(page, os.path.join(staging, "tallyvane.htm"))
        # The page shows the banner tv-stat.jpg from its own folder; this one stands in for
        # the banner a user puts on the web space.
        subprocess.run(["convert", "-size", "468x60", "gradient:#000080-#000000",
                        "-font", "Liberation-Sans-Bold", "-pointsize", "26", "-fill", "#33CCFF",
                        "-gravity", "west", "-annotate", "+18+0", "Northside LAN statistics",
                        os.path.join(staging, "tv-stat.jpg")], check=True)
        shot = os.path.join(staging, "page.png")
        subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update",
                        "--disable-sync", "--hide-scrollbars",
                        f"--user-data-dir={os.path.join(staging, 'profile')}",
                        f"--screenshot={shot}", "--window-size=760,700",
                        "file://" + os.path.join(staging, "tallyvane.htm")],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120)
        target = os.path.join(out, "ranking-page.png")
        # The page is black around its content: crop to the content with a small margin.
        subprocess.run(["convert", shot, "-bordercolor", "black", "-border", "1", "-trim",
                        "+repage", "-border", "12", "-strip", target], check=True)
        print(f"wrote {os.path.relpath(target)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True,
                        help="the built tallyvane executable, or the Windows setup program to run under Wine")
    parser.add_argument("--createdb", required=True, help="the built tallyvane-createdb")
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--out", required=True, help="directory for the PNG files")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    out = os.path.abspath(args.out)
    windows = args.program.endswith("-setup.exe")
    if windows:  # the Windows pictures go beside the others, named for the system
        out = os.path.join(out, "windows")
        os.makedirs(out, exist_ok=True)
    # The directory list shows the folders around the game directory: make them plain ones.
    with tempfile.TemporaryDirectory(prefix="tv") as base:
        root = os.path.join(base, "home", "kestrel")
        os.makedirs(root)
        with harness.Session(root, args.program, args.createdb, args.source, ["wine"] * windows) as session:
            os.makedirs(os.path.join(session.home, "web"))
            game = session.game_path
            if not windows:
                game = os.path.join(root, "Games", "RogueSpear")
                os.renames(session.game, game)
            session.env["TMPDIR"] = base  # the program's run-time folder away from the folders shown
            program = session.start()
            first_run(session, program, game)
            build_page(session, program)
            shoot_trust_question(session, program, out)
            shoot_dialogs(session, out)
            shoot_main_window(session, out)
            session.click("Tallyvane", harness.MAIN["Quit"])
            program.wait(harness.TIMEOUT)
            if not windows:
                shoot_page(session.path("output", "tallyvane.htm"), out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
