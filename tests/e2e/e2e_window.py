# One walk through the real program's window, and the files it leaves behind: first run with the
# configuration dialog, a scan of examples/game, Generate HTML, Upload HTML to a local FTP
# server, then over FTP with TLS and over SFTP with the new server put to the user, a second start
# of the same installation while the first runs, Clean Database, About and Quit; then a start from
# an installation folder the program cannot write to.
# Arguments: the built program, tallyvane-createdb, the source tree, then any launcher's words.
import os, re, subprocess, sys, time  # noqa: E401
from pathlib import Path
from tempfile import TemporaryDirectory

# beside this script
from harness import ADD, APPLY, DIALOG, FTP_PASSWORD, FTP_USER, MAIN, NOBODY, TIMEOUT
from harness import Session, wait_for

STATUS, MESSAGE = r"^tallyvane\.ui: status: ", r"^tallyvane\.ui: message: "
UPLOADED = "HTML file successfully uploaded!$"
REFUSED = re.escape("Error. Check your FTP settings and try again.") + "$"
RECORDS, NICKNAME = 5, "Kestrel"
# name: (games, kills, times killed), counted by hand from examples/game: log 4 is a cooperative
# game and is skipped; log 6 stops at "Delta 6 Actual". A clan tag's brackets become blanks.
PLAYERS = {"Kestrel": (8, 33, 5), " NSR Viper": (5, 19, 3), "Big Bad Bob": (5, 15, 3),
           " NSR Ghost": (4, 14, 2), "Lone Wolf": (6, 23, 2), " DOG Rex": (5, 9, 4),
           "Mad Max": (5, 12, 4), "Sarge": (4, 5, 4), "Nomad": (4, 3, 4)}
# A cell of the page's table; a row is name, skill, accuracy, kills, killed, hit %, rounds, games.
CELL = r'<td width="(?:129|65)"><font size="2" face="Arial">(.*)</font></td>\r\n'


step = lambda text: print("e2e_window:", text, flush=True)  # what the walk has shown, one line each


def wine(*words):  # a Windows command's exit status
    done = subprocess.run(["wine", *words], env=session.env, timeout=120, capture_output=True)
    return done.returncode


# Gives a command of the main window and waits for the status line outcome. A box titled title that
# asks question is answered with key; without one, no box may come.
def command(name, outcome, title=None, question="", key="Return"):
    since = first.seen
    session.click("Tallyvane", MAIN[name])
    if title:
        first.expect(MESSAGE + re.escape(title) + r" \| " + question)
        session.answer(title, key)
    first.expect(STATUS + outcome)
    assert title or not re.search(MESSAGE, first.output()[since:first.seen], re.M), f"{name} asked"


# Sets values in the configuration dialog, then clicks points there and Apply.
def configure(values, *points):
    session.click("Tallyvane", MAIN["Configuration"])
    session.fill(values)
    for point in (*points, APPLY):
        session.click(DIALOG, point)
    session.closed(DIALOG)


# The page, its rows checked against PLAYERS; returns it and its names.
def table():
    page = session.read("output", "tallyvane.htm")
    cells = re.findall(CELL, page.decode("cp1252"))
    rows = {cells[i]: tuple(int(cells[i + j]) for j in (7, 3, 4)) for i in range(0, len(cells), 8)}
    assert len(rows) == RECORDS and rows.items() <= PLAYERS.items(), cells
    return page, list(rows)


