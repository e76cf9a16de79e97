#!/usr/bin/env python3
"""Draws the three curves of a .cal calibration file (as veltrane-lut cal
writes it) into a small PNG: input level across, output level up, the
identity as a grey diagonal. Python's standard library only.

    tools/plot_cal_curves.py example.cal docs/calibration-curves.png
"""

import struct
import sys
import zlib

SIZE = 256       # one pixel per level inside the frame
MARGIN = 8
BACKGROUND = (24, 24, 24)
GRID = (56, 56, 56)
IDENTITY = (120, 120, 120)
COLOURS = ((235, 64, 52), (64, 200, 72), (80, 120, 255))


def read_rows(path):
    rows, inside = [], False
    with open(path) as f:
        for line in f:
            word = line.strip()
            if word == "BEGIN_DATA":
                inside = True
            elif word == "END_DATA":
                inside = False
            elif inside and word:
                rows.append([float(v) for v in word.split()])
    if len(rows) != 256:
        raise SystemExit(f"{path}: expected 256 rows of data, found {len(rows)}")
    return rows


def write_png(path, width, height, pixels):
    raw = b"".join(b"\0" + bytes(c for p in pixels[y * width:(y + 1) * width] for c in p) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    rows = read_rows(sys.argv[1])
    side = SIZE + 2 * MARGIN
    pixels = [BACKGROUND] * (side * side)

    def put(x, y, colour):  # x, y in levels; y up
        px, py = MARGIN + x, MARGIN + (SIZE - 1 - y)
        if 0 <= px < side and 0 <= py < side:
            pixels[py * side + px] = colour

    for level in range(0, 256, 32):
        for t in range(256):
            put(level, t, GRID)
            put(t, level, GRID)
    for t in range(256):
        put(t, t, IDENTITY)
    for channel, colour in enumerate(COLOURS):
        previous = None
        for k in range(256):
            level = round(rows[k][channel + 1] * 255)
            # Join steps vertically so steep parts stay visible.
            low, high = (level, level) if previous is None else sorted((previous, level))
            for y in range(low, high + 1):
                put(k, y, colour)
            previous = level
    write_png(sys.argv[2], side, side, pixels)


if __name__ == "__main__":
    main()
