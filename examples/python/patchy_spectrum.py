"""Frozen patches in wet sand, drawn with NumPy: the spectrum of the
effective stiffness, with the P velocities and 1000/Q along the vertical
and the horizontal, plotted with matplotlib where it is installed.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/patchy_spectrum.py [OUT.png] [--cells N]
"""
import argparse
import sys

import numpy as np

import upscale

SAND = dict(akf=2.25e9, ro2=1000, eta=1.798e-3, ro1=2650, ro3=920, phi_a=0.4, phi_layer1=0.3,
            capa_1_0=1e-12, capa_3_0=5e-13, coef_b13=1e8, ak_air=1.42e5, xmu_air=1e3,
            ak_s1=3.6e10, xmu_s1=4.4e10, ak_s3=8.58e9, xmu_s3=3.32e9)


def patchy_image(n, seed=1, patches=6):
    """An n x n label image: 0 wet sand, 1 discs of frozen sand (rows from the top)."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:n, 0:n]
    labels = np.zeros((n, n), dtype=np.uint8)
    for cx, cy, r in zip(rng.uniform(0, n, patches), rng.uniform(0, n, patches), rng.uniform(n / 12, n / 5, patches)):
        labels[(x - cx) ** 2 + (y - cy) ** 2 < r * r] = 1
    return labels


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("plot", nargs="?", default="patchy_spectrum.png", help="the figure to write (needs matplotlib)")
    p.add_argument("--cells", type=int, default=48, help="cells along each side")
    p.add_argument("--frequencies", type=int, default=15, help="frequencies from 1e-2 to 1e5 Hz")
    a = p.parse_args(argv)
    labels = patchy_image(a.cells)
    sample = upscale.Sample(labels, {0: upscale.Material(name="wet sand", **SAND),
                                     1: upscale.Material(name="frozen patch", **dict(SAND, phi_layer1=0.05))},
                            cell_size=3e-3, model="ice")
    result = upscale.tensor(sample, np.logspace(-2, 5, a.frequencies), progress=True)
    print(f"{sample}: {100 * labels.mean():.0f} % frozen, mean density {result.rho:.1f} kg/m3")
    print("    freq_hz      vp0 m/s   1000/Q_p0     vp90 m/s  1000/Q_p90   bound")
    for f, v0, q0, v90, q90, b in zip(result.freq, result.vp0, result.q1000_p0, result.vp90, result.q1000_p90,
                                      result.forward_error_bound):
        print(f"{f:11.4g} {v0:12.2f} {q0:11.4f} {v90:12.2f} {q90:11.4f} {b:7.1e}")
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot", file=sys.stderr)
        return 0
    fig, (ax_v, ax_q) = plt.subplots(2, 1, sharex=True, figsize=(6, 6))
    for theta in (0, 45, 90):
        ax_v.semilogx(result.freq, result.velocity(theta), label=f"P at {theta} deg")
        ax_q.semilogx(result.freq, result.q1000(theta), label=f"P at {theta} deg")
    ax_v.set_ylabel("phase velocity, m/s")
    ax_q.set_ylabel("1000/Q")
    ax_q.set_xlabel("frequency, Hz")
    ax_v.legend()
    fig.tight_layout()
    fig.savefig(a.plot, dpi=120)
    print(f"plot: {a.plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
