"""Takes the README's screenshots with the end-to-end harness.

Runs the real program on a fresh installation in a private X server, walks through a first
run, a scan, Generate HTML and Upload HTML, and photographs the main window with a command
under the pointer, both tabs of the configuration dialog and the About dialog; then renders
the generated page in headless Chromium. Writes the PNG files into the given directory.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

STATUS = r"^tallyvane\.ui: status: "
RED = (255, 0, 0)


def save(xserver, window, path):
    xserver.settle(window)
    xserver.screenshot(window, path)
    subprocess.run(["convert", path, "-strip", path], check=True)
    print(f"wrote {os.path.relpath(path)}")


def first_run(session, program):
    dialog = harness.ConfigurationDialog(program)
    dialog.fill_all({
        "txtPath": session.game,
        "txtScan": "120",
        "txtRecords": "10",
        "txtNickname": "Kestrel",
        "txtFTPaddress": "127.0.0.1",
        "txtFTPport": str(session.ftp.port),
        "txtFTPusername": session.FTP_USER,
        "txtFTPpw": session.FTP_PASSWORD,
        "txtFTPfile": "/web/stats.htm",
    })
    dialog.click("Apply")
    program.expect(STATUS + re.escape("Tallyvane configured.") + "$")


def build_page(program, window):
    window.click("Statistics Scan")
    program.expect(r"^tallyvane\.ui: message: Error \|")
    program.answer("Error", "Return")
    program.expect(STATUS + "Status scan successful at")
    window.click("Generate HTML")
    program.expect(STATUS + re.escape("HTML generation successful."))
    window.click("Upload HTML")
    program.expect(STATUS + re.escape("HTML file successfully uploaded!"))


def shoot_dialogs(session, program, window, out):
    window.click("Configuration")
    dialog = harness.ConfigurationDialog(program)
    xserver = session.xserver
    save(xserver, dialog.id, os.path.join(out, "configuration-general.png"))
    # The FTP tab with the values of a typical web host; Cancel below discards them.
    dialog.show_tab("FTP Settings")
    dialog.fill("txtFTPaddress", "ftp.example.net")
    dialog.fill("txtFTPport", "21")
    dialog.fill("txtFTPfile", "/kestrel/stats.htm")
    xserver.move_pointer(dialog.x + 2, dialog.y + dialog.height - 2)
    save(xserver, dialog.id, os.path.join(out, "configuration-ftp.png"))
    dialog.click("Cancel")
    program.window_gone(dialog.TITLE)

    window.click("About")
    about = program.window("About Tallyvane")
    save(xserver, about, os.path.join(out, "about.png"))
    program.answer("About Tallyvane", "Return")


def shoot_main_window(session, window, out):
    # Across the background first: About, clicked last, would otherwise stay white.
    window.hover_background()
    window.hover("Generate HTML")
    harness.wait_for(lambda: window.pixel_of("Generate HTML") == RED,
                     "Generate HTML to turn red under the pointer")
    save(session.xserver, window.id, os.path.join(out, "main-window.png"))


def shoot_page(page, out):
    browser = shutil.which("chromium")
    if not browser:
        raise harness.HarnessError("chromium is not installed")
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
    harness.add_arguments(parser)
    parser.add_argument("--out", required=True, help="directory for the PNG files")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    out = os.path.abspath(args.out)
    # The directory list shows the folders around the game directory: make them plain ones.
    base = tempfile.mkdtemp(prefix="tv")
    try:
        with harness.Session(args.program, args.createdb, args.source,
                             game_name=os.path.join("Games", "RogueSpear"),
                             root=os.path.join(base, "home", "kestrel")) as session:
            os.makedirs(os.path.join(session.ftp.home, "web"))
            program = session.start()
            first_run(session, program)
            window = harness.MainWindow(program)
            build_page(program, window)
            shoot_dialogs(session, program, window, out)
            shoot_main_window(session, window, out)
            window.click("Quit")
            program.wait_exit()
            shoot_page(session.installation.path("output", "tallyvane.htm"), out)
    except harness.HarnessError as error:
        return harness.report_failure(error)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
