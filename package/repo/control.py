"""Reading a .deb's control data with dpkg's own tools, comparing versions as dpkg does, and keeping
what goes into control fields to one line each."""

import functools
import subprocess
import unicodedata


class Failure(Exception):
    """A problem make-repo reports as its error message."""


class BadValue(Failure):
    """A value make-repo refuses to publish: an argument, or what the package or changelog holds."""


def one_line(value, what):
    """`value`, if it can be one line of a control field or of dpkg-scanpackages' override file: no
    control character (tab included), no character Python's str.splitlines() or dpkg ends a line at
    (U+0085, U+2028, U+2029...), and nothing that was not UTF-8. Else BadValue naming `what`."""
    for c in value:
        if "\udc80" <= c <= "\udcff":  # an undecodable byte, as Python keeps it
            raise BadValue(f"{what} is not valid UTF-8 (byte 0x{ord(c) - 0xdc00:02x}): {value!r}")
        if unicodedata.category(c) in ("Cc", "Cs", "Zl", "Zp") or len(f"a{c}b".splitlines()) > 1:
            raise BadValue(f"{what} holds a control or line-break character (U+{ord(c):04X}): {value!r}")
    return value


def check_fields(fields, where):
    """Every field of a stanza one_line(), but the line breaks that start a continuation line."""
    for name, value in fields.items():
        one_line(name, f"{where}: a field name")
        for line in value.split("\n"):
            one_line(line[1:] if line[:1] in (" ", "\t") else line, f"{where}: the {name} field")


def parse(text):
    """The fields of one control stanza, in order: {name: value}. A continuation line (starting
    with a blank) belongs to the field above it, with its newline and leading blank kept. Lines end
    at newlines alone, as dpkg reads them."""
    fields = {}
    name = None
    for line in text.split("\n"):
        if line[:1] in (" ", "\t") and name is not None:
            fields[name] += "\n" + line
        elif ":" in line:
            name, value = line.split(":", 1)
            fields[name] = value.strip()
    return fields


def stanzas(text):
    """The stanzas of a Packages file, each as its text without the blank line after it."""
    return [block.strip("\n") for block in text.split("\n\n") if block.strip()]


def read(deb):
    """The control fields of the package file `deb` (dpkg-deb --field)."""
    shown = subprocess.run(["dpkg-deb", "--field", deb], capture_output=True, text=True, errors="surrogateescape")
    if shown.returncode != 0:
        raise Failure(f"{deb} is not a package dpkg-deb can read: {shown.stderr.strip()}")
    return parse(shown.stdout)


def extract(deb, folder):
    """Unpacks the files of `deb` into `folder` (dpkg-deb --extract)."""
    done = subprocess.run(["dpkg-deb", "--extract", deb, folder], capture_output=True, text=True)
    if done.returncode != 0:
        raise Failure(f"cannot unpack {deb}: {done.stderr.strip()}")


def newer(a, b):
    """Whether version `a` is newer than version `b` by dpkg's rules."""
    return subprocess.run(["dpkg", "--compare-versions", a, "gt", b]).returncode == 0


def sort_key():
    """A key for sorted() that orders versions from oldest to newest by dpkg's rules."""
    return functools.cmp_to_key(lambda a, b: 1 if newer(a, b) else (-1 if newer(b, a) else 0))
