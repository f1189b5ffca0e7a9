#!/usr/bin/env python3
"""Draws Halvren's program icon and writes it as shell/halvren.ico (16, 32 and 48 pixels,
32-bit colour with alpha). The picture: a dark blue rounded tile in the banner's colour
with a white "H", and a small red ring at the lower right for the broken link the
program looks for. Each size is drawn at 8x8 samples a pixel, so edges are smooth.

Run it again after changing the drawing; the .ico it writes is kept in the repository so
that a build needs no Python."""
import os
import struct
import sys

TILE = (0x1F, 0x3A, 0x5F)
WHITE = (0xFF, 0xFF, 0xFF)
RED = (0xD0, 0x30, 0x2A)
SAMPLES = 8


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(u, v):
    """Colour and coverage of the point (u, v) of the unit square, top left at (0, 0)."""
    # The ring at the lower right lies over everything else, with a white rim to set it off.
    d2 = (u - 0.76) ** 2 + (v - 0.76) ** 2
    if d2 <= 0.22 ** 2:
        if d2 >= 0.19 ** 2:
            return WHITE, 1.0
        if d2 >= 0.10 ** 2:
            return RED, 1.0
        return WHITE, 1.0
    if not in_round_rect(u, v, 0.03, 0.03, 0.97, 0.97, 0.18):
        return None, 0.0
    # The "H": two posts and a bar.
    if 0.14 <= v <= 0.80 and (0.17 <= u <= 0.33 or 0.55 <= u <= 0.71):
        return WHITE, 1.0
    if 0.40 <= v <= 0.53 and 0.17 <= u <= 0.71:
        return WHITE, 1.0
    return TILE, 1.0


def draw(size):
    """Rows of BGRA pixels, bottom row first as a DIB wants them."""
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            cover = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (px + (sx + 0.5) / SAMPLES) / size
                    v = (py + (sy + 0.5) / SAMPLES) / size
                    colour, a = shade(u, v)
                    if a:
                        cover += a
                        for i in range(3):
                            acc[i] += colour[i] * a
            n = SAMPLES * SAMPLES
            if cover:
                r, g, b = (round(acc[i] / cover) for i in range(3))
            else:
                r = g = b = 0
            row += bytes((b, g, r, round(255 * cover / n)))
        rows.append(bytes(row))
    rows.reverse()
    return rows


def image(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(rows)
    # The AND mask: one bit a pixel, rows padded to 32 bits; set where the pixel is clear.
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in rows:
        bits = bytearray(stride)
        for x in range(size):
            if row[4 * x + 3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "shell", "halvren.ico")
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
