"""Shared pieces of the module's tests: the module, tensor_upscale, the
materials of the bundled patchy-ice example, and sample files written in a
scratch folder so that the program and the module read the same sample."""
import csv
import os
import subprocess

import numpy as np
import pytest

import upscale

PROGRAM = os.environ.get("UPSCALE_TENSOR_UPSCALE", "")
EXAMPLES = os.environ.get("UPSCALE_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))

# Wet sand and a frozen patch (ice model), SI units.
SAND = dict(akf=2.25e9, ro2=1000, eta=1.798e-3, ro1=2650, ro3=920, phi_a=0.4, phi_layer1=0.3,
            capa_1_0=1e-12, capa_3_0=5e-13, coef_b13=1e8, ak_air=1.42e5, xmu_air=1e3,
            ak_s1=3.6e10, xmu_s1=4.4e10, ak_s3=8.58e9, xmu_s3=3.32e9)
PATCH = dict(SAND, phi_layer1=0.05)


def patchy_labels(ny=12, nx=10, seed=3):
    """A random patchy image of labels 0 and 7, rows from the top."""
    rng = np.random.default_rng(seed)
    return np.where(rng.random((ny, nx)) < 0.35, 7, 0).astype(np.int16)


def patchy_sample(ny=12, nx=10, seed=3, cell_size=2e-3):
    """The patchy image of sand and patch as a sample built in Python."""
    materials = {0: dict(SAND, name="sand"), 7: dict(PATCH, name="patch")}
    return upscale.Sample(patchy_labels(ny, nx, seed), materials, cell_size=cell_size)


def write_grid(path, a, fmt):
    with open(path, "w") as f:
        for row in a:
            f.write(" ".join(fmt(v) for v in row) + "\n")


def write_sample_file(folder, labels, materials, cell_size, freqs, model="ice", water=None, extra=""):
    """A sample file with a plain-text label image (and water image)."""
    folder = str(folder)
    write_grid(os.path.join(folder, "labels.txt"), labels, lambda v: str(int(v)))
    text = f'model = "{model}"\ncell_size = {float(cell_size)!r}\nlabels = "labels.txt"\n'
    if water is not None:
        write_grid(os.path.join(folder, "water.txt"), water, lambda v: repr(float(v)))
        text += 'water = "water.txt"\n'
    text += "frequencies = [" + ", ".join(repr(float(f)) for f in freqs) + "]\n" + extra
    for label, (name, fields) in materials.items():
        text += f'[[material]]\nname = "{name}"\nlabel = {label}\n' + "".join(f"{k} = {float(v)!r}\n" for k, v in fields.items())
    path = os.path.join(folder, "sample.toml")
    with open(path, "w") as f:
        f.write(text)
    return path


def run_program(args, cwd):
    """tensor_upscale ARGS -o OUT --quiet: (exit status, stderr, the table's text or None)."""
    if not PROGRAM:
        pytest.skip("tensor_upscale is not built")
    out = os.path.join(str(cwd), "out")
    p = subprocess.run([PROGRAM, *args, "-o", out, "--quiet"], capture_output=True, text=True, cwd=str(cwd))
    table = os.path.join(out, "tensor.csv")
    text = open(table).read() if os.path.exists(table) else None
    return p.returncode, p.stderr, text


def read_table(text):
    rows = list(csv.reader(text.splitlines()))
    # An empty cell is a modulus the run does not measure (the coupling under sealed boundaries).
    return rows[0], rows[1], [[float(v) if v != "" else float("nan") for v in r] for r in rows[2:]]


@pytest.fixture
def small_sample():
    return patchy_sample(6, 5)
