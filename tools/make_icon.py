#!/usr/bin/env python3
"""Draws the application icon: a white download arrow over a blue disc, as a
.ico with 256-colour images of 16, 24, 32 and 48 pixels.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZES = (16, 24, 32, 48)

# Palette: 0 is the (masked) background, 1..128 a vertical ramp for the disc,
# 129 the disc's rim, 130 the arrow, 131 the arrow's shadow; the rest unused.
RAMP = 128
TRANSPARENT, RIM, ARROW, SHADOW = 0, 129, 130, 131


def palette():
    entries = [(0, 0, 0)] * 256
    top, bottom = (84, 160, 236), (16, 64, 156)
    for i in range(RAMP):
        t = i / (RAMP - 1)
        entries[1 + i] = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    entries[RIM] = (10, 40, 104)
    entries[ARROW] = (255, 255, 255)
    entries[SHADOW] = (8, 34, 90)
    return entries


def inside_arrow(u, v):
    """u, v in 0..1 over the icon square; an arrow pointing down onto a bar."""
    shaft = 0.41 <= u <= 0.59 and 0.18 <= v <= 0.52
    head_width = (0.74 - v) * 1.25  # half-width shrinks to the tip at v = 0.74
    head = 0.46 <= v <= 0.74 and abs(u - 0.5) <= head_width
    bar = 0.26 <= u <= 0.74 and 0.78 <= v <= 0.86
    return shaft or head or bar


def pixel(size, x, y):
    # Sample at the pixel centre; the rim is one pixel wide at every size.
    cx = cy = size / 2
    px, py = x + 0.5, y + 0.5
    radius = size / 2 - 0.5
    distance = ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5
    if distance > radius:
        return TRANSPARENT
    u, v = px / size, py / size
    if inside_arrow(u, v):
        return ARROW
    shift = 1.0 / size
    if inside_arrow(u - shift, v - shift):
        return SHADOW
    if distance > radius - 1:
        return RIM
    return 1 + min(RAMP - 1, int(v * RAMP))


def image(size):
    rows = [[pixel(size, x, y) for x in range(size)] for y in range(size)]
    colour_stride = (size + 3) & ~3
    mask_stride = ((size + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        colours += bytes(row) + b"\0" * (colour_stride - size)
        bits = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette())
    return header + table + bytes(colours) + bytes(mask)


def icon_file():
    images = [image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        # A colour count of 0 stands for 256 colours.
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data = icon_file()
    with open(sys.argv[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
