# The program without its window, as a scheduler runs it: the real executable with no display, on
# an installation configured for examples/game (its faulty log made a cooperative game) and a local
# FTP server. Arguments: the built program, tallyvane-createdb and the source tree.
import os, re, shlex, shutil, sqlite3, subprocess, sys, tempfile  # noqa: E401
from pathlib import Path

import harness  # beside this script

STATUS = r"^tallyvane\.ui: status: "


def configure(session, port=None, protocol=()):  # the port kept as an Int16
    port, remote = (port, "stats.htm") if port else (session.ftp_port, "/stats.htm")
    Path(session.path("statConf.txt")).write_bytes("\r\n".join((session.game, " 300", " 5", "Kestrel", "127.0.0.1",
        harness.FTP_USER, harness.FTP_PASSWORD, f"{port - 65536 * (port > 32767): d}", remote, *protocol, "")).encode())


def run(session, *args, status, out="", err="", terminal=None, **options):  # typing what terminal holds, in a terminal
    env = {k: v for k, v in session.env.items() if k not in ("DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES")}
    command = ["script", "-qec", shlex.join([session.program, *args]), "/dev/null"] if terminal else [session.program, *args]
    done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=harness.TIMEOUT, input=terminal, **options)
    assert (done.returncode == status and re.search(out, done.stdout, re.M) and re.search(err, done.stderr, re.M)), (args, done)


def page(session):  # the page without its line of the time of update
    return re.sub(rb"\d\d/\d\d/\d\d \d\d:\d\d:\d\d", b"", Path(session.path("output", "tallyvane.htm")).read_bytes())


