# The program without its window, as a scheduler runs it: the real executable with no display, on
# an installation configured for examples/game (its faulty log made a cooperative game) and a local
# FTP server. Arguments: the built program, tallyvane-createdb and the source tree.
import os, re, shlex, shutil, sqlite3, subprocess, sys  # noqa: E401
from pathlib import Path
from subprocess import PIPE
from tempfile import TemporaryDirectory

# beside this script
from harness import FTP_PASSWORD, FTP_USER, MAIN, NOBODY, TIMEOUT, Session

STATUS = r"^tallyvane\.ui: status: "
SCANNED, GENERATED = r"\AStatus scan successful at .*\n", r"HTML generation successful\.\n"
UPLOADED = r"HTML file successfully uploaded!$"
FAILED = r"Error\. Check your FTP settings and try again\.$"


def configure(port, remote, *protocol):  # the port kept as an Int16
    lines = (session.game, " 300", " 5", "Kestrel", "127.0.0.1", FTP_USER, FTP_PASSWORD,
             f"{port - 65536 * (port > 32767): d}", remote, *protocol, "")
    Path(session.path("statConf.txt")).write_bytes("\r\n".join(lines).encode())


# Runs the program without a display, typing what terminal holds in a terminal if it is given, and
# checks its exit status and that its output and errors match the patterns out and err.
def run(*words, status=0, out="", err="", terminal=None, **options):
    unset = ("DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES")
    env = {name: value for name, value in session.env.items() if name not in unset}
    command = [session.program, *words]
    command = ["script", "-qec", shlex.join(command), "/dev/null"] if terminal else command
    done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=TIMEOUT,
                          input=terminal, **options)
    assert done.returncode == status and re.search(out, done.stdout, re.M) \
        and re.search(err, done.stderr, re.M), (words, done)


def page():  # the page without its line of the time of update
    return re.sub(rb"\d\d/\d\d/\d\d \d\d:\d\d:\d\d", b"", session.read("output", "tallyvane.htm"))


def uploaded(home):  # whether the server got the page
    return Path(home, "stats.htm").read_bytes() == session.read("output", "tallyvane.htm")


with TemporaryDirectory(prefix="tallyvane-cli-") as root, Session(root, *sys.argv[1:4]) as session:
    log = lambda i: os.path.join(session.game, f"RSRESULTS{i}.log")
    shutil.copy(log(4), log(6))
    run("--scna", status=4, err=r"^Unknown option 'scna'\.\nUsage: tallyvane ")
    run("--scan", status=3, err="not configured yet")
    configure(session.ftp_port, "/stats.htm")
    run("--scan", out=SCANNED + r"\Z")  # the step's final status alone
    for option in ("--help", "--help-all", "--version"):
        run(option, out=r"^Tallyvane Version \d" if option == "--version" else "--scan")
    # Nothing to do; a word that is no option.
    for words in (["--dir", session.installation], ["--scan", "stray"]):
        run(*words, status=4, err="^Usage: tallyvane")
    empty = os.path.join(root, "empty")
    os.mkdir(empty)
    run("--dir", empty, "--scan", status=1, err=r"^There is no Tallyvane installation in ")
    assert os.listdir(empty) == [], "a lock file went into a folder that is no installation"

    # A reader that goes at once: the scan is done whole, and the next one counts no game twice.
    # Each statement its own transaction, unless one is begun.
    db = sqlite3.connect(session.path("tallyvane.mdb"), isolation_level=None)
    players = lambda: db.execute("SELECT * FROM tblPlayer ORDER BY fldName").fetchall()
    counted = players()
    db.execute("DELETE FROM tblPlayer"), db.execute("DELETE FROM tblStamp")
    Path(session.path("dateStamps.txt")).write_bytes(b"")
    reader = session.spawn(session.program, "--scan", stdout=PIPE, stderr=PIPE, env=session.env)
    reader.stdout.close()
    assert reader.wait(TIMEOUT) == 1 and b"standard output was closed" in reader.stderr.read()
    run("--scan")
    assert players() == counted, "a scan cut off by its reader lost or doubled games"

    window = session.start()  # holds the installation: a run beside it changes nothing
    window.expect(STATUS + "Status scan successful at ")
    session.click("Tallyvane", MAIN["Generate HTML"])
    window.expect(STATUS + r"HTML generation successful\.$")
    before = session.files()
    run("--scan", "--generate", status=2, err="already running from")
    assert session.files() == before
    by_window = page()
    session.click("Tallyvane", MAIN["Quit"])
    assert window.wait(TIMEOUT) == 0

    run("--generate", "--upload", out=SCANNED + GENERATED + UPLOADED + r"\n\Z")
    assert page() == by_window and uploaded(session.home)
    configure(session.proftpd["sftp"], "stats.htm", "SFTP")
    configured = session.files()["statConf.txt"]
    # Asked of no one at a terminal, then answered No, and Enter, which answers No too.
    for answer in (None, "n\n", "\n"):
        out = (r"\[y/N\] (.*\n)*" if answer else "^") + FAILED
        run("--upload", status=1, terminal=answer, out=out, err="" if answer else
            r"^Unknown Server: The server 127\.0\.0\.1:\d+ is not known yet\.(.*\n)*"
            r"Tallyvane: the upload failed")
        assert not os.path.exists(session.path("known_hosts")), f"remembered after {answer!r}"
    run("--upload", terminal="y\n", out=r"is not known yet\.(.*\n)*\[y/N\] (.*\n)*" + UPLOADED)
    assert uploaded(session.proftpd_home)
    os.utime(log(9))  # rewritten while another program holds the database
    db.execute("BEGIN EXCLUSIVE")
    run("--dir", session.installation, "--scan", status=1, err=r"^Error: Error imp#: 3260\n")
    db.execute("ROLLBACK")
    # Another installation, named by --dir: --generate scans it first, and the program's own stays
    # as it was.
    other, own = Path(root, "other"), session.files()
    shutil.copytree(session.installation, other,
                    ignore=shutil.ignore_patterns("tallyvane", "*.lock"))
    (other / "dateStamps.txt").write_bytes(b"")
    (other / "output/tallyvane.htm").unlink()
    run("--dir", other, "--generate", out=SCANNED + GENERATED + r"\Z")
    assert (other / "dateStamps.txt").stat().st_size and (other / "output/tallyvane.htm").exists()
    assert own == session.files(), "--dir worked on the program's own folder"
    # A scan that fails is not forgotten when the page after it is written.
    os.rename(log(7), os.path.join(session.game, "gone.log"))
    run("--scan", "--generate", status=1, out=r"\AStatus scan failed at .*\n" + GENERATED,
        err=r"the scan stopped at a missing file, .*RSRESULTS7\.log\.")
    (other / "statConf.txt").write_bytes(b"/g\r\n 300\r\n")  # damaged: two lines
    run("--dir", other, "--scan", status=1, err="could not be loaded")
    # A folder the run cannot write to.
    os.chmod(root, 0o755), os.chmod(other, 0o555)
    run("--dir", other, "--scan", status=1, err="cannot write to its folder", **NOBODY)
    assert session.files()["statConf.txt"] == configured, "a run wrote statConf.txt"
print("command_line: passed")
