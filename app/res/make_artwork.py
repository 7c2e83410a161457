#!/usr/bin/env python3
"""Writes the program's pictures: the background of the header frame (a 456 x 88 bitmap, 24 bits,
bottom-up, no colour table) and the application icon (one 51 x 40 image, 32 bits with alpha).

    make_artwork.py BITMAP.bmp ICON.ico
"""
import math
import struct
import sys

BMP_W, BMP_H = 456, 88
ICON_W, ICON_H = 51, 40
PIXELS_PER_METRE = 3780  # 96 dots per inch


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(lerp(x, y, t) for x, y in zip(c1, c2))


def background_pixel(x, y):
    """Colour (r, g, b) at x, y, y counted from the top: a dusk sky over two hills, a sun, and the
    dotted arc of a route."""
    u, v = x / (BMP_W - 1), y / (BMP_H - 1)
    sky = mix((28, 58, 112), (96, 160, 196), 0.55 * u + 0.45 * v)
    # The sun: a soft disc on the right.
    d = math.hypot(x - 380, y - 30)
    colour = mix((250, 226, 160), sky, (d - 14) / 10)
    # Two hills, the far one lighter.
    far = 62 - 10 * math.sin(x / 60.0 + 0.8)
    near = 74 - 8 * math.sin(x / 38.0 + 2.1)
    if y >= far:
        colour = mix((54, 112, 110), (40, 92, 96), (y - far) / 20)
    if y >= near:
        colour = mix((34, 80, 70), (22, 58, 52), (y - near) / 14)
    # A route: dots along an arc from the left hill up towards the sun.
    for i in range(14):
        t = i / 13
        px = lerp(40, 350, t)
        py = 66 - 46 * math.sin(math.pi * t * 0.9)
        if math.hypot(x - px, y - py) <= 2.2:
            colour = (236, 240, 232)
    return tuple(int(round(c)) for c in colour)


def write_bitmap(path):
    rows = []
    for y in range(BMP_H - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(BMP_W):
            r, g, b = background_pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (-len(row) % 4)
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, BMP_W, BMP_H, 1, 24, 0, len(pixels),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    assert len(info) + len(pixels) == 120424
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def icon_pixel(x, y):
    """(r, g, b, a) at x, y from the top: a map pin over a small globe, edges anti-aliased."""
    cx, cy = ICON_W / 2, ICON_H / 2
    # The globe: a disc with a lighter band.
    d = math.hypot(x + 0.5 - cx, y + 0.5 - (cy + 4))
    globe = max(0.0, min(1.0, 15.5 - d))
    colour = (40, 110, 170) if abs(y + 0.5 - (cy + 4)) > 3 else (90, 170, 210)
    alpha = globe
    # The pin: a round head and a point, in front of the globe.
    hd = math.hypot(x + 0.5 - cx, y + 0.5 - 12)
    head = max(0.0, min(1.0, 8.5 - hd))
    tip = 0.0
    if 12 <= y + 0.5 <= 28:
        half = 8.0 * (28 - (y + 0.5)) / 16
        tip = max(0.0, min(1.0, half - abs(x + 0.5 - cx) + 0.5))
    pin = max(head, tip)
    if hd < 3.0:
        pin_colour = (250, 250, 244)
    else:
        pin_colour = (214, 74, 52)
    colour = mix(colour, pin_colour, pin / max(pin + alpha * (1 - pin), 1e-9))
    alpha = pin + alpha * (1 - pin)
    return tuple(int(round(c)) for c in colour) + (int(round(255 * alpha)),)


def write_icon(path):
    xor = bytearray()
    mask_stride = ((ICON_W + 31) // 32) * 4
    mask = bytearray()
    for y in range(ICON_H - 1, -1, -1):  # bottom-up
        mask_row = bytearray(mask_stride)
        for x in range(ICON_W):
            r, g, b, a = icon_pixel(x, y)
            xor += bytes((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    info = struct.pack("<IiiHHIIiiII", 40, ICON_W, 2 * ICON_H, 1, 32, 0, len(xor) + len(mask),
                       0, 0, 0, 0)
    image = info + xor + mask
    assert len(image) == 8520
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", ICON_W, ICON_H, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write_bitmap(sys.argv[1])
    write_icon(sys.argv[2])
