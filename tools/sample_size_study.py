#!/usr/bin/env python3
"""Sample-size study of tensor_upscale: how fast the tensor of a random
two-material image converges to that of a large sample, under periodic and
sealed boundaries.

    tools/sample_size_study.py BUILD_DIR OUT_DIR [--freq F] [--sizes 8,16,...]

One random image of frozen patches in wet sand (the materials of
examples/patchy_ice, cells of 3 mm, patches of about 8 cells: a smoothed
seeded noise cut at its 70th percentile) of the largest size; each smaller
sample is its lower-left corner. Writes OUT_DIR/sample_size.csv (size,
boundary, Re and Im of C11, C33, C55, and their relative distance to the
largest periodic sample) and OUT_DIR/sample_size.gp, drawn with gnuplot
into sample_size.png."""
import argparse
import csv
import math
import os
import random
import subprocess
import sys


def image(n, seed=3, length=8):
    rng = random.Random(seed)
    noise = [[rng.gauss(0, 1) for _ in range(n)] for _ in range(n)]
    # Periodic box smoothing of width `length`, twice: patches of about that size.
    for _ in range(2):
        half = length // 2
        noise = [[sum(noise[(k + d) % n][j] for d in range(-half, half + 1)) for j in range(n)] for k in range(n)]
        noise = [[sum(row[(j + d) % n] for d in range(-half, half + 1)) for j in range(n)] for row in noise]
    cut = sorted(v for row in noise for v in row)[int(0.7 * n * n)]
    return [[255 if v > cut else 0 for v in row] for row in noise]


def run(build, sample, labels, boundary, freq, out):
    cmd = [os.path.join(build, "tensor", "tensor_upscale"), sample, "--labels", labels, "--boundary", boundary,
           "--freq", str(freq), "--quiet", "-o", out]
    subprocess.run(cmd, check=True)
    with open(os.path.join(out, "tensor.csv")) as f:
        rows = list(csv.DictReader(f))
    return {k: complex(float(rows[1][k + "_re"]), float(rows[1][k + "_im"])) for k in ("c11", "c33", "c55")}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("out")
    ap.add_argument("--freq", type=float, default=10.0)
    ap.add_argument("--sizes", default="8,16,32,64,128")
    a = ap.parse_args()
    sizes = [int(s) for s in a.sizes.split(",")]
    os.makedirs(a.out, exist_ok=True)
    big = image(max(sizes))
    src = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    sample = os.path.join(src, "examples", "patchy_ice", "sample.toml")
    results = {}
    for n in sizes:
        labels = os.path.join(a.out, "labels_%d.txt" % n)
        with open(labels, "w") as f:
            for row in reversed(big[:n]):  # top row first; row 0 of `big` is the base
                f.write(" ".join(str(v) for v in row[:n]) + "\n")
        for b in ("periodic", "sealed"):
            results[(n, b)] = run(a.build, sample, labels, b, a.freq, os.path.join(a.out, "run_%d_%s" % (n, b)))
            print("%4d x %-4d %-8s C33 = %s" % (n, n, b, results[(n, b)]["c33"]), file=sys.stderr)
    ref = results[(max(sizes), "periodic")]
    with open(os.path.join(a.out, "sample_size.csv"), "w") as f:
        f.write("size,boundary,c11_re,c11_im,c33_re,c33_im,c55_re,c55_im,dist_c11,dist_c33,dist_c55,dist_im_c33\n")
        # Grouped by boundary, the groups apart by two blank lines (gnuplot's index 0, 1).
        for i, ((n, b), c) in enumerate(sorted(results.items(), key=lambda t: (t[0][1], t[0][0]))):
            if i and i % len(sizes) == 0:
                f.write("\n\n")
            d = [abs(c[k] - ref[k]) / abs(ref[k]) for k in ("c11", "c33", "c55")]
            dim = abs(c["c33"].imag - ref["c33"].imag) / abs(ref["c33"].imag)
            f.write("%d,%s,%s,%s,%s,%s,%s,%s,%.6g,%.6g,%.6g,%.6g\n" % (
                n, b, repr(c["c11"].real), repr(c["c11"].imag), repr(c["c33"].real), repr(c["c33"].imag),
                repr(c["c55"].real), repr(c["c55"].imag), d[0], d[1], d[2], dim))
    with open(os.path.join(a.out, "sample_size.gp"), "w") as f:
        f.write("""set terminal pngcairo size 900,600 font ',11'
set output 'sample_size.png'
set datafile separator ','
set logscale xy
set xlabel 'sample side (cells of 3 mm; patches of about 8 cells)'
set ylabel 'relative distance to the %d-cell periodic tensor'
set grid
set key top right
set xrange [%g:%g]
plot 'sample_size.csv' index 0 skip 1 using 1:($10 > 0 ? $10 : 1/0) with linespoints pt 7 title 'C33, periodic', \\
     '' index 1 using 1:10 with linespoints pt 5 title 'C33, sealed', \\
     '' index 0 skip 1 using 1:($12 > 0 ? $12 : 1/0) with linespoints pt 7 dt 2 title 'Im C33, periodic', \\
     '' index 1 using 1:12 with linespoints pt 5 dt 2 title 'Im C33, sealed', \\
     '' index 0 skip 1 using 1:($11 > 0 ? $11 : 1/0) with linespoints pt 7 dt 3 title 'C55, periodic', \\
     '' index 1 using 1:11 with linespoints pt 5 dt 3 title 'C55, sealed'
""" % (max(sizes), min(sizes) / 1.2, max(sizes) * 1.2))


if __name__ == "__main__":
    main()
