"""The road of one game's results, through the program's own window.

Starts the real program on a fresh installation in a private X server, configures it through
the first-run dialog by clicking and typing, scans the example game directory, generates the
ranking page, uploads it to a local FTP server, answers the Clean Database confirmation with
Cancel and later with OK, opens and closes About and quits; then checks the files the program
left behind. What the program reports is followed through its tallyvane.ui logging category.
"""
import argparse
import os
import re
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SCAN_INTERVAL = "120"
RECORDS = "5"
NICKNAME = "Kestrel"
REMOTE_FILE = "/web/stats.htm"

# name: (games, kills, times killed) counted by hand from examples/game: log 4 is a
# cooperative game and is skipped; log 6 stops at "Delta 6 Actual", after Kestrel and
# Lone Wolf have been counted. A clan tag's brackets become blanks.
EXPECTED_PLAYERS = {
    "Kestrel": (8, 33, 5),
    " NSR Viper": (5, 19, 3),
    "Big Bad Bob": (5, 15, 3),
    " NSR Ghost": (4, 14, 2),
    "Lone Wolf": (6, 23, 2),
    " DOG Rex": (5, 9, 4),
    "Mad Max": (5, 12, 4),
    "Sarge": (4, 5, 4),
    "Nomad": (4, 3, 4),
}
RED = (255, 0, 0)
STATUS = r"^tallyvane\.ui: status: "
MESSAGE = r"^tallyvane\.ui: message: "
ANSWER = r"^tallyvane\.ui: answer: "
UPLOAD_FAILED = STATUS + re.escape("Error. Check your FTP settings and try again.")


def check(condition, what):
    if not condition:
        raise harness.HarnessError(what)