with TemporaryDirectory(prefix="tallyvane-e2e-") as root, \
        Session(root, *sys.argv[1:4], sys.argv[4:]) as session:
    first = session.start()
    if session.wine:
        session.fill({})
        session.choose("C", session.game_path.split("\\")[1:])
    session.fill({**({} if session.wine else {"txtPath": session.game_path}), "txtScan": "120",
                  "txtRecords": str(RECORDS), "txtNickname": NICKNAME, "txtFTPaddress": "127.0.0.1",
                  "txtFTPport": str(session.ftp_port), "txtFTPusername": FTP_USER,
                  "txtFTPpw": FTP_PASSWORD, "txtFTPfile": "/stats.htm"})
    session.click(DIALOG, APPLY)
    first.expect(STATUS + r"Tallyvane configured\.$")
    main = session.window("Tallyvane")
    command("Statistics Scan", "Status scan successful at ", "Error",
            r"Error #: 13\|Description: .*This log will be skipped")
    command("Generate HTML", r"HTML generation successful\.$")
    command("Upload HTML", UPLOADED)
    page, ranked = table()
    assert Path(session.home, "stats.htm").read_bytes() == page, "the upload differs from the page"

    # A name never ranked, in other letters, leaves the page, which still lists as many players.
    assert "Lone Wolf" in ranked, ranked
    configure({"txtNeverRanked": "lone wolf"}, *ADD)
    command("Generate HTML", r"HTML generation successful\.$")
    page, ranked = table()
    assert "Lone Wolf" not in ranked, ranked
    assert b"never ranked: lone wolf" in session.read("ranking.txt"), "ranking.txt"
    step("the Ranking tab left a name never ranked out of the page")

    # Over TLS and over SFTP to a server with an Ed25519 host key alone, a new server is put to the
    # user with its key's fingerprint: No (asked of TLS, with Esc and with the default button)
    # refuses and remembers nothing, Yes remembers the key and uploads, a server that shows another
    # key is refused, and the known server is asked nothing.
    sh = lambda line: subprocess.check_output(line, shell=True, text=True, cwd=f"{root}/proftpd")
    tls_key = sh("openssl x509 -in tls.crt -pubkey -noout | openssl pkey -pubin -outform der"
                 " | openssl sha256 -binary | base64").rstrip("=\n")
    ssh_key = sh("ssh-keygen -l -E sha256 -f ed25519.key").split()[1]
    other_key = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIEivNhxjJKPowveHVC0gdAI49WqiKKHgAhSaPNiPxIqJ"
    for protocol, port, known, fingerprint, other, answers in (
            ("FTP over TLS", session.proftpd["ftp"], "known_tls_hosts", "SHA256:" + tls_key,
             f"sha256//{'B' * 43}=", ("Escape", "Return", "y")),
            ("SFTP", session.proftpd["ed25519"], "known_hosts", ssh_key, other_key, "y")):
        configure({"cboFTPprotocol": protocol, "txtFTPport": str(port), "txtFTPfile": "page.htm"})
        shown, known = re.escape(fingerprint) + r"\|", Path(session.path(known))
        uploaded = Path(session.proftpd_home, "page.htm")
        for answer in answers:
            yes = answer == "y"
            command("Upload HTML", UPLOADED if yes else REFUSED, "Unknown Server",
                    r".*\|SHA-256 fingerprint of its [^|]*key:\|" + shown, answer)
            assert known.exists() == yes and uploaded.exists() == yes, f"{known} after {answer!r}"
            step(f"{protocol}: asked about the new server ({fingerprint}), answered "
                 + ("Yes: page uploaded" if yes else f"{answer}: refused"))
        assert uploaded.read_bytes() == page, f"the upload over {protocol} differs from the page"
        uploaded.unlink()
        remembered = known.read_text()
        known.write_text(f"[127.0.0.1]:{port} {other}\n")
        command("Upload HTML", REFUSED, "Server Identity Changed",
                rf"The identity of the server 127\.0\.0\.1:{port} has changed.*\|" + shown)
        step(f"{protocol}: a changed key refused")
        known.write_text(remembered)
        command("Upload HTML", UPLOADED)
        assert uploaded.read_bytes() == page, f"the upload over {protocol} differs from the page"
        uploaded.unlink()
        step(f"{protocol}: the known server asked nothing, page uploaded")

    # A second start of this installation brings the first to the front and changes no file.
    before = session.files()
    session.spawn("xlogo", "-geometry", "1024x768", env=session.env, stderr=subprocess.DEVNULL)
    cover = session.window("xlogo")
    second = session.start()
    folder = session.native(session.installation)
    second.expect(MESSAGE + re.escape(f"Tallyvane | Tallyvane is already running from {folder}.|"))
    box = wait_for(lambda: set(session.windows("Tallyvane")) - {main}, "the second box").pop()
    above = lambda order: order.index(main) > order.index(cover)  # bottom first
    wait_for(lambda: above(session.xdotool("search", "--onlyvisible", ".")), "the first in front")
    session.press(box, "Return")
    assert second.wait(TIMEOUT) == 2 and first.poll() is None and session.files() == before
    if session.wine:
        # Neither the setup nor the uninstaller touches a running Tallyvane (3), nor installs where
        # it cannot write (4); Wine quotes a folder with blanks, which /D= refuses.
        uninstaller = session.path("uninstall.exe")
        assert wine(sys.argv[1], "/S") == wine(uninstaller, "/S", "_?=" + folder) == 3
        assert first.poll() is None and session.files() == before
        assert wine(sys.argv[1], "/S", r"/D=C:\windows\Tallyvane") == 4
        assert not os.path.exists(os.path.join(session.drive, "windows", "Tallyvane"))
        manifest = re.search(rb"(?s)<assembly.*?</assembly>", Path(session.program).read_bytes())[0]
        for part in (b'level="asInvoker"', b"PerMonitorV2", b"<longPathAware",
                     b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
            assert part in manifest, manifest
        step("setup and uninstaller refused a running Tallyvane, setup refused the Windows folder;"
             " the manifest is in the program")

    command("Clean Database", r"Database successfully erased\.$", "Clean Database",
            re.escape("This will delete all player records in the database. Proceed?"))
    session.click("Tallyvane", MAIN["About"])
    if session.wine:
        session.click("About Tallyvane", (5310, 3765))  # System Info...
        session.window("Untitled - Notepad")
        wine("taskkill", "/f", "/im", "notepad.exe")
    session.click("About Tallyvane", (5310, 3255))  # OK
    session.closed("About Tallyvane")
    session.click("Tallyvane", MAIN["Quit"])
    assert first.wait(TIMEOUT) == 0

    # The port is kept as an Int16; the protocol last set is SFTP.
    assert session.read("statConf.txt") == "".join(f"{value}\r\n" for value in (
        session.game_path, " 120", f" {RECORDS}", NICKNAME, "127.0.0.1", FTP_USER, FTP_PASSWORD,
        f" {port}" if port < 32768 else port - 65536, "page.htm", "SFTP")).encode()
    stamps = "".join(time.strftime("#%F %T#\r\n", time.localtime(t)) for t in session.log_times)
    assert session.read("dateStamps.txt") == stamps.encode(), "wrong stamps"
    left = {Path(session.program).name, *["uninstall.exe"] * session.wine, "output", "ranking.txt",
            "dateStamps.txt", "known_hosts", "known_tls_hosts", "statConf.txt", "tallyvane.mdb"}
    assert set(os.listdir(session.installation)) == left, os.listdir(session.installation)
    assert os.listdir(session.path("output")) == ["tallyvane.htm"]
    if session.wine:
        step("left out under Wine: a folder the program cannot write to"
             " (Wine keeps no Unix permissions to refuse one)")
        sys.exit(print("e2e_window: passed under Wine"))

    # A folder the program cannot write to is no sign of a running copy; its files stay writable.
    before = session.files()
    os.chmod(session.root, 0o755)  # open to all on the way to the installation
    for name in before if NOBODY else ():  # nobody owns the files but not the folder
        os.chown(session.path(name), 65534, 65534)
    os.chmod(session.installation, 0o555)
    third = session.start(**NOBODY)
    unwritable = f"Tallyvane | Tallyvane cannot write to its folder {session.installation}: "
    third.expect(MESSAGE + re.escape(unwritable))
    session.answer("Tallyvane", "Return")
    assert third.wait(TIMEOUT) == 1 and session.files() == before
print("e2e_window: passed")
