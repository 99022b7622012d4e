#!/usr/bin/env python3
"""Draws the placeholder application icon, resources/vellmora.ico: a white "V" on a rounded blue
square, at 16, 24, 32, 48 and 256 pixels. It stands in until the product has artwork of its own;
run it again after changing the drawing. Standard library only.

The small sizes are stored as 32-bit DIBs (what every icon consumer reads), the 256-pixel one as a
PNG, as Windows expects for that size.
"""

import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 256)
BACKGROUND = (0x1F, 0x5F, 0xBF)
GLYPH = (0xFF, 0xFF, 0xFF)
SUPERSAMPLE = 4


def inside_rounded_square(x, y, radius):
    # Unit square [0, 1]^2 with corners rounded by radius.
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def inside_glyph(x, y):
    # The "V": two strokes meeting at the bottom centre.
    width = 0.09
    left = distance_to_segment(x, y, 0.27, 0.25, 0.5, 0.76)
    right = distance_to_segment(x, y, 0.73, 0.25, 0.5, 0.76)
    return min(left, right) <= width


def render(size):
    """Rows of (r, g, b, a) from top to bottom."""
    rows = []
    samples = SUPERSAMPLE * SUPERSAMPLE
    for row in range(size):
        pixels = []
        for column in range(size):
            square = glyph = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (column + (sx + 0.5) / SUPERSAMPLE) / size
                    y = (row + (sy + 0.5) / SUPERSAMPLE) / size
                    if inside_rounded_square(x, y, 0.2):
                        square += 1
                        if inside_glyph(x, y):
                            glyph += 1
            alpha = round(255 * square / samples)
            if square == 0:
                pixels.append((0, 0, 0, 0))
                continue
            mix = glyph / square
            colour = tuple(round(b + (g - b) * mix) for b, g in zip(BACKGROUND, GLYPH))
            pixels.append(colour + (alpha,))
        rows.append(pixels)
    return rows


def dib(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for pixels in reversed(rows) for r, g, b, a in pixels)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # the alpha channel decides; the AND mask stays clear
    return header + colour + mask


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + b"".join(bytes(p) for p in pixels) for pixels in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def icon():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(size, rows) if size >= 256 else dib(size, rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        side = 0 if size >= 256 else size  # 0 means 256 in an icon directory
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else (
        Path(__file__).resolve().parent.parent / "resources" / "vellmora.ico")
    out.write_bytes(icon())
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
