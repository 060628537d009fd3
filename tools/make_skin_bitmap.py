#!/usr/bin/env python3
"""Writes the tab skin OFFICE2007.bmp: 39 x 27 pixels, 24-bit, three cells of 13 x 27.

Cell 0: the plain band (column 0) and the tab under the pointer.
Cell 1: the selected tab.  Cell 2: the selected tab under the pointer.
Usage: make_skin_bitmap.py [output path]
"""
import struct
import sys

W, H, CELL = 39, 27, 13
BAND = (191, 219, 255)
BAND_LINE = (141, 178, 227)
PAGE = (225, 234, 246)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def ramp(stops, row):
    """Colour at a row from (row, colour) stops, linear between them."""
    if row <= stops[0][0]:
        return stops[0][1]
    for (r0, c0), (r1, c1) in zip(stops, stops[1:]):
        if row <= r1:
            return mix(c0, c1, (row - r0) / (r1 - r0))
    return stops[-1][1]


def outline_at(x, y):
    """Cell columns 2 and 10 from row 4 down, rounded over rows 2..4."""
    return (y == 2 and 4 <= x <= 8) or (y == 3 and x in (3, 9)) or (y >= 4 and x in (2, 10))


def inside(x, y):
    return (y == 3 and 4 <= x <= 8) or (y >= 4 and 3 <= x <= 9)


def hover_cell(x, y):
    if y == 26:
        return BAND_LINE
    if outline_at(x, y):
        return (153, 187, 232)
    if inside(x, y):
        return ramp([(3, (205, 217, 224)), (14, (224, 228, 223)), (25, (227, 209, 152))], y)
    if x in (1, 11) and y >= 3:
        return (218, 234, 255)
    return BAND


def selected_cell(x, y, outline, rim, outside):
    if outline_at(x, y) and y <= 26:
        return outline(y)
    if inside(x, y):
        if y >= 25:
            return PAGE
        if x in (3, 9) or y == 3:
            return rim
        return ramp([(4, (245, 249, 255)), (24, (226, 235, 247))], y)
    if y == 26:
        return BAND_LINE
    return outside


def pixel(x, y):
    cell, cx = divmod(x, CELL)
    if cell == 0:
        return hover_cell(cx, y)
    if cell == 1:
        return selected_cell(cx, y, lambda _: (141, 178, 227), (208, 251, 255), BAND)
    gold = lambda row: ramp([(4, (212, 188, 141)), (8, (207, 173, 131)), (25, (254, 209, 94))], row)
    return selected_cell(cx, y, gold, (255, 255, 189), (236, 224, 203))


def bmp_bytes():
    stride = (W * 3 + 3) & ~3
    rows = []
    for y in reversed(range(H)):
        line = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (stride - W * 3)
        rows.append(bytes(line))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "src/resources/OFFICE2007.bmp"
    with open(out, "wb") as f:
        f.write(bmp_bytes())
