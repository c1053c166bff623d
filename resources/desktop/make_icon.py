#!/usr/bin/env python3
"""Draws the program icon (a blue tile with lines of generated text) as PNG files of the given
sizes, without any imaging library: the shapes are plain rectangles and a rounded tile."""
import struct
import sys
import zlib

BLUE = (45, 108, 181, 255)
WHITE = (255, 255, 255, 255)
GOLD = (242, 182, 50, 255)


def pixel(x, y, n):
    u, v = x / n, y / n  # 0..1
    r = 0.16
    inside = 0.03 <= u <= 0.97 and 0.03 <= v <= 0.97
    for cx, cy in ((0.03 + r, 0.03 + r), (0.97 - r, 0.03 + r), (0.03 + r, 0.97 - r), (0.97 - r, 0.97 - r)):
        if (u < 0.03 + r or u > 0.97 - r) and (v < 0.03 + r or v > 0.97 - r):
            if (abs(u - cx) > 0 or abs(v - cy) > 0) and ((u - cx) ** 2 + (v - cy) ** 2) > r * r:
                if (u < cx if cx < 0.5 else u > cx) and (v < cy if cy < 0.5 else v > cy):
                    inside = False
    if not inside:
        return (0, 0, 0, 0)
    if 0.23 <= u <= 0.77 and 0.30 <= v <= 0.40:
        return WHITE
    if 0.23 <= u <= 0.58 and 0.46 <= v <= 0.56:
        return WHITE
    if 0.62 <= u <= 0.77 and 0.46 <= v <= 0.56 and (v - 0.46) <= 0.10 and abs(v - 0.51) <= (0.77 - u) * 0.7:
        return GOLD
    if 0.23 <= u <= 0.77 and 0.62 <= v <= 0.72:
        return GOLD
    return BLUE


def png(n):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x + 0.5, y + 0.5, n)) for x in range(n)) for y in range(n))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    for arg in sys.argv[1:]:
        size, path = arg.split(":", 1)
        with open(path, "wb") as f:
            f.write(png(int(size)))
