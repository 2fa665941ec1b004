"""The project's changelog (CHANGELOG.md): a "## VERSION" heading for each version, optionally
followed by " — DATE", then its notes in a small Markdown subset (paragraphs and "- " lists)."""

import re

from . import control

HEADING = re.compile(r"^## +(\S+)(?: +(?:—|-|–) +(.+?))? *$")


class Entry:
    def __init__(self, version, date):
        self.version = version
        self.date = date or ""
        self.notes = ""


def read(path):
    """The entries of the changelog at `path`, in the file's order."""
    try:
        with open(path, "rb") as source:
            data = source.read()
    except OSError as error:
        raise control.Failure(f"cannot read the changelog {path}: {error.strerror}")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise control.BadValue(f"the changelog {path} is not UTF-8 text: byte 0x{data[error.start]:02x} at offset "
                               f"{error.start}")
    entries = []
    for line in text.split("\n"):
        heading = HEADING.match(line.rstrip("\r"))
        if heading:
            entries.append(Entry(heading.group(1), heading.group(2)))
        elif entries:
            entries[-1].notes += line + "\n"
    for entry in entries:
        entry.notes = entry.notes.strip("\n")
    return entries


def up_to(entries, version, path):
    """The entries of `version` and of the versions before it, newest first. Fails when the
    changelog has no entry for `version`."""
    if not any(entry.version == version for entry in entries):
        raise control.Failure(f"the changelog {path} has no entry for version {version}: add a "
                              f"\"## {version}\" section saying what changed")
    shown = [entry for entry in entries if not control.newer(entry.version, version)]
    by_version = control.sort_key()
    return sorted(shown, key=lambda entry: by_version(entry.version), reverse=True)
