#!/usr/bin/env python3
"""Renders velocast.svg's shapes to PNG files without any image library, so the icons can
be made again on a machine that has nothing but Python: python3 render_png.py 48 128 256"""
import math
import struct
import sys
import zlib

BLUE, WHITE, ORANGE = (0x1F, 0x6F, 0xB2), (0xFF, 0xFF, 0xFF), (0xF2, 0x8C, 0x28)


def in_rounded_rect(x, y, left, top, width, height, radius):
    if not (left <= x <= left + width and top <= y <= top + height):
        return False
    cx = min(max(x, left + radius), left + width - radius)
    cy = min(max(y, top + radius), top + height - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def near_segment(x, y, a, b, half_width):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy) <= half_width


def colour_at(x, y):
    """The colour of the point (x, y) in the 64-unit drawing, or None outside it."""
    if math.hypot(x - 49, y - 17) <= 8:
        return ORANGE
    if math.hypot(x - 49, y - 17) <= 9:
        return WHITE
    if near_segment(x, y, (14, 21), (32, 36), 1.5) or near_segment(x, y, (32, 36), (50, 21), 1.5):
        return BLUE
    if in_rounded_rect(x, y, 14, 21, 36, 25, 2):
        return WHITE
    if in_rounded_rect(x, y, 4, 4, 56, 56, 12):
        return BLUE
    return None


def render(size, samples=4):
    rows = []
    scale = 64.0 / size
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) * scale, (py + (sy + 0.5) / samples) * scale)
                    if c:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            row += bytes([r // a, g // a, b // a, 255 * a // (samples * samples)]) if a else bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")


for arg in sys.argv[1:] or ["48", "128", "256"]:
    n = int(arg)
    with open(f"velocast-{n}.png", "wb") as f:
        f.write(png(n, render(n)))
