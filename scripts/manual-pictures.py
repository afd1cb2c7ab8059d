#!/usr/bin/env python3
"""Turns the window pictures the tests take (build/pictures/*.bmp) into the manual's PNG files.

Usage: scripts/manual-pictures.py [PICTURES_DIR] [MANUAL_IMAGES_DIR]
Run it after `make test` when a window changed; the PNG files are kept in the repository so the
build and the installer need no test run.
"""
import os
import struct
import sys
import zlib

# Test picture -> manual image.
PICTURES = {
    "wizard-add.bmp": "add-page.png",
    "wizard-volume.bmp": "volume-page.png",
    "wizard-restore.bmp": "restore-page.png",
    "wizard-orphaned.bmp": "orphaned-page.png",
    "wizard-contents.bmp": "contents-page.png",
    "volume-editing.bmp": "volume-editing.png",
    "find-files.bmp": "find-files.png",
    "file-conflict.bmp": "file-conflict.png",
    "progress-line.bmp": "progress.png",
    "OptionsDialog.bmp": "options.png",
    "TrayMenu.bmp": "tray-menu.png",
    "OverdueBalloon.bmp": "overdue-balloon.png",
    "ContextMenu.bmp": "context-menu.png",
    "InstallerOptions.bmp": "installer-options.png",
}


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise ValueError(path + ": not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bpp = struct.unpack_from("<H", data, 28)[0]
    if bpp not in (24, 32):
        raise ValueError("%s: %d bits per pixel" % (path, bpp))
    step = bpp // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src = y if height < 0 else abs(height) - 1 - y
        line = data[offset + src * stride: offset + src * stride + width * step]
        rgb = bytearray()
        for x in range(width):
            b, g, r = line[x * step: x * step + 3]
            rgb += bytes((r, g, b))
        rows.append(bytes(rgb))
    return width, abs(height), rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    pictures = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "pictures")
    images = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "manual", "images")
    missing = 0
    for bmp, png in PICTURES.items():
        src = os.path.join(pictures, bmp)
        if not os.path.exists(src):
            print("missing: " + src + " (run make test first)")
            missing += 1
            continue
        write_png(os.path.join(images, png), *read_bmp(src))
        print(png)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
