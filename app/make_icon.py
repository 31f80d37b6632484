#!/usr/bin/env python3
"""Draws the program's icon and writes it as a 32 x 32, 256-colour .ico file.

The picture: a deep-blue rounded tile with a white ring and tail, the letter Q, and an
amber dot coming in from the upper left like a block of text arriving. Edges are
smoothed by drawing each pixel at 4 x 4 sample points; the colours that result are
then fitted into one palette of at most 256 entries.

Usage: make_icon.py OUTPUT.ico
"""

import math
import struct
import sys

SIZE = 32
SAMPLES = 4

TILE_TOP = (38, 92, 178)
TILE_BOTTOM = (16, 44, 110)
RING = (250, 250, 250)
DOT = (255, 176, 32)


def inside_rounded_square(x, y, margin=1.0, radius=6.0):
    low, high = margin, SIZE - margin
    if not (low <= x <= high and low <= y <= high):
        return False
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def on_ring(x, y):
    distance = math.hypot(x - 16.0, y - 16.5)
    return 6.5 <= distance <= 10.0


def on_tail(x, y):
    # A thick stroke from inside the ring's lower right out past its edge.
    ax, ay, bx, by = 17.5, 18.5, 25.5, 27.0
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= 1.9


def on_dot(x, y):
    return math.hypot(x - 7.5, y - 7.5) <= 3.2


def colour_at(x, y):
    """The colour at one sample point, or None outside the tile."""
    if not inside_rounded_square(x, y):
        return None
    if on_dot(x, y):
        return DOT
    if on_ring(x, y) or on_tail(x, y):
        return RING
    t = y / SIZE
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM))


def render():
    """Rows of (r, g, b, opaque) pixels, top row first."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits = []
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        hits.append(c)
            # A pixel belongs to the icon when most of it lies on the tile; its colour
            # averages the samples that do.
            if len(hits) * 2 < SAMPLES * SAMPLES:
                row.append((0, 0, 0, False))
                continue
            r, g, b = (round(sum(c[i] for c in hits) / len(hits)) for i in range(3))
            row.append((r, g, b, True))
        rows.append(row)
    return rows


def palette_for(rows):
    """The palette and a colour-to-index map, coarsening colours until 256 suffice."""
    for step in (1, 2, 4, 8, 16, 32):
        def fit(c, step=step):
            return tuple(min(255, (v + step // 2) // step * step) for v in c)
        colours = sorted({fit(p[:3]) for row in rows for p in row if p[3]} | {(0, 0, 0)})
        if len(colours) <= 256:
            index = {c: i for i, c in enumerate(colours)}
            return colours, lambda c: index[fit(c)]
    raise RuntimeError("no palette of 256 colours fits")


def ico_bytes(rows):
    colours, index_of = palette_for(rows)
    colours = colours + [(0, 0, 0)] * (256 - len(colours))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    pixels = bytearray()
    mask = bytearray()
    # Bitmaps are stored bottom row first; mask rows are padded to 32 bits.
    for row in reversed(rows):
        pixels += bytes(index_of(p[:3]) if p[3] else 0 for p in row)
        bits = 0
        for p in row:
            bits = (bits << 1) | (0 if p[3] else 1)
        mask += struct.pack(">I", bits)
    image = header + palette + bytes(pixels) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(ico_bytes(render()))


if __name__ == "__main__":
    main()
