#!/usr/bin/env python3
"""Draws the application icon (a drop over a wave) into a .ico with 16, 32 and 48 pixel images.

The icon is generated at build time so the repository holds no binary art.
Usage: make-icon.py OUTPUT.ico
"""
import math
import struct
import sys


def pixel(size, x, y):
    # Coordinates in 0..1 with y downwards.
    u, v = (x + 0.5) / size, (y + 0.5) / size
    cx, cy, r = 0.5, 0.5, 0.46
    d = math.hypot(u - cx, v - cy)
    if d > r:
        return (0, 0, 0, 0)
    edge = max(0.0, min(1.0, (r - d) * size))  # soft rim
    wave = 0.58 + 0.07 * math.sin(u * 2 * math.pi * 1.5)
    if v > wave:
        rgb = (20, 90, 170)  # deep water
    elif v > wave - 0.08:
        rgb = (240, 248, 255)  # crest
    else:
        rgb = (90, 170, 230)  # sky over the tide
    return rgb + (int(255 * edge),)


def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up DIB rows
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            rows.append(struct.pack("<BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask),
                         0, 0, 0, 0)
    return header + xor + and_mask


def main():
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
