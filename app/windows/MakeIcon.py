#!/usr/bin/env python3
"""Writes a Windows icon file holding the given PNG images as they are (each entry a PNG, as Windows
Vista and later read them): MakeIcon.py out.ico image.png..."""
import struct
import sys


def png_size(data: bytes) -> tuple[int, int]:
    if len(data) < 24 or data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG image")
    return struct.unpack(">II", data[16:24])


def main() -> int:
    out, images = sys.argv[1], sys.argv[2:]
    blobs = [open(p, "rb").read() for p in images]
    header = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    entries, payload = b"", b""
    for blob in blobs:
        width, height = png_size(blob)
        if width > 256 or height > 256:
            raise ValueError("an icon image is at most 256 pixels wide")
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        payload += blob
    with open(out, "wb") as f:
        f.write(header + entries + payload)
    return 0


if __name__ == "__main__":
    sys.exit(main())
