#!/usr/bin/python3
# A ProFTPD server for the tests (configured by proftpd.conf.in beside this script and the
# virtual hosts below), on 127.0.0.1 only, with one virtual user and throwaway keys: plain FTP
# with TLS offered ("ftp", with the self-signed certificate tls.crt), SFTP with an RSA host key
# ("sftp") and SFTP with an Ed25519 host key alone ("ed25519", no ssh-rsa, as current OpenSSH
# servers); FTP that requires TLS with certificates of a test authority (ca.crt, its revocation
# list ca.crl): one for 127.0.0.1 ("verified"), one for another name, an expired one, a revoked
# one, and one of an authority nobody trusts ("unknownca"); and plain FTP that offers no TLS at
# all ("plain"). A server's key is in NAME.key and its certificate in NAME.crt, those of "ftp" in
# tls.key and tls.crt.
# Arguments: folder, user, password. The folder receives the keys, the configuration, the log and
# "home", the user's directory; in "home/cutoff" an upload is cut off after 10 KB, and
# "home/norename" allows no renaming.
# Prints "ftp=PORT sftp=PORT ed25519=PORT verified=PORT ..." once all listen, and stops
# the server when its standard input closes or it is terminated.
import grp, os, pwd, signal, socket, subprocess, sys, time  # noqa: E401
from datetime import datetime, timedelta, timezone
from ipaddress import ip_address
from pathlib import Path
from cryptography import x509
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import Encoding, NoEncryption, PrivateFormat
from cryptography.x509.oid import NameOID

folder, user, password = Path(sys.argv[1]), sys.argv[2], sys.argv[3]
os.umask(0o077)  # ProFTPD takes no key, nor user file, that others may read
for name in ("cutoff", "norename"):
    (folder / "home" / name).mkdir(parents=True, exist_ok=True)
now = datetime.now(timezone.utc)


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout.strip()


def write(name, content):
    (folder / name).write_bytes(content)


# A certificate and its key in NAME.crt and NAME.key: issued by issuer (a pair of certificate
# and key) for names, or self-signed as an authority without them.
def certificate(name, issuer=None, names=None, days=(-1, 2)):
    key = rsa.generate_private_key(65537, 2048)
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)])
    made = (x509.CertificateBuilder().subject_name(subject).public_key(key.public_key())
            .issuer_name(issuer[0].subject if issuer else subject)
            .serial_number(x509.random_serial_number())
            .not_valid_before(now + timedelta(days[0])).not_valid_after(now + timedelta(days[1]))
            .add_extension(x509.SubjectAlternativeName(names) if names else
                           x509.BasicConstraints(ca=True, path_length=None), critical=not names)
            .sign(issuer[1] if issuer else key, hashes.SHA256()))
    write(f"{name}.crt", made.public_bytes(Encoding.PEM))
    write(f"{name}.key", key.private_bytes(Encoding.PEM, PrivateFormat.TraditionalOpenSSL,
                                           NoEncryption()))
    return made, key


run("openssl", "genrsa", "-traditional", "-out", f"{folder}/sftp.key", "2048")
run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", f"{folder}/ed25519.key")
hashed = run("openssl", "passwd", "-6", password)
write("users", f"{user}:{hashed}:{os.getuid()}:{os.getgid()}::{folder}/home:/bin/sh\n".encode())
certificate("tls")
authority, here = certificate("ca"), [x509.IPAddress(ip_address("127.0.0.1"))]
certificate("verified", authority, here)
certificate("wrongname", authority, [x509.DNSName("other.example")])
certificate("expired", authority, here, days=(-3, -1))
certificate("unknownca", certificate("otherca"), here)
revoked = certificate("revoked", authority, here)[0]
write("ca.crl", x509.CertificateRevocationListBuilder().issuer_name(authority[0].subject)
      .last_update(now - timedelta(1)).next_update(now + timedelta(2))
      .add_revoked_certificate(x509.RevokedCertificateBuilder().serial_number(revoked.serial_number)
                               .revocation_date(now).build())
      .sign(authority[1], hashes.SHA256()).public_bytes(Encoding.PEM))

# The virtual hosts beside the main server ("ftp"), each with its lines ({0}: the folder and the
# host's name).
tls = "TLSEngine on\nTLSRequired on\nTLSRSACertificateFile {0}.crt\n"
tls += "TLSRSACertificateKeyFile {0}.key"
hosts = dict.fromkeys(("verified", "wrongname", "expired", "revoked", "unknownca"), tls)
hosts |= dict.fromkeys(("sftp", "ed25519"), "SFTPEngine on\nSFTPHostKey {0}.key")
hosts["plain"] = "TLSEngine off"
sockets = {name: socket.create_server(("127.0.0.1", 0)) for name in ("ftp", *hosts)}
ports = {name: s.getsockname()[1] for name, s in sockets.items()}
for s in sockets.values():
    s.close()
configuration = Path(__file__).with_name("proftpd.conf.in").read_text().format(
    ftp=ports["ftp"], folder=folder,
    user=pwd.getpwuid(os.getuid()).pw_name, group=grp.getgrgid(os.getgid()).gr_name)
for name, lines in hosts.items():
    configuration += f"<VirtualHost 127.0.0.1>\nPort {ports[name]}\n{lines.format(folder / name)}\n"
    configuration += "</VirtualHost>\n"
write("proftpd.conf", configuration.encode())

server = subprocess.Popen(["proftpd", "--nodaemon", "--config", f"{folder}/proftpd.conf"],
                          stdout=subprocess.DEVNULL, stderr=open(f"{folder}/proftpd.out", "w"))


def listening(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


deadline = time.monotonic() + 30
while not all(map(listening, ports.values())):
    if server.poll() is not None or time.monotonic() > deadline:
        sys.exit("proftpd did not start: " + open(f"{folder}/proftpd.out").read())
    time.sleep(0.05)
print(" ".join(f"{name}={port}" for name, port in ports.items()), flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
try:
    sys.stdin.read()
finally:
    server.terminate()
    server.wait()
