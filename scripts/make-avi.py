#!/usr/bin/env python3
"""Draws the dialogs' animation clips and writes them as uncompressed 8-bit AVI files.

The Animate control plays uncompressed DIB frames from an AVI resource (on Windows and under
Wine alike), so every clip is one video stream of 8 bpp frames with a palette and no codec.
The clips are generated at build time so the repository holds no binary art.

Usage: make-avi.py OUTPUT_FOLDER
Writes COPYFILE.AVI (a page flying between two folders), DELETEFILE.AVI (a page dropping
into a bin) and SELECT.AVI (a magnifier circling over a stack of pages).
"""
import math
import os
import struct
import sys

# Palette: index 0 is the background, also the transparent colour of the control (the
# colour of the frame's first pixel); the rest are the few colours the drawings use.
PALETTE = [
    (255, 0, 255),    # 0 background (transparent)
    (0, 0, 0),        # 1 outline
    (255, 255, 255),  # 2 paper
    (150, 150, 150),  # 3 paper lines, shadows
    (244, 200, 66),   # 4 folder
    (200, 150, 30),   # 5 folder back
    (60, 110, 190),   # 6 bin body
    (30, 70, 140),    # 7 bin lid and ribs
    (190, 225, 250),  # 8 lens glass
    (110, 80, 50),    # 9 handle
    (20, 90, 170),    # 10 accent (text lines on the stack)
]
BACK, INK, PAPER, GREY, FOLDER, FOLDER_BACK, BIN, BIN_DARK, GLASS, HANDLE, ACCENT = range(11)

AVIIF_KEYFRAME = 0x10


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = bytearray(w * h)  # top-down here, flipped when written

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = c

    def rect(self, x0, y0, x1, y1, c, outline=None):
        x0, y0, x1, y1 = (int(round(v)) for v in (x0, y0, x1, y1))
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)
        if outline is not None:
            for x in range(x0, x1):
                self.put(x, y0, outline)
                self.put(x, y1 - 1, outline)
            for y in range(y0, y1):
                self.put(x0, y, outline)
                self.put(x1 - 1, y, outline)

    def polygon(self, pts, c, outline=None):
        ys = [p[1] for p in pts]
        for y in range(max(0, int(min(ys))), min(self.h, int(max(ys)) + 1)):
            yc = y + 0.5
            xs = []
            for (xa, ya), (xb, yb) in zip(pts, pts[1:] + pts[:1]):
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for xa, xb in zip(xs[0::2], xs[1::2]):
                for x in range(int(round(xa)), int(round(xb))):
                    self.put(x, y, c)
        if outline is not None:
            for a, b in zip(pts, pts[1:] + pts[:1]):
                self.line(a, b, outline)

    def line(self, a, b, c):
        (xa, ya), (xb, yb) = a, b
        n = int(max(abs(xb - xa), abs(yb - ya))) + 1
        for i in range(n + 1):
            t = i / n
            self.put(int(round(xa + (xb - xa) * t)), int(round(ya + (yb - ya) * t)), c)

    def disc(self, cx, cy, r, c, outline=None):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= r:
                    self.put(x, y, outline if outline is not None and d > r - 1.2 else c)


def folder(cv, x, y, open_front=False):
    cv.rect(x, y + 4, x + 34, y + 28, FOLDER_BACK, INK)
    cv.rect(x, y, x + 13, y + 5, FOLDER_BACK, INK)
    if open_front:
        cv.polygon([(x + 4, y + 10), (x + 38, y + 10), (x + 34, y + 28), (x, y + 28)], FOLDER, INK)
    else:
        cv.rect(x, y + 8, x + 34, y + 28, FOLDER, INK)


def page(cv, x, y, w=14, h=18, tilt=0.0):
    cx, cy = x + w / 2, y + h / 2
    ca, sa = math.cos(tilt), math.sin(tilt)

    def rot(px, py):
        dx, dy = px - cx, py - cy
        return (cx + dx * ca - dy * sa, cy + dx * sa + dy * ca)

    corner = 4
    outline = [(x, y), (x + w - corner, y), (x + w, y + corner), (x + w, y + h), (x, y + h)]
    cv.polygon([rot(*p) for p in outline], PAPER, INK)
    for i in range(3):
        ly = y + 6 + i * 4
        cv.line(rot(x + 3, ly), rot(x + w - 3, ly), GREY)


