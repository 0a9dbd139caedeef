#!/usr/bin/env python3
"""Draws labels.png: a 64 x 64 sample of wet sand (label 0) holding frozen
patches (label 255). The patches are where a smoothed random field exceeds
the level that leaves 30 % of the cells frozen; the field is periodic, so the
patches wrap around the edges. Standard library only; the seed fixes the
picture.  Usage: make_labels.py [OUT.png]"""
import random, struct, sys, zlib

N, SEED, FROZEN, PASSES = 64, 20261207, 0.30, 6

random.seed(SEED)
field = [[random.random() for _ in range(N)] for _ in range(N)]
for _ in range(PASSES):  # periodic 3 x 3 box blur: correlated patches
    field = [[sum(field[(y + dy) % N][(x + dx) % N] for dy in (-1, 0, 1) for dx in (-1, 0, 1)) / 9
              for x in range(N)] for y in range(N)]
level = sorted(v for row in field for v in row)[int((1 - FROZEN) * N * N)]
labels = [[255 if v >= level else 0 for v in row] for row in field]

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

raw = b"".join(b"\x00" + bytes(row) for row in labels)  # filter type 0 per row
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", N, N, 8, 0, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
with open(sys.argv[1] if len(sys.argv) > 1 else "labels.png", "wb") as f:
    f.write(png)
print(f"{sum(r.count(255) for r in labels)} of {N * N} cells frozen")
