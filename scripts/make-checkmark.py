#!/usr/bin/env python3
"""Draws the context-menu extension's "TIDEWELL" check mark as a 24-bit BMP (13x13, the size of
a menu check mark). The background is the light grey that LR_LOADMAP3DCOLORS turns into the
menu's face colour.

Generated at build time so the repository holds no binary art.
Usage: make-checkmark.py OUTPUT_FILE
"""
import os
import sys

from bmp24 import bmp24

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


def main():
    out = sys.argv[1]
    os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
    with open(out, "wb") as f:
        f.write(bmp24(draw()))


if __name__ == "__main__":
    main()
