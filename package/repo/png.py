"""The two things make-repo does with PNG files: read their size, and keep the top of a picture.
Python's standard library only."""

import struct
import zlib

from . import control

SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunks(data):
    """(kind, body) for each chunk of the PNG `data`."""
    at = len(SIGNATURE)
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        yield kind, data[at + 8:at + 8 + length]
        at += 12 + length


def size(path):
    """(width, height) in pixels of the PNG file at `path`."""
    with open(path, "rb") as source:
        head = source.read(24)
    if not head.startswith(SIGNATURE) or head[12:16] != b"IHDR":
        raise control.Failure(f"{path} is not a PNG picture")
    return struct.unpack(">II", head[16:24])


def keep_top(source, target, height):
    """Writes to `target` the top `height` rows of the PNG `source` (8-bit, not interlaced; the
    picture as it is when it has no more rows). Each row's filter refers only to rows above it, so
    the rows are kept as they are, still filtered."""
    with open(source, "rb") as file:
        data = file.read()
    parts = list(chunks(data))
    header = parts[0][1]
    width, rows, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if depth != 8 or interlace != 0 or channels is None:
        raise control.Failure(f"{source}: only 8-bit pictures without interlacing can be cut")
    height = min(height, rows)
    kept = zlib.decompressobj().decompress(b"".join(body for kind, body in parts if kind == b"IDAT"),
                                           height * (1 + width * channels))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    out = SIGNATURE + chunk(b"IHDR", struct.pack(">II", width, height) + header[8:])
    out += b"".join(chunk(kind, body) for kind, body in parts[1:] if kind not in (b"IDAT", b"IEND"))
    out += chunk(b"IDAT", zlib.compress(kept, 6)) + chunk(b"IEND", b"")
    with open(target, "wb") as file:
        file.write(out)
