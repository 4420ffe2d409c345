#!/usr/bin/env python3
"""Draws the plug-in's icon (resource 106) into fieldrestore.ico: 32x32 and
16x16, 32-bit colour with an AND mask. A diagonal stripe crosses a dark tile;
in its upper half every other row is pushed sideways, the comb of an
interlaced frame, and in its lower half the stripe runs whole, as the filter
restores it.

    resources/make_icon.py        rewrites resources/fieldrestore.ico
"""
import os
import struct

BACKGROUND = (70, 44, 28)  # blue, green, red
EDGE = (140, 100, 60)
STRIPE = (40, 170, 250)
COMB = (30, 110, 230)


def pixel(n, x, y):
    """Colour (b, g, r, a) of pixel (x, y), y counted from the top."""
    if min(x, y, n - 1 - x, n - 1 - y) == 0:
        return EDGE + (255,)
    combed = y < n // 2
    shift = max(2, n // 8) if combed and y % 2 else 0
    centre = n * 17 // 20 - y * 7 // 10
    if abs(x + shift - centre) < max(2, n // 7):
        return (COMB if combed else STRIPE) + (255,)
    return BACKGROUND + (255,)


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom row first
        rows.append(b"".join(bytes(pixel(n, x, y)) for x in range(n)))
    colour = b"".join(rows)
    mask_row = (n + 31) // 32 * 4
    mask = bytearray()
    for y in reversed(range(n)):
        bits = bytearray(mask_row)
        for x in range(n):
            if pixel(n, x, y)[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def main():
    sizes = [32, 16]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fieldrestore.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
