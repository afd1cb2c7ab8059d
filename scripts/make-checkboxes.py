#!/usr/bin/env python3
"""Draws the three check-box images of the shell views as 24-bit BMPs (16x16, white = transparent).

Generated at build time so the repository holds no binary art.
Usage: make-checkboxes.py OUTPUT_DIR
"""
import os
import sys

from bmp24 import bmp24

SIZE = 16
WHITE = (255, 255, 255)
FRAME = (28, 28, 28)
MARK = (0, 0, 0)
GRAY_MARK = (128, 128, 128)
GRAY_FILL = (212, 208, 200)
BOX = (1, 2, 13, 14)  # left, top, right, bottom (inclusive) of a 13x13 box

# The check mark as pixel runs inside the box: (x, y_top) columns three pixels tall.
CHECK = [(4, 7), (5, 8), (6, 9), (7, 8), (8, 7), (9, 6), (10, 5)]


def draw(kind):
    px = [[WHITE] * SIZE for _ in range(SIZE)]
    left, top, right, bottom = BOX
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = x in (left, right) or y in (top, bottom)
            if edge:
                px[y][x] = FRAME
            elif kind == "gray":
                px[y][x] = GRAY_FILL
    if kind != "unchecked":
        colour = MARK if kind == "checked" else GRAY_MARK
        for x, y0 in CHECK:
            for y in range(y0, y0 + 3):
                px[y][x] = colour
    return px


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, kind in (("nse_unchecked.bmp", "unchecked"), ("nse_checked.bmp", "checked"),
                       ("nse_graychecked.bmp", "gray")):
        with open(os.path.join(out, name), "wb") as f:
            f.write(bmp24(draw(kind)))


if __name__ == "__main__":
    main()
