#!/usr/bin/python3
# A ProFTPD server for the tests (configured by proftpd.conf.in beside this script), on
# 127.0.0.1 only, with one virtual user, a throwaway TLS certificate and SSH host key: plain FTP
# with TLS offered, FTP that requires TLS, SFTP with an RSA host key, and SFTP with an Ed25519
# host key alone (no ssh-rsa, as current OpenSSH servers).
# Arguments: folder, user, password. The folder receives the keys, the configuration, the log and
# "home", the user's directory; in "home/cutoff" an upload is cut off after 10 KB, and
# "home/norename" allows no renaming.
# Prints "ftp=PORT tls=PORT sftp=PORT ed25519=PORT" once all listen, and stops the server when
# its standard input closes or it is terminated.
import grp, os, pwd, signal, socket, subprocess, sys, time

folder, user, password = sys.argv[1:4]
home = os.path.join(folder, "home")
for folder_name in ("cutoff", "norename"):
    os.makedirs(os.path.join(home, folder_name), exist_ok=True)


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout.strip()


run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=tallyvane-test",
    "-keyout", f"{folder}/tls.key", "-out", f"{folder}/tls.crt")
run("openssl", "genrsa", "-traditional", "-out", f"{folder}/host.key", "2048")
run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", f"{folder}/ed25519.key")
open(f"{folder}/users", "w").write(f"{user}:{run('openssl', 'passwd', '-6', password)}:{os.getuid()}:{os.getgid()}::{home}:/bin/sh\n")
for name in ("tls.key", "host.key", "ed25519.key", "users"):
    os.chmod(f"{folder}/{name}", 0o600)

sockets = [socket.create_server(("127.0.0.1", 0)) for _ in range(4)]
ftp, tls, sftp, ed25519 = (s.getsockname()[1] for s in sockets)
for s in sockets:
    s.close()
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "proftpd.conf.in")) as template:
    open(f"{folder}/proftpd.conf", "w").write(template.read().format(
        ftp=ftp, tls=tls, sftp=sftp, ed25519=ed25519, folder=folder, home=home,
        user=pwd.getpwuid(os.getuid()).pw_name, group=grp.getgrgid(os.getgid()).gr_name))

server = subprocess.Popen(["proftpd", "--nodaemon", "--config", f"{folder}/proftpd.conf"],
                          stdout=subprocess.DEVNULL, stderr=open(f"{folder}/proftpd.out", "w"))


def listening(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


deadline = time.monotonic() + 30
while not all(map(listening, (ftp, tls, sftp, ed25519))):
    if server.poll() is not None or time.monotonic() > deadline:
        sys.exit("proftpd did not start: " + open(f"{folder}/proftpd.out").read())
    time.sleep(0.05)
print(f"ftp={ftp} tls={tls} sftp={sftp} ed25519={ed25519}", flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
try:
    sys.stdin.read()
finally:
    server.terminate()
    server.wait()
