"""Reading a .deb's control data with dpkg's own tools, and comparing versions as dpkg does."""

import functools
import subprocess


class Failure(Exception):
    """A problem make-repo reports as its error message."""


def parse(text):
    """The fields of one control stanza, in order: {name: value}. A continuation line (starting
    with a blank) belongs to the field above it, with its newline and leading blank kept."""
    fields = {}
    name = None
    for line in text.splitlines():
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
    shown = subprocess.run(["dpkg-deb", "--field", deb], capture_output=True, text=True)
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
