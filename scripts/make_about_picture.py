#!/usr/bin/env python3
"""Draws the About box picture: a compact cassette standing on its side, 194 x 306 pixels,
as an 8-bit palette BMP. Our own drawing, made from simple shapes; standard library only."""
import math
import struct
import sys

WIDTH, HEIGHT = 194, 306

PALETTE = [
    (24, 28, 40),     # 0 background, night blue
    (58, 60, 66),     # 1 shell
    (84, 86, 94),     # 2 shell edge
    (232, 224, 200),  # 3 label
    (200, 60, 40),    # 4 label stripe red
    (236, 150, 40),   # 5 label stripe orange
    (30, 30, 30),     # 6 window / hub holes
    (120, 80, 50),    # 7 tape, brown
    (250, 250, 250),  # 8 hub
    (150, 150, 156),  # 9 screws
]


def inside_rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(x, y):
    # The cassette stands upright: its long side runs down the picture.
    if not inside_rounded(x, y, 12, 16, 181, 289, 10):
        return 0
    if not inside_rounded(x, y, 16, 20, 177, 285, 8):
        return 2
    for sx, sy in ((26, 30), (167, 30), (26, 275), (167, 275), (96, 282)):
        if (x - sx) ** 2 + (y - sy) ** 2 <= 9:
            return 9
    if 30 <= x <= 163 and 40 <= y <= 266:
        # The label, with the window for the reels in its middle.
        if 70 <= x <= 123 and 70 <= y <= 236:
            for hy in (108, 198):
                d = math.hypot(x - 96, y - hy)
                if d <= 9:
                    angle = math.atan2(y - hy, x - 96)
                    return 6 if math.cos(6 * angle) > 0.5 and d > 4 else 8
                if d <= 24 and hy == 108:
                    return 7  # a full reel of tape on one side
                if d <= 14:
                    return 7
            return 6
        if 48 <= y <= 58:
            return 4
        if 60 <= y <= 64:
            return 5
        return 3
    return 1


def main(path):
    row_bytes = (WIDTH + 3) & ~3
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytes(colour_at(x, y) for x in range(WIDTH))
        pixels += row + bytes(row_bytes - WIDTH)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE + [(0, 0, 0)] * (256 - len(PALETTE)))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open(path, "wb") as out:
        out.write(header + info + palette + pixels)


if __name__ == "__main__":
    main(sys.argv[1])