def check_equal(actual, expected, what):
    if actual != expected:
        raise harness.HarnessError(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")


def player_rows(installation):
    return installation.query(
        "SELECT fldName, fldGamesPlayed, fldKills, fldKilled FROM tblPlayer ORDER BY fldName")


def configure(session, program):
    dialog = harness.ConfigurationDialog(program)
    dialog.fill_all({
        "txtPath": session.game,
        "txtScan": SCAN_INTERVAL,
        "txtRecords": RECORDS,
        "txtNickname": NICKNAME,
        "txtFTPaddress": "127.0.0.1",
        "txtFTPport": str(session.ftp.port),
        "txtFTPusername": session.FTP_USER,
        "txtFTPpw": session.FTP_PASSWORD,
        "txtFTPfile": REMOTE_FILE,
    })
    dialog.click("Apply")
    # A refused value would show a validation message instead.
    program.expect(STATUS + re.escape("Tallyvane configured.") + "$", refuse=[MESSAGE])


def scan(program, window):
    window.hover("Statistics Scan")
    harness.wait_for(lambda: window.pixel_of("Statistics Scan") == RED,
                     "Statistics Scan to turn red under the pointer")
    window.click("Statistics Scan")
    program.expect(STATUS + r"Status scan failed at .+\.$")
    # Log 6 holds a player whose name has a number as a part.
    message = program.expect(MESSAGE + r"Error \| (.*)$").group(1)
    check(message.startswith("Error #: 13|Description: ") and "This log will be skipped." in message,
          f"the message about log 6 explains the fault: {message!r}")
    program.answer("Error", "Return")
    program.expect(ANSWER + "OK$")
    program.expect(STATUS + r"Status scan successful at .+\.$", refuse=[MESSAGE])


def generate_and_upload(session, program, window):
    window.click("Generate HTML")
    program.expect(STATUS + re.escape("HTML generation successful.") + "$", refuse=[MESSAGE])
    window.click("Upload HTML")
    program.expect(STATUS + re.escape("HTML file successfully uploaded!") + "$",
                   refuse=[MESSAGE, UPLOAD_FAILED])
    upload_copy = session.installation.path("tv.htm")
    harness.wait_for(lambda: not os.path.exists(upload_copy), "the upload copy to be removed")


def check_page(session):
    page = session.installation.read("output", "tallyvane.htm")
    uploaded_path = os.path.join(session.ftp.home, REMOTE_FILE.lstrip("/"))
    with open(uploaded_path, "rb") as file:
        check_equal(file.read(), page, "the uploaded page equals the generated one")

    text = page.decode("cp1252")
    check(text.endswith("</html>\r\n") and "\n" not in text.replace("\r\n", ""),
          "every line of the page ends with CR LF")
    check(f"{NICKNAME}'s server</font><br>\r\n" in text, "the page names the host")
    cells = re.findall(r'^      <td width="(?:129|65)"><font size="2" face="Arial">(.*)</font></td>\r$',
                       text, re.MULTILINE)
    rows = [tuple(cells[i:i + 8]) for i in range(0, len(cells), 8)]
    ranking = session.installation.query(
        "SELECT fldName, fldSkill, fldAccuracy, fldKills, fldKilled, fldHitPercent, "
        "fldAverageRounds, fldGamesPlayed FROM tblPlayer "
        "ORDER BY fldSkill DESC, fldKills DESC LIMIT " + RECORDS)
    expected = [tuple(str(value) for value in row) for row in ranking]
    check_equal(len(rows), int(RECORDS), "ranking rows on the page (the records setting)")
    check_equal(rows, expected, "the page's ranking rows, best first")
    skills = [int(row[1]) for row in rows]
    check(skills == sorted(skills, reverse=True), f"the page is ranked by skill: {skills}")


def clean(program, window, answer, refuse=()):
    window.click("Clean Database")
    program.expect(MESSAGE + re.escape(
        "Clean Database | This will delete all player records in the database. Proceed?") + "$",
        refuse=refuse)
    program.answer("Clean Database", "Escape" if answer == "Cancel" else "Return")
    program.expect(ANSWER + answer + "$")


def about(program, window):
    window.click("About")
    program.window("About Tallyvane")
    program.answer("About Tallyvane", "Return")


def check_files(session):
    installation = session.installation
    game, port = session.game, session.ftp.port
    expected_config = "\r\n".join([
        game, " " + SCAN_INTERVAL, " " + RECORDS, NICKNAME, "127.0.0.1", session.FTP_USER,
        session.FTP_PASSWORD, f" {port}" if port <= 32767 else str(port - 65536), REMOTE_FILE,
    ]) + "\r\n"
    check_equal(installation.read("statConf.txt"), expected_config.encode("cp1252"),
                "statConf.txt holds the applied values")

    expected_stamps = "".join(moment.strftime("#%Y-%m-%d %H:%M:%S#\r\n")
                              for moment in session.log_times)
    check_equal(installation.read("dateStamps.txt"), expected_stamps.encode("ascii"),
                "dateStamps.txt holds the times of the ten logs")
    for leftover in ("tv.htm", "tempdb.mdb", os.path.join("output", "tallyvane.htm.tmp")):
        check(not os.path.exists(installation.path(leftover)), f"{leftover} is left behind")


def run(args):
    started = time.monotonic()
    with harness.Session(args.program, args.createdb, args.source, keep=args.keep) as session:
        os.makedirs(os.path.join(session.ftp.home, "web"))
        program = session.start()
        program.expect(STATUS + re.escape("Initializing...") + "$")
        configure(session, program)

        window = harness.MainWindow(program)
        check_equal((window.width, window.height), (harness.pixels(3960), harness.pixels(2676)),
                    "the main window's size")
        scan(program, window)
        check_equal(player_rows(session.installation),
                    sorted((name,) + figures for name, figures in EXPECTED_PLAYERS.items()),
                    "the players in the database after the scan")

        generate_and_upload(session, program, window)
        check_page(session)

        clean(program, window, "Cancel")
        about(program, window)
        check_equal(len(player_rows(session.installation)), len(EXPECTED_PLAYERS),
                    "players kept when the clean is cancelled")

        # A cancelled clean leaves the status line as it was.
        clean(program, window, "OK", refuse=[STATUS])
        program.expect(STATUS + re.escape("Database successfully erased.") + "$")
        check_equal(player_rows(session.installation), [], "players left after the clean")

        window.click("Quit")
        check_equal(program.wait_exit(), 0, "the program's exit status")
        check_files(session)
        if args.keep:
            print(f"kept {session.root}")
    print(f"e2e_window: passed in {time.monotonic() - started:.1f} s")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    harness.add_arguments(parser)
    parser.add_argument("--keep", action="store_true", help="keep the temporary directory")
    args = parser.parse_args()
    try:
        return run(args)
    except harness.HarnessError as error:
        return harness.report_failure(error)


if __name__ == "__main__":
    sys.exit(main())
