"""Prints the deb-src entries (deb822 format) that this machine's apt sources lack: one for every
deb entry of the given Debian release and its suites (security, updates), from the same mirror
with the same options. Arguments: the release's code name, and the file the entries go to, which
is left out of the reading."""
import glob
import os
import sys

codename, own_file = sys.argv[1], os.path.realpath(sys.argv[2])


def ours(suite):
    return suite == codename or suite.startswith(codename + "-")


def one_line_entries(path):
    for line in open(path, encoding="utf-8", errors="replace"):
        words = line.split("#", 1)[0].split()
        if len(words) < 3 or words[0] not in ("deb", "deb-src"):
            continue
        options = {}
        rest = words[1:]
        if rest[0].startswith("["):
            text = []
            while rest and not (text and text[-1].endswith("]")):
                text.append(rest.pop(0))
            for pair in " ".join(text).strip("[] ").split():
                key, _, value = pair.partition("=")
                options[{"signed-by": "Signed-By", "arch": "Architectures"}.get(key, key)] = value
        if len(rest) < 2:
            continue
        yield {"Types": words[0], "URIs": rest[0], "Suites": rest[1], "Components": " ".join(rest[2:]), **options}


def deb822_entries(path):
    stanza, last = {}, None
    for line in list(open(path, encoding="utf-8", errors="replace")) + [""]:
        if line.startswith("#"):
            continue
        if not line.strip():
            if stanza:
                yield stanza
            stanza, last = {}, None
        elif line[0] in " \t" and last:
            stanza[last] += "\n" + line.rstrip("\n")
        else:
            last, _, value = line.partition(":")
            stanza[last] = value.strip()


entries = []
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*")):
    if not os.path.isfile(path) or os.path.realpath(path) == own_file:
        continue
    if path.endswith(".list") or path == "/etc/apt/sources.list":
        entries += one_line_entries(path)
    elif path.endswith(".sources"):
        entries += [e for e in deb822_entries(path) if e.get("Enabled", "yes").lower() != "no"]

have_source = {(uri, suite) for e in entries if "deb-src" in e.get("Types", "").split()
               for uri in e.get("URIs", "").split() for suite in e.get("Suites", "").split()}
stanzas = []
for e in entries:
    if "deb" not in e.get("Types", "").split():
        continue
    for uri in e.get("URIs", "").split():
        suites = [s for s in e.get("Suites", "").split() if ours(s) and (uri, s) not in have_source]
        if not suites:
            continue
        lines = ["Types: deb-src", "URIs: " + uri, "Suites: " + " ".join(suites),
                 "Components: " + e.get("Components", "main")]
        lines += [key + ": " + e[key] for key in ("Signed-By", "Trusted", "Check-Valid-Until") if key in e]
        stanzas.append("\n".join(lines))
print("\n\n".join(stanzas))
