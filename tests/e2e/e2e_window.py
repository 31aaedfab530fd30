# One walk through the real program's window, and the files it leaves behind: first run with the
# configuration dialog, a scan of examples/game, Generate HTML, Upload HTML to a local FTP
# server, then over FTP with TLS and over SFTP with the new server put to the user, a second start of the same installation while the first runs, Clean Database, About
# and Quit; then a start from an installation folder the program cannot write to.
# Arguments: the built program, tallyvane-createdb, the source tree, then any launcher's words.
import os, re, sqlite3, subprocess, sys, tempfile, time  # noqa: E401
from pathlib import Path

import harness  # beside this script

STATUS, MESSAGE = r"^tallyvane\.ui: status: ", r"^tallyvane\.ui: message: "
FAILED = "Error. Check your FTP settings and try again."
RECORDS, NICKNAME = 5, "Kestrel"
# name: (games, kills, times killed), counted by hand from examples/game: log 4 is a cooperative
# game and is skipped; log 6 stops at "Delta 6 Actual". A clan tag's brackets become blanks.
PLAYERS = {"Kestrel": (8, 33, 5), " NSR Viper": (5, 19, 3), "Big Bad Bob": (5, 15, 3), " NSR Ghost": (4, 14, 2),
           "Lone Wolf": (6, 23, 2), " DOG Rex": (5, 9, 4), "Mad Max": (5, 12, 4), "Sarge": (4, 5, 4), "Nomad": (4, 3, 4)}


def step(text):  # what the walk has shown, one line each
    print("e2e_window:", text, flush=True)


def files(session):  # the installation's files: content and time of change
    return {name: (Path(session.path(name)).read_bytes(), os.stat(session.path(name)).st_mtime_ns)
            for name in os.listdir(session.installation) if os.path.isfile(session.path(name))}


