#!/usr/bin/python3
# A ProFTPD server for the tests (configured by proftpd.conf.in beside this script), on
# 127.0.0.1 only, with one virtual user, a throwaway TLS certificate and SSH host key: plain FTP
# with TLS offered (a self-signed certificate), FTP that requires TLS, SFTP with an RSA host key,
# and SFTP with an Ed25519 host key alone (no ssh-rsa, as current OpenSSH servers); and FTP that
# requires TLS with certificates of a test authority (ca.crt, its revocation list ca.crl): one
# for 127.0.0.1 ("verified"), one for another name, an expired one, a revoked one, and one
# of an authority nobody trusts ("unknownca"); and plain FTP that offers no TLS at all ("plain").
# Arguments: folder, user, password. The folder receives the keys, the configuration, the log and
# "home", the user's directory; in "home/cutoff" an upload is cut off after 10 KB, and
# "home/norename" allows no renaming.
# Prints "ftp=PORT tls=PORT sftp=PORT ed25519=PORT verified=PORT ..." once all listen, and stops the server when
# its standard input closes or it is terminated.
import datetime, grp, ipaddress, os, pwd, signal, socket, subprocess, sys, time  # noqa: E401
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

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


def certificate(name, issuer, subject_names, days=(-1, 2), key=None):  # returns (certificate, key)
    key = key or rsa.generate_private_key(public_exponent=65537, key_size=2048)
    now = datetime.datetime.now(datetime.timezone.utc)
    builder = (x509.CertificateBuilder().subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)]))
               .issuer_name(issuer[0].subject if issuer else x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)]))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now + datetime.timedelta(days=days[0])).not_valid_after(now + datetime.timedelta(days=days[1])))
    if subject_names:
        builder = builder.add_extension(x509.SubjectAlternativeName(subject_names), critical=False)
    else:
        builder = builder.add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
    made = builder.sign((issuer or (None, key))[1], hashes.SHA256())
    with open(f"{folder}/{name}.crt", "wb") as out:
        out.write(made.public_bytes(serialization.Encoding.PEM))
    with open(f"{folder}/{name}.key", "wb") as out:
        out.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.TraditionalOpenSSL,
                                    serialization.NoEncryption()))
    return made, key


authority, stranger = certificate("ca", None, None), certificate("otherca", None, None)
here, elsewhere = [x509.IPAddress(ipaddress.ip_address("127.0.0.1"))], [x509.DNSName("other.example")]
ca_servers = {"verified": certificate("verified", authority, here)[0], "wrongname": certificate("wrongname", authority, elsewhere)[0],
              "expired": certificate("expired", authority, here, days=(-3, -1))[0],
              "revoked": certificate("revoked", authority, here)[0], "unknownca": certificate("unknownca", stranger, here)[0]}
now = datetime.datetime.now(datetime.timezone.utc)
with open(f"{folder}/ca.crl", "wb") as out:
    out.write(x509.CertificateRevocationListBuilder().issuer_name(authority[0].subject).last_update(now - datetime.timedelta(days=1))
              .next_update(now + datetime.timedelta(days=2)).add_revoked_certificate(
                  x509.RevokedCertificateBuilder().serial_number(ca_servers["revoked"].serial_number).revocation_date(now).build())
              .sign(authority[1], hashes.SHA256()).public_bytes(serialization.Encoding.PEM))

for name in ("tls.key", "host.key", "ed25519.key", "users"):
    os.chmod(f"{folder}/{name}", 0o600)

sockets = [socket.create_server(("127.0.0.1", 0)) for _ in range(5 + len(ca_servers))]
ports = dict(zip(["ftp", "tls", "sftp", "ed25519", *ca_servers, "plain"], (s.getsockname()[1] for s in sockets)))
for s in sockets:
    s.close()
ftp, tls, sftp, ed25519 = (ports[name] for name in ("ftp", "tls", "sftp", "ed25519"))
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "proftpd.conf.in")) as template:
    open(f"{folder}/proftpd.conf", "w").write(template.read().format(
        ftp=ftp, tls=tls, sftp=sftp, ed25519=ed25519, folder=folder, home=home,
        user=pwd.getpwuid(os.getuid()).pw_name, group=grp.getgrgid(os.getgid()).gr_name) + "".join(
            f"<VirtualHost 127.0.0.1>\n  Port {ports[name]}\n  TLSEngine on\n  TLSRequired on\n  TLSRSACertificateFile {folder}/{name}.crt\n"
            f"  TLSRSACertificateKeyFile {folder}/{name}.key\n</VirtualHost>\n" for name in ca_servers) +
        f"<VirtualHost 127.0.0.1>\n  Port {ports['plain']}\n  TLSEngine off\n</VirtualHost>\n")

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
