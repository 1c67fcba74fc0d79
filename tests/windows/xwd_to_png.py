#!/usr/bin/python3
"""Turns an X window dump of a true-colour screen (xwd -root) into a PNG, without any image
library: python3 xwd_to_png.py SHOT.xwd SHOT.png"""
import struct
import sys
import zlib


def main():
    data = open(sys.argv[1], "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = fields[7], fields[11], fields[12], fields[19]
    if bits_per_pixel not in (24, 32):
        sys.exit(f"xwd_to_png: {bits_per_pixel} bits per pixel; only a true-colour screen is read")
    step = bits_per_pixel // 8
    pixels = data[header_size + 12 * ncolors:]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + step * width]
        row = bytearray(b"\0")
        for x in range(width):
            p = line[step * x:step * x + step]
            value = int.from_bytes(p, "little" if byte_order == 0 else "big")
            row += bytes(((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF))
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(sys.argv[2], "wb").write(png)


if __name__ == "__main__":
    main()