with tempfile.TemporaryDirectory(prefix="tallyvane-e2e-") as root, harness.Session(root, *sys.argv[1:4], sys.argv[4:]) as session:
    if session.wine:  # System Info starts the tool the registry names
        subprocess.run(["wine", "reg", "add", r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO", "/v", "PATH", "/d",
                        r"C:\windows\notepad.exe", "/f"], env=session.env, check=True, capture_output=True)
    first = session.start()
    if session.wine:
        session.fill({})
        session.choose("C", session.game_path.split("\\")[1:])
    session.fill({**({} if session.wine else {"txtPath": session.game_path}), "txtScan": "120", "txtRecords": str(RECORDS), "txtNickname": NICKNAME,
                  "txtFTPaddress": "127.0.0.1", "txtFTPport": str(session.ftp_port), "txtFTPusername": harness.FTP_USER,
                  "txtFTPpw": harness.FTP_PASSWORD, "txtFTPfile": "/stats.htm"})
    session.click(harness.DIALOG, harness.APPLY)
    first.expect(STATUS + r"Tallyvane configured\.$")
    main = session.window("Tallyvane")
    session.click("Tallyvane", harness.MAIN["Statistics Scan"])
    first.expect(MESSAGE + r"Error \| Error #: 13\|Description: .*This log will be skipped")
    session.answer("Error", "Return")
    first.expect(STATUS + "Status scan successful at ")

    session.click("Tallyvane", harness.MAIN["Generate HTML"])
    first.expect(STATUS + r"HTML generation successful\.$")
    session.click("Tallyvane", harness.MAIN["Upload HTML"])
    first.expect(STATUS + "HTML file successfully uploaded!$")
    page = Path(session.path("output", "tallyvane.htm")).read_bytes()
    assert Path(session.home, "stats.htm").read_bytes() == page, "the upload differs from the page"
    cells = re.findall(r'<td width="(?:129|65)"><font size="2" face="Arial">(.*)</font></td>\r\n', page.decode("cp1252"))
    rows = [cells[i:i + 8] for i in range(0, len(cells), 8)]  # name, skill, accuracy, kills, killed, hit %, rounds, games
    assert len(rows) == RECORDS and all(PLAYERS[row[0]] == (int(row[7]), int(row[3]), int(row[4])) for row in rows), rows

    # A name never ranked, in other letters, leaves the page, which still lists as many players.
    session.click("Tallyvane", harness.MAIN["Configuration"])
    session.fill({"txtNeverRanked": "lone wolf"})
    for point in harness.ADD:
        session.click(harness.DIALOG, point)
    session.click(harness.DIALOG, harness.APPLY)
    harness.wait_for(lambda: not session.windows(harness.DIALOG), "the dialog to close")
    session.click("Tallyvane", harness.MAIN["Generate HTML"])
    first.expect(STATUS + r"HTML generation successful\.$")
    ranked = re.findall(r'<td width="129"><font size="2" face="Arial">(.*)</font></td>', Path(session.path("output", "tallyvane.htm")).read_text("cp1252"))
    assert len(ranked) == RECORDS and "Lone Wolf" not in ranked and set(ranked) < set(PLAYERS), ranked
    assert "never ranked: lone wolf" in Path(session.path("ranking.txt")).read_text(), "ranking.txt"
    page = Path(session.path("output", "tallyvane.htm")).read_bytes()
    step("the Ranking tab left a name never ranked out of the page")

    # Over TLS and over SFTP to a server with an Ed25519 host key alone, a new server is put to the user with its
    # key's fingerprint: No (asked of TLS, with Esc and with the default button) refuses and remembers nothing, Yes remembers the key and uploads, a
    # server that shows another key is refused, and the known server is asked nothing.
    proftpd = os.path.join(root, "proftpd")
    tls_key = subprocess.run(f"openssl x509 -in {proftpd}/tls.crt -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64",
                             shell=True, check=True, capture_output=True, text=True).stdout.strip().rstrip("=")
    ssh_key = subprocess.run(["ssh-keygen", "-l", "-E", "sha256", "-f", f"{proftpd}/ed25519.key"], check=True, capture_output=True, text=True).stdout.split()[1]
    other_key = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIEivNhxjJKPowveHVC0gdAI49WqiKKHgAhSaPNiPxIqJ"
    for protocol, line, port, known, fingerprint, other in (
            ("FTP over TLS", "FTPS", session.proftpd["ftp"], "known_tls_hosts", "SHA256:" + tls_key, f"sha256//{'B' * 43}="),
            ("SFTP", "SFTP", session.proftpd["ed25519"], "known_hosts", ssh_key, other_key)):
        session.click("Tallyvane", harness.MAIN["Configuration"])
        session.fill({"cboFTPprotocol": protocol, "txtFTPport": str(port), "txtFTPfile": "page.htm"})
        session.click(harness.DIALOG, harness.APPLY)
        harness.wait_for(lambda: not session.windows(harness.DIALOG), "the dialog to close")
        question = MESSAGE + r"Unknown Server \| .*\|SHA-256 fingerprint of its [^|]*key:\|" + re.escape(fingerprint) + r"\|"
        for answer in ("Escape", "Return", "y") if line == "FTPS" else "y":  # Esc and the default button answer No
            session.click("Tallyvane", harness.MAIN["Upload HTML"])
            first.expect(question)
            session.answer("Unknown Server", answer)
            first.expect(STATUS + ("HTML file successfully uploaded!$" if answer == "y" else re.escape(FAILED) + "$"))
            assert os.path.exists(session.path(known)) == (answer == "y"), f"{known} after {answer!r}"
            step(f"{protocol}: asked about the new server ({fingerprint}), answered {'Yes: page uploaded' if answer == 'y' else answer + ': refused'}")
        assert Path(session.proftpd_home, "page.htm").read_bytes() == page, f"the upload over {protocol} differs from the page"
        os.remove(os.path.join(session.proftpd_home, "page.htm"))
        remembered = Path(session.path(known)).read_text()
        Path(session.path(known)).write_text(f"[127.0.0.1]:{port} {other}\n")
        session.click("Tallyvane", harness.MAIN["Upload HTML"])
        first.expect(MESSAGE + r"Server Identity Changed \| The identity of the server 127\.0\.0\.1:\d+ has changed.*\|" + re.escape(fingerprint) + r"\|")
        session.answer("Server Identity Changed", "Return")
        first.expect(STATUS + re.escape(FAILED) + "$")
        step(f"{protocol}: a changed key refused")
        Path(session.path(known)).write_text(remembered)
        since = first.seen
        session.click("Tallyvane", harness.MAIN["Upload HTML"])
        first.expect(STATUS + "HTML file successfully uploaded!$")
        assert not re.search(MESSAGE, Path(first.log).read_text(errors="replace")[since:first.seen], re.M), f"a known {protocol} server asked"
        step(f"{protocol}: the known server asked nothing, page uploaded")

    # A second start of this installation brings the first to the front and changes no file.
    before = files(session)
    session.processes.append(subprocess.Popen(["xlogo", "-geometry", "1024x768"], env=session.env, stderr=subprocess.DEVNULL))
    cover = session.window("xlogo")
    second = session.start()
    second.expect(MESSAGE + re.escape(f"Tallyvane | Tallyvane is already running from {session.native(session.installation)}.|"))
    box = harness.wait_for(lambda: set(session.windows("Tallyvane")) - {main}, "the second start's message").pop()
    harness.wait_for(lambda: (lambda order: order.index(main) > order.index(cover))(session.xdotool(
        "search", "--onlyvisible", "--name", ".")), "the first program's window to come to the front")
    session.press(box, "Return")
    assert second.wait(harness.TIMEOUT) == 2 and first.poll() is None and files(session) == before
    if session.wine:  # neither the setup nor the uninstaller touches a running Tallyvane (3), nor installs where it cannot write (4)
        wine = lambda *command: subprocess.run(["wine", *command], env=session.env, timeout=120, capture_output=True).returncode
        uninstaller = [session.path("uninstall.exe"), "/S", "_?=" + session.native(session.installation)]
        assert (wine(sys.argv[1], "/S"), wine(*uninstaller)) == (3, 3) and first.poll() is None and files(session) == before
        assert wine(sys.argv[1], "/S", r"/D=C:\windows\Tallyvane") == 4  # (wine quotes a folder with blanks, which /D= refuses)
        assert not os.path.exists(os.path.join(session.root, "wine", "drive_c", "windows", "Tallyvane"))
        manifest = re.search(rb"<assembly.*?</assembly>", Path(session.program).read_bytes(), re.S)[0]
        assert all(part in manifest for part in (b'level="asInvoker"', b"PerMonitorV2", b"<longPathAware", b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")), manifest
        step("setup and uninstaller refused a running Tallyvane, setup refused the Windows folder; the manifest is in the program")

    session.click("Tallyvane", harness.MAIN["Clean Database"])
    first.expect(MESSAGE + re.escape("Clean Database | This will delete all player records in the database. Proceed?"))
    session.answer("Clean Database", "Return")
    first.expect(STATUS + r"Database successfully erased\.$")
    assert sqlite3.connect(session.path("tallyvane.mdb")).execute("SELECT COUNT(*) FROM tblPlayer").fetchone() == (0,)
    session.click("Tallyvane", harness.MAIN["About"])
    if session.wine:
        session.click("About Tallyvane", (5310, 3765))  # System Info...
        session.window("Untitled - Notepad")
        subprocess.run(["wine", "taskkill", "/f", "/im", "notepad.exe"], env=session.env, capture_output=True)
    session.click("About Tallyvane", (5310, 3255))  # OK
    harness.wait_for(lambda: not session.windows("About Tallyvane"), "the About box to close")
    session.click("Tallyvane", harness.MAIN["Quit"])
    assert first.wait(harness.TIMEOUT) == 0

    assert Path(session.path("statConf.txt")).read_bytes() == "".join(f"{value}\r\n" for value in (  # the port as an Int16
        session.game_path, " 120", f" {RECORDS}", NICKNAME, "127.0.0.1", harness.FTP_USER, harness.FTP_PASSWORD,
        f" {port}" if port < 32768 else port - 65536, "page.htm", line)).encode()
    assert Path(session.path("dateStamps.txt")).read_bytes() == "".join(time.strftime(
        "#%Y-%m-%d %H:%M:%S#\r\n", time.localtime(stamp)) for stamp in session.log_times).encode(), "wrong stamps"
    assert sorted(os.listdir(session.installation)) == sorted([os.path.basename(session.program), "dateStamps.txt",
        "known_hosts", "known_tls_hosts", "output", "ranking.txt", "statConf.txt", "tallyvane.mdb"] + ["uninstall.exe"] * session.wine), os.listdir(session.installation)
    assert os.listdir(session.path("output")) == ["tallyvane.htm"]
    if session.wine:  # Wine keeps no Unix permissions of its own to refuse a folder with
        step("left out under Wine: a folder the program cannot write to (Wine keeps no Unix permissions to refuse one)")
        sys.exit(print("e2e_window: passed under Wine"))

    # A folder the program cannot write to is no sign of a running copy; its files stay writable.
    before, options = files(session), {}
    os.chmod(session.root, 0o755)  # open to all on the way to the installation
    if os.geteuid() == 0:  # root writes anywhere: run as nobody, who owns the files but not the folder
        for name in before:
            os.chown(session.path(name), 65534, 65534)
        options["preexec_fn"] = lambda: (os.setgid(65534), os.setuid(65534))
    os.chmod(session.installation, 0o555)
    third = session.start(**options)
    third.expect(MESSAGE + re.escape(f"Tallyvane | Tallyvane cannot write to its folder {session.installation}: "))
    session.answer("Tallyvane", "Return")
    assert third.wait(harness.TIMEOUT) == 1 and files(session) == before
print("e2e_window: passed")