def bin_(cv, x, y):
    cv.polygon([(x + 2, y + 6), (x + 26, y + 6), (x + 23, y + 32), (x + 5, y + 32)], BIN, INK)
    for i in range(3):
        bx = x + 9 + i * 5
        cv.line((bx, y + 10), (bx, y + 29), BIN_DARK)
    cv.rect(x, y + 2, x + 28, y + 7, BIN_DARK, INK)
    cv.rect(x + 10, y, x + 18, y + 3, BIN_DARK, INK)


def copy_frames(count=35, w=200, h=50):
    frames = []
    for i in range(count):
        cv = Canvas(w, h)
        folder(cv, 14, 16, open_front=True)
        folder(cv, 152, 16, open_front=True)
        t = i / (count - 1)
        x = 28 + (150 - 28) * t
        y = 16 - math.sin(math.pi * t) * 14
        page(cv, x, y, tilt=math.sin(2 * math.pi * t) * 0.35)
        frames.append(cv)
    return frames


def delete_frames(count=35, w=200, h=50):
    frames = []
    for i in range(count):
        cv = Canvas(w, h)
        folder(cv, 14, 16, open_front=True)
        t = i / (count - 1)
        x = 28 + (158 - 28) * t
        y = 14 - math.sin(math.pi * t) * 12 + t * t * 10
        page(cv, x, y, tilt=t * 1.2)
        bin_(cv, 152, 16)  # drawn last: the page drops behind the bin's front
        frames.append(cv)
    return frames


def select_frames(count=23, w=64, h=64):
    frames = []
    for i in range(count):
        cv = Canvas(w, h)
        for k in range(3):
            cv.rect(14 + k * 4, 10 + k * 4, 40 + k * 4, 44 + k * 4, PAPER, INK)
        for j in range(5):
            cv.line((26, 24 + j * 5), (46, 24 + j * 5), ACCENT if j % 2 else GREY)
        a = 2 * math.pi * i / count
        cx, cy = 32 + math.cos(a) * 10, 30 + math.sin(a) * 10
        hx, hy = cx + 9, cy + 9
        for d in range(-1, 2):
            cv.line((hx + d, hy), (hx + 9 + d, hy + 9), HANDLE)
        cv.disc(cx, cy, 10, GLASS, INK)
        cv.line((cx - 5, cy - 3), (cx - 2, cy - 6), PAPER)
        frames.append(cv)
    return frames


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, payload):
    return kind + struct.pack("<I", len(payload) + 4) + fourcc + payload


def avi(frames, fps):
    w, h = frames[0].w, frames[0].h
    stride = (w + 3) & ~3
    size = stride * h
    usec = int(round(1_000_000 / fps))

    def dib(cv):
        rows = []
        for y in reversed(range(h)):  # bottom-up rows, as a DIB stores them
            row = bytes(cv.px[y * w:(y + 1) * w])
            rows.append(row + b"\0" * (stride - w))
        return b"".join(rows)

    avih = struct.pack("<14I", usec, size * fps, 0, 0x10,  # AVIF_HASINDEX
                       len(frames), 0, 1, size, w, h, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0,
                       len(frames), size, 0xFFFFFFFF, 0, 0, 0, w, h)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0\0\0\0" * (256 - len(PALETTE))
    bih = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, size, 0, 0, 256, 0)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + palette))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_payload = b""
    index = b""
    for cv in frames:
        offset = 4 + len(movi_payload)  # from the 'movi' type code
        data = dib(cv)
        movi_payload += chunk(b"00db", data)
        index += struct.pack("<4sIII", b"00db", AVIIF_KEYFRAME, offset, len(data))
    movi = riff_list(b"LIST", b"movi", movi_payload)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-avi.py OUTPUT_FOLDER")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    clips = {
        "COPYFILE.AVI": (copy_frames(), 15),
        "DELETEFILE.AVI": (delete_frames(), 15),
        "SELECT.AVI": (select_frames(), 12),
    }
    for name, (frames, fps) in clips.items():
        data = avi(frames, fps)
        tmp = os.path.join(out, name + ".tmp")
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, os.path.join(out, name))


if __name__ == "__main__":
    main()
