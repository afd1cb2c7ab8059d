#!/usr/bin/env python3
"""Draws the context-menu extension's "TIDEWELL" check mark as a 24-bit BMP (13x13, the size of
a menu check mark). The background is the light grey that LR_LOADMAP3DCOLORS turns into the
menu's face colour.

Generated at build time so the repository holds no binary art.
Usage: make-checkmark.py OUTPUT_FILE
"""
import os
import struct
import sys

SIZE = 13
FACE = (192, 192, 192)
TIDE = (0, 110, 140)     # the mark
CREST = (80, 180, 200)   # its lighter upper edge

# The tick as columns: (x, y_top, height).
TICK = [(2, 6, 3), (3, 7, 3), (4, 8, 3), (5, 7, 3), (6, 6, 3), (7, 5, 3), (8, 4, 3), (9, 3, 3),
        (10, 2, 3)]


def draw():
    px = [[FACE] * SIZE for _ in range(SIZE)]
    for x, y0, h in TICK:
        for y in range(y0, y0 + h):
            px[y][x] = CREST if y == y0 else TIDE
    return px


def bmp(px):
    row_bytes = (SIZE * 3 + 3) & ~3
    data = b""
    for row in reversed(px):  # bottom-up rows
        line = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in row)
        data += line + b"\0" * (row_bytes - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + data


def main():
    out = sys.argv[1]
    os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
    with open(out, "wb") as f:
        f.write(bmp(draw()))


if __name__ == "__main__":
    main()