with tempfile.TemporaryDirectory(prefix="tallyvane-cli-") as root, harness.Session(root, *sys.argv[1:4]) as session:
    shutil.copy(os.path.join(session.game, "RSRESULTS4.log"), os.path.join(session.game, "RSRESULTS6.log"))
    run(session, "--scna", status=4, err=r"^Unknown option 'scna'\.\nUsage: tallyvane ")
    run(session, "--scan", status=3, err="not configured yet")
    configure(session)
    run(session, "--scan", status=0, out=r"\AStatus scan successful at .*\n\Z")  # the step's final status alone
    for words in (["--help"], ["--help-all"], ["--version"]):
        run(session, *words, status=0, out="--scan" if words[0] != "--version" else r"^Tallyvane Version \d")
    for words in (["--dir", session.installation], ["--scan", "stray"]):  # nothing to do; a word that is no option
        run(session, *words, status=4, err="^Usage: tallyvane")
    empty = os.path.join(root, "empty")
    os.mkdir(empty)
    run(session, "--dir", empty, "--scan", status=1, err=r"^There is no Tallyvane installation in ")
    assert os.listdir(empty) == [], "a lock file went into a folder that is no installation"

    # A reader that goes at once: the scan is done whole, and the next one counts no game twice.
    players = lambda: sqlite3.connect(session.path("tallyvane.mdb")).execute("SELECT * FROM tblPlayer ORDER BY fldName").fetchall()
    counted = players()
    with sqlite3.connect(session.path("tallyvane.mdb")) as db:
        db.execute("DELETE FROM tblPlayer"), db.execute("DELETE FROM tblStamp")
    Path(session.path("dateStamps.txt")).write_bytes(b"")
    reader = subprocess.Popen([session.program, "--scan"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=session.env)
    reader.stdout.close()
    assert reader.wait(harness.TIMEOUT) == 1 and b"standard output was closed" in reader.stderr.read(), "a closed pipe"
    run(session, "--scan", status=0)
    assert players() == counted, "a scan cut off by its reader lost or doubled games"

    window = session.start()  # holds the installation: a run beside it changes nothing
    window.expect(STATUS + "Status scan successful at ")
    session.click("Tallyvane", harness.MAIN["Generate HTML"])
    window.expect(STATUS + r"HTML generation successful\.$")
    before = {name: Path(session.path(name)).read_bytes() for name in ("statConf.txt", "dateStamps.txt", "tallyvane.mdb")}
    run(session, "--scan", "--generate", status=2, err="already running from")
    assert before == {name: Path(session.path(name)).read_bytes() for name in before}
    by_window = page(session)
    session.click("Tallyvane", harness.MAIN["Quit"])
    assert window.wait(harness.TIMEOUT) == 0

    run(session, "--generate", "--upload", status=0, out=r"\AStatus scan successful at .*\nHTML generation successful\.\nHTML file successfully uploaded!\n\Z")
    assert page(session) == by_window and Path(session.home, "stats.htm").read_bytes() == Path(
        session.path("output", "tallyvane.htm")).read_bytes()
    configure(session, session.proftpd["sftp"], ["SFTP"])  # no one at a terminal to trust it
    configured = os.stat(session.path("statConf.txt")).st_mtime_ns
    run(session, "--upload", status=1, out=r"^Error\. Check your FTP settings and try again\.$",
        err=r"^Unknown Server: The server 127\.0\.0\.1:\d+ is not known yet\.(.*\n)*Tallyvane: the upload failed")
    assert not os.path.exists(session.path("known_hosts"))
    for answer in ("n\n", "\n"):  # No, and Enter, which answers No too
        run(session, "--upload", status=1, terminal=answer, out=r"\[y/N\] (.*\n)*Error\. Check your FTP settings")
        assert not os.path.exists(session.path("known_hosts")), f"remembered after {answer!r}"
    run(session, "--upload", status=0, terminal="y\n", out=r"is not known yet\.(.*\n)*\[y/N\] (.*\n)*HTML file successfully uploaded!$")
    assert Path(session.proftpd_home, "stats.htm").read_bytes() == Path(session.path("output", "tallyvane.htm")).read_bytes()
    os.utime(os.path.join(session.game, "RSRESULTS9.log"))  # rewritten while another program holds the database
    with sqlite3.connect(session.path("tallyvane.mdb"), isolation_level=None) as db:
        db.execute("BEGIN EXCLUSIVE")
        run(session, "--dir", session.installation, "--scan", status=1, err=r"^Error: Error imp#: 3260\n")
        db.execute("ROLLBACK")
    # Another installation, named by --dir: --generate scans it first, and the program's own stays as it was.
    other, own = os.path.join(root, "other"), {name: Path(session.path(name)).read_bytes() for name in ("dateStamps.txt", "tallyvane.mdb")}
    shutil.copytree(session.installation, other, ignore=shutil.ignore_patterns("tallyvane", "*.lock"))
    Path(other, "dateStamps.txt").write_bytes(b"")
    os.remove(os.path.join(other, "output", "tallyvane.htm"))
    run(session, "--dir", other, "--generate", status=0, out=r"\AStatus scan successful at .*\nHTML generation successful\.\n\Z")
    assert Path(other, "dateStamps.txt").read_bytes() != b"" and os.path.exists(os.path.join(other, "output", "tallyvane.htm"))
    assert own == {name: Path(session.path(name)).read_bytes() for name in own}, "--dir worked on the program's own folder"
    # A scan that fails is not forgotten when the page after it is written.
    os.rename(os.path.join(session.game, "RSRESULTS7.log"), os.path.join(session.game, "gone.log"))
    run(session, "--scan", "--generate", status=1, out=r"\AStatus scan failed at .*\nHTML generation successful\.",
        err=r"the scan stopped at a missing file, .*RSRESULTS7\.log\.")
    Path(other, "statConf.txt").write_bytes(b"/g\r\n 300\r\n")  # damaged: two lines
    run(session, "--dir", other, "--scan", status=1, err="could not be loaded")
    # A folder the run cannot write to (as nobody, where the suite runs as root, who writes anywhere).
    os.chmod(root, 0o755), os.chmod(other, 0o555)
    user = {"preexec_fn": lambda: (os.setgid(65534), os.setuid(65534))} if os.geteuid() == 0 else {}
    run(session, "--dir", other, "--scan", status=1, err="cannot write to its folder", **user)
    assert os.stat(session.path("statConf.txt")).st_mtime_ns == configured, "a run wrote statConf.txt"
print("command_line: passed")
