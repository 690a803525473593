#!/usr/bin/env python3
"""Draws tessmar's icons and About bitmap: a firmware chip with an upward
arrow (the upgrade). Writes 16-colour .ico and .bmp files with the standard
library only, so the pictures can be redrawn on any machine:

    python3 tools/make_images.py resources/
"""
import struct
import sys
from pathlib import Path

# The 16-colour VGA palette as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DGREEN, DGRAY, LGRAY, GREEN, YELLOW, WHITE, DBLUE = 0, 2, 8, 7, 10, 11, 15, 4
CLEAR = None  # transparent in icons, white in the bitmap


def draw(size):
    """Rows of palette indices (top row first) for a square picture."""
    px = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(size, y1)):
            for x in range(max(0, x0), min(size, x1)):
                px[y][x] = c

    s = size / 16.0
    # Chip body with a notch, and pins on the left and right sides.
    body = (round(3 * s), round(3 * s), round(13 * s), round(14 * s))
    for i in range(4):
        y = round((4.5 + 2.5 * i) * s)
        h = max(1, round(s))
        rect(round(1 * s), y, body[0], y + h, LGRAY)
        rect(body[2], y, round(15 * s), y + h, LGRAY)
    rect(*body, DGRAY)
    rect(body[0], body[1], body[2], body[1] + max(1, round(s / 2)), BLACK)
    rect(body[0], body[3] - max(1, round(s / 2)), body[2], body[3], BLACK)
    rect(body[0], body[1], body[0] + max(1, round(s / 2)), body[3], BLACK)
    rect(body[2] - max(1, round(s / 2)), body[1], body[2], body[3], BLACK)
    notch = max(1, round(1.5 * s))
    cx = size // 2
    rect(cx - notch // 2 - 1, body[1], cx + notch // 2 + 1, body[1] + notch, BLACK)
    # Upward arrow: head triangle and shaft.
    top, mid, bottom = round(5 * s), round(8.5 * s), round(12.5 * s)
    for y in range(top, mid):
        half = (y - top) + 1
        rect(cx - half, y, cx + half, y + 1, GREEN)
    shaft = max(1, round(1.5 * s))
    rect(cx - shaft, mid, cx + shaft, bottom, GREEN)
    if size >= 32:
        rect(cx - shaft, bottom - max(1, round(s / 2)), cx + shaft, bottom, DGREEN)
    return px


def pack4(row):
    """One row as 4-bit pixels, padded to a multiple of 4 bytes."""
    out = bytearray()
    for i in range(0, len(row), 2):
        out.append((row[i] << 4) | row[i + 1])
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def dib(px, icon):
    size = len(px)
    height = size * 2 if icon else size
    header = struct.pack("<IiiHHIIiiII", 40, size, height, 1, 4, 0, 0, 0, 0, 16, 0)
    colour_rows = [[WHITE if c is None and not icon else (c or 0) for c in row] for row in px]
    xor = b"".join(pack4(row) for row in reversed(colour_rows))
    data = header + palette_bytes() + xor
    if icon:
        mask = bytearray()
        for row in reversed(px):
            bits = bytearray((size + 31) // 32 * 4)
            for x, c in enumerate(row):
                if c is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        data += bytes(mask)
    return data


def write_ico(path, sizes):
    images = [dib(draw(n), icon=True) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    path.write_bytes(out + b"".join(images))


def write_bmp(path, size):
    body = dib(draw(size), icon=False)
    offset = 14 + 40 + 16 * 4
    path.write_bytes(struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body)


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "resources")
    out.mkdir(parents=True, exist_ok=True)
    write_ico(out / "tessmar_small.ico", [16])
    write_ico(out / "tessmar_about.ico", [32, 16])
    write_bmp(out / "about.bmp", 64)


if __name__ == "__main__":
    main()
