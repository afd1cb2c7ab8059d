"""A 24-bit BMP file from rows of (r, g, b) pixels, top row first; for the generated resources."""
import struct


def bmp24(px):
    height, width = len(px), len(px[0])
    row_bytes = (width * 3 + 3) & ~3
    data = b""
    for row in reversed(px):  # bottom-up rows
        line = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in row)
        data += line + b"\0" * (row_bytes - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + data
