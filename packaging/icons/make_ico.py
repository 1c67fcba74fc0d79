#!/usr/bin/env python3
"""Packs PNG images into one Windows icon file (each entry a PNG, as Windows Vista and later
read them), for the icon Explorer, the Start menu and the taskbar show for velocast.exe:
python3 make_ico.py OUT.ico IMAGE.png..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("make_ico.py: not a PNG image")
    return struct.unpack(">II", data[16:24])


def main(out, images):
    pictures = [open(path, "rb").read() for path in images]
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, blobs = b"", b""
    for data in pictures:
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise SystemExit("make_ico.py: an icon image is at most 256 pixels wide")
        # 256 is written as 0: the field is one byte.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset + len(blobs))
        blobs += data
    with open(out, "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2:])
