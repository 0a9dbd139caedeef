#!/usr/bin/env python3
"""Grid-refinement study of the tied modulus M_T against cells per diffusion length.

Runs pwave_upscale on a two-layer deck (layers of equal thickness, nx = 2:
a layered M_T does not depend on nx) for ny = 4 ... 60 at several pairs of
sample height and frequency, takes the Richardson extrapolation of ny = 60
and 30 (second order) as reference, and prints per run h/l_p (the inverse of
"cells per diffusion length"), the relative error of Re M_T and of 1000/Q.

    tools/grid_study.py build/drivers/pwave_upscale examples/ice_small.deck > study.txt
"""
import os, re, subprocess, sys, tempfile

prog, deck_path = os.path.abspath(sys.argv[1]), sys.argv[2]
cases = [(float(a), float(b)) for a, b in (c.split('@') for c in sys.argv[3:])] or \
    [(0.2, 1.0), (0.2, 10.0), (0.2, 30.0), (0.02, 1000.0), (2.0, 1.0), (0.2, 100.0)]
base = open(deck_path).read().splitlines()
grids = [4, 6, 8, 10, 12, 16, 20, 24, 30, 40, 60]


def run(height, freq, ny):
    d = list(base)
    d[0] = f"{freq!r}   freq (Hz)"
    d[3] = f"{height!r}   domain_size (m)"
    d[4] = "2   nx"
    d[5] = f"{ny}   ny"
    d[9] = f"{ny // 2}   nl(1)"
    d[29] = f"{ny // 2}   nl(2)"
    with tempfile.TemporaryDirectory() as t:
        out = subprocess.run([prog], input="\n".join(d) + "\n", capture_output=True, text=True, cwd=t).stdout
    get = lambda label: [float(x) for x in re.search(re.escape(label) + r"\s*(.*)", out).group(1).split()]
    re_mt, im_mt = get("tied modulus M_T (Pa) = ")
    return re_mt, 1000 * im_mt / re_mt, get("cells per diffusion length = ")[0]


print("# height_m freq_Hz ny h_over_lp rel_err_Re_MT rel_err_1000_over_Q")
for height, freq in cases:
    res = {ny: run(height, freq, ny) for ny in grids}
    ref_re = (4 * res[60][0] - res[30][0]) / 3
    ref_q = (4 * res[60][1] - res[30][1]) / 3
    for ny in grids[:-1]:
        re_mt, q, cells = res[ny]
        print(f"{height} {freq} {ny} {1 / cells:.4g} {abs(re_mt / ref_re - 1):.3e} {abs(q / ref_q - 1):.3e}")
    print(f"# reference: h/l_p at ny=60 = {1 / res[60][2]:.3g}, Re M_T = {ref_re:.8g}, 1000/Q = {ref_q:.6g}")
    sys.stdout.flush()
