"""The repository's index, in the flat layout Sileo, Zebra and apt read: the packages in pool/,
Packages (and its compressed copies) listing them, Release with every index's size and sums."""

import glob
import hashlib
import os
import shutil
import subprocess
import tempfile
import time

from . import control

# Compressed copies of Packages, each made by its Debian tool where that is installed, with
# options that give the same bytes from the same input (gzip -n: no name or time inside).
COMPRESSORS = (
    ("Packages.gz", ["gzip", "-9n"]),
    ("Packages.bz2", ["bzip2", "-9"]),
    ("Packages.xz", ["xz", "-6", "--threads=1"]),
    ("Packages.zst", ["zstd", "-19", "-q"]),
)

HASHES = (("MD5Sum", hashlib.md5), ("SHA1", hashlib.sha1), ("SHA256", hashlib.sha256))


def publish(outdir, deb, package, latest_only):
    """Copies `deb` into OUTDIR/pool (replacing a file of the same name) and returns the file names
    in the pool. With `latest_only`, the package's other .debs are removed from it first."""
    pool = os.path.join(outdir, "pool")
    os.makedirs(pool, exist_ok=True)
    name = os.path.basename(deb)
    if latest_only:
        for old in glob.glob(os.path.join(pool, glob.escape(package) + "_*.deb")):
            if os.path.basename(old) != name:
                os.remove(old)
    staged = os.path.join(pool, "." + name + ".part")
    shutil.copyfile(deb, staged)
    os.replace(staged, os.path.join(pool, name))
    return sorted(os.listdir(pool))


def write_packages(outdir, extra_fields):
    """Writes OUTDIR/Packages for every .deb in the pool (dpkg-scanpackages, every version kept),
    with `extra_fields` ({package: {field: value}}) added to its packages' entries, sorted by
    package and version; then its compressed copies. Returns the index files written."""
    with tempfile.NamedTemporaryFile("w", suffix=".override", delete=False, encoding="utf-8") as override:
        for package, fields in extra_fields.items():
            for name, value in fields.items():
                override.write(f"{control.one_line(package, 'the package name')} {control.one_line(name, 'a field name')} "
                               f"{control.one_line(value, f'the {name} field')}\n")
    try:
        scanned = subprocess.run(["dpkg-scanpackages", "--multiversion", "--extra-override", override.name, "pool"],
                                 cwd=outdir, capture_output=True, text=True, errors="surrogateescape")
    finally:
        os.remove(override.name)
    if scanned.returncode != 0:
        raise control.Failure("dpkg-scanpackages could not index the pool: " + scanned.stderr.strip())
    # dpkg-scanpackages writes an added field's name capitalised its own way ("Sileodepiction"):
    # field names are case-insensitive, but the managers' documentation spells them as given.
    spelling = {name.lower(): name for fields in extra_fields.values() for name in fields}
    entries = ["\n".join(respell(line, spelling) for line in entry.split("\n"))
               for entry in control.stanzas(scanned.stdout)]
    by_version = control.sort_key()
    entries.sort(key=lambda text: (control.parse(text)["Package"], by_version(control.parse(text)["Version"])))
    text = "".join(entry + "\n\n" for entry in entries)

    text = text.encode("utf-8", "surrogateescape")  # another package's bytes in the pool stay as they are
    write_atomically(os.path.join(outdir, "Packages"), text)
    written = ["Packages"]
    for name, command in COMPRESSORS:
        if shutil.which(command[0]) is None:
            continue
        packed = subprocess.run(command + ["-c"], input=text, capture_output=True)
        if packed.returncode != 0:
            raise control.Failure(f"{command[0]} could not compress Packages: {packed.stderr.decode().strip()}")
        write_atomically(os.path.join(outdir, name), packed.stdout)
        written.append(name)
    for stale in glob.glob(os.path.join(outdir, "Packages.*")):
        if os.path.basename(stale) not in written:
            os.remove(stale)  # left by an earlier run whose compressor is gone now
    return written


def respell(line, spelling):
    name, colon, value = line.partition(":")
    return spelling.get(name.lower(), name) + colon + value if colon and not line[:1].isspace() else line


def write_release(outdir, indexes, label, description, architectures):
    """Writes OUTDIR/Release: the repository's name and description and, for every index file,
    its size with its MD5, SHA-1 and SHA-256 sums. The date is SOURCE_DATE_EPOCH when set."""
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    lines = [
        f"Origin: {label}",
        f"Label: {label}",
        "Suite: stable",
        "Version: 1.0",
        "Codename: ios",
        f"Architectures: {' '.join(architectures)}",
        "Components: main",
        f"Description: {description}",
        "Date: " + time.strftime("%a, %d %b %Y %H:%M:%S UTC", time.gmtime(epoch)),
    ]
    contents = {name: open(os.path.join(outdir, name), "rb").read() for name in indexes}
    for section, algorithm in HASHES:
        lines.append(f"{section}:")
        for name, data in contents.items():
            lines.append(f" {algorithm(data).hexdigest()} {len(data):>8} {name}")
    write_atomically(os.path.join(outdir, "Release"), ("\n".join(lines) + "\n").encode())


def write_atomically(path, data):
    """Writes `data` to `path` through a temporary file beside it, so a reader never sees half."""
    staged = os.path.join(os.path.dirname(path), "." + os.path.basename(path) + ".part")
    with open(staged, "wb") as out:
        out.write(data)
    os.replace(staged, path)
