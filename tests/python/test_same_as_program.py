"""The module computes what tensor_upscale computes, to the last digit
written: the same writer makes the same bytes of tensor.csv, and the
result's arrays hold the same doubles, for a deck, a sample file and an
array built in Python."""
import os

import numpy as np

import upscale
from conftest import EXAMPLES, PATCH, SAND, patchy_labels, read_table, run_program, write_sample_file


def check_same(result, text, tmp_path):
    """The module's tensor.csv is the program's, byte for byte, and every
    column equals the result's array of that name (rho one value for all),
    Cij_re and Cij_im the parts of C (%.17g is exact)."""
    path = os.path.join(str(tmp_path), "from_python.csv")
    result.to_csv(path)
    assert open(path).read() == text
    names, _, rows = read_table(text)
    for k, name in enumerate(names):
        if name == "freq_hz":
            value = result.freq
        elif name[0] == "c" and name[3:] in ("_re", "_im"):
            c = result.C[:, "135".index(name[1]), "135".index(name[2])]
            value = c.real if name.endswith("_re") else c.imag
        else:
            value = result.columns[name] if name in result.columns else getattr(result, name)
        assert np.array_equal(np.broadcast_to(value, len(rows)), [r[k] for r in rows], equal_nan=True), name


def test_deck_with_angles_and_error_estimate(tmp_path):
    deck = os.path.join(EXAMPLES, "ice_small.deck")
    # The deck's ten frequencies: both would sweep them by the reduced
    # system; here both solve every frequency directly, as asked.
    status, err, text = run_program([deck, "--angles", "30,60", "--estimate-error", "--frequency-method", "direct"],
                                    tmp_path)
    assert status == 0, err
    r = upscale.tensor(upscale.Sample.from_deck(deck), angles=[30, 60], estimate_error=True, frequency_method="direct")
    check_same(r, text, tmp_path)
    assert {"c11", "c13", "c33", "c55"} <= set(r.error_estimate)
    # The angle columns are the result's own waves at those angles.
    assert np.array_equal(r.velocity([30, 60])[:, 1], r.columns["vp_60"])
    assert np.array_equal(r.q1000(30, wave="sv"), r.columns["q1000_sv_30"])


def test_bundled_sample_file(tmp_path):
    path = os.path.join(EXAMPLES, "patchy_ice", "sample.toml")
    status, err, text = run_program([path, "--freq", "1e-2:1e5:2", "--lame", "3d", "--tests", "p", "--boundary", "sealed"],
                                    tmp_path)
    assert status == 0, err
    s = upscale.Sample.from_file(path)
    assert s.shape == (64, 64) and s.cell_size == 3e-3 and len(s.frequencies) == 15
    # --freq F1:F2:N and the sample file's scale are the same log scale.
    freqs = np.array(read_table(text)[2])[:, 0]
    r = upscale.tensor(s, freqs, lame="3d", tests="p", boundary="sealed")
    check_same(r, text, tmp_path)
    assert np.all(np.isnan(r.C[:, 2, 2])) and np.all(np.isnan(r.vs0))


def test_array_built_in_python(tmp_path):
    labels = patchy_labels(12, 10)
    rng = np.random.default_rng(5)
    water = np.where(labels == 7, 0.02 + 0.1 * rng.random(labels.shape), 0.2 + 0.15 * rng.random(labels.shape))
    freqs = [0.3, 30.0, 3000.0]
    path = write_sample_file(tmp_path, labels, {0: ("sand", SAND), 7: ("patch", PATCH)}, 1.5e-3, freqs, water=water)
    status, err, text = run_program([path], tmp_path)
    assert status == 0, err
    s = upscale.Sample(labels, {0: upscale.Material(name="sand", **SAND), 7: dict(PATCH, name="patch")},
                       cell_size=1.5e-3, water=water)
    assert np.array_equal(s.labels, labels) and np.array_equal(s.water, water)
    check_same(upscale.tensor(s, freqs), text, tmp_path)


def test_shaley_sand_array(tmp_path):
    shale = dict(akf=2.25e9, ro2=1000, eta=1e-3, ro1=2650, ro3=2600, phi_layer1=0.25, s3=0.2, rs1=5e-5,
                 rs3=1e-6, coef_b13=1e8, ak_s1=3.6e10, xmu_s1=4.4e10, ak_s3=2.1e10, xmu_s3=7e9)
    clay = dict(shale, s3=0.6, phi_layer1=0.15)
    labels = np.array([[1, 1, 1, 1], [2, 2, 2, 2], [1, 2, 1, 2]], dtype=np.uint8)
    path = write_sample_file(tmp_path, labels, {1: ("sand", shale), 2: ("clay", clay)}, 5e-3, [100.0],
                             model="shaley-sand")
    status, err, text = run_program([path, "--tests", "s"], tmp_path)
    assert status == 0, err
    s = upscale.Sample(labels, {1: dict(shale, name="sand"), 2: dict(clay, name="clay")}, 5e-3, model="shale")
    check_same(upscale.tensor(s, 100.0, tests="s"), text, tmp_path)


def test_reduced_sweep(tmp_path):
    """The reduced sweep, chosen by both for these many frequencies."""
    freqs = np.logspace(-2, 4, 9)
    path = write_sample_file(tmp_path, patchy_labels(), {0: ("sand", SAND), 7: ("patch", PATCH)}, 2e-3, freqs)
    status, err, text = run_program([path, "--reduced-tolerance", "1e-7"], tmp_path)
    assert status == 0, err
    r = upscale.tensor(upscale.Sample.from_file(path), reduced_tolerance=1e-7)
    assert r.frequency_method == "reduced"
    check_same(r, text, tmp_path)
