"""The result against symmetries and second routes (the reduced sweep of a
spectrum and its direct solves among them), with tolerances from the
result's own error bound and the unit roundoff."""
import os
import subprocess
import sys

import numpy as np
import pytest

import upscale
from conftest import EXAMPLES, PATCH, SAND, patchy_labels, patchy_sample, write_sample_file

EPS = np.finfo(float).eps
FREQS = [1e-2, 1.0, 1e2, 1e4]
SPECTRUM = np.logspace(-2, 4, 9)  # enough for the reduced sweep to be chosen by itself


def close(a, b, rel):
    return np.all(np.abs(a - b) <= rel * np.maximum(np.abs(a), np.abs(b)))


def test_transposed_view_is_its_copy():
    """Any layout of the array: a transposed view gives what its copy gives;
    the transposed sample exchanges C11 and C33 (rows are read as rows)."""
    labels = patchy_labels(9, 7, seed=8)
    m = {0: dict(SAND), 7: dict(PATCH)}
    a = upscale.tensor(upscale.Sample(labels, m, cell_size=1e-3), FREQS)
    b = upscale.tensor(upscale.Sample(np.ascontiguousarray(labels.T), m, cell_size=1e-3), FREQS)
    c = upscale.tensor(upscale.Sample(labels.T, m, cell_size=1e-3), FREQS)
    assert np.array_equal(b.C, c.C)
    assert close(a.C[:, 0, 0], b.C[:, 1, 1], a.forward_error_bound + b.forward_error_bound + 64 * EPS)


def test_waves_two_routes():
    s = patchy_sample(6, 6, seed=9, cell_size=1e-3)
    r = upscale.tensor(s, FREQS, angles=[0, 90])
    C = r.C
    scale0 = (np.abs(C[:, 1, 1]) + np.abs(C[:, 2, 2])) / np.abs(C[:, 1, 1])
    scale90 = (np.abs(C[:, 0, 0]) + np.abs(C[:, 2, 2])) / np.abs(C[:, 0, 0])
    # The Christoffel roots at 0 and 90 degrees against the moduli' own waves.
    assert close(r.velocity(0), r.vp0, 32 * EPS * scale0)
    assert close(r.velocity(90), r.vp90, 32 * EPS * scale90)
    assert close(r.velocity(0, wave="sv"), r.vs0, 32 * EPS * scale0)
    assert close(r.q1000(0), r.q1000_p0, 1e3 * EPS * scale0 / np.abs(C[:, 1, 1].imag / C[:, 1, 1].real))
    v = r.velocity([0.0, 45.0, 90.0])
    assert v.shape == (len(FREQS), 3) and np.array_equal(v[:, 1], r.velocity(45.0))
    assert r.freq.tolist() == FREQS and len(r) == len(FREQS)


def test_sample_from_arrays_round_trip_and_defaults():
    labels = patchy_labels(4, 3)
    s = upscale.Sample(labels, {0: dict(SAND), 7: dict(PATCH)}, cell_size=1e-3)
    assert s.shape == (4, 3) and s.nx == 3 and s.ny == 4 and s.model == "ice"
    assert np.array_equal(s.water, np.where(labels == 7, PATCH["phi_layer1"], SAND["phi_layer1"]))
    assert upscale.Sample(labels, {0: upscale.Material(**SAND), 7: dict(PATCH)}, 1e-3).materials[0]["name"] == "label 0"
    assert "s3" not in s.materials[0]
    m = upscale.Material({"akf": 1.0}, ro2=2.0)
    assert m.akf == 1.0 and m.ro2 == 2.0 and m.fields == {"akf": 1.0, "ro2": 2.0}
    with pytest.raises(AttributeError):
        m.eta


def test_lame_3d_of_the_sample_file_kept_unless_asked(tmp_path):
    path = write_sample_file(tmp_path, patchy_labels(4, 3), {0: ("sand", SAND), 7: ("patch", PATCH)}, 1e-3, [1.0],
                             extra='lame = "3d"\n')
    s = upscale.Sample.from_file(path)
    own, asked, other = (upscale.tensor(s, **lame).C for lame in ({}, {"lame": "3d"}, {"lame": "2d"}))
    assert s.lame == "3d" and np.array_equal(own, asked) and not np.array_equal(own, other)


def test_to_xarray():
    xr = pytest.importorskip("xarray")
    s = upscale.Sample(patchy_labels(4, 3), {0: dict(SAND), 7: dict(PATCH)}, cell_size=1e-3)
    r = upscale.tensor(s, FREQS)
    d = r.to_xarray()
    assert isinstance(d, xr.Dataset) and np.array_equal(d["C"].values, r.C)
    assert np.array_equal(d["freq"].values, r.freq)


def test_the_example_script_runs(tmp_path):
    script = os.path.join(EXAMPLES, "python", "patchy_spectrum.py")
    p = subprocess.run([sys.executable, script, str(tmp_path / "plot.png"), "--cells", "12", "--frequencies", "3"],
                       capture_output=True, text=True, cwd=str(tmp_path),
                       env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.abspath(upscale.__file__))))
    assert p.returncode == 0, p.stderr
    table = [line.split() for line in p.stdout.splitlines() if line[:1] == " " and "freq_hz" not in line]
    assert [float(row[0]) for row in table] == [1e-2, 3.162e1, 1e5]
    assert all(3000 < float(row[1]) < 5000 for row in table)


@pytest.mark.parametrize("boundary", ["periodic", "sealed"])
def test_reduced_sweep_agrees_with_direct_solves_within_the_bounds(boundary):
    s = patchy_sample()
    direct = upscale.tensor(s, SPECTRUM, boundary=boundary, frequency_method="direct")
    swept = upscale.tensor(s, SPECTRUM, boundary=boundary)
    assert direct.frequency_method == "direct" and swept.frequency_method == "reduced"
    assert direct.full_factorisations == len(SPECTRUM) * (1 if boundary == "periodic" else 2)
    assert 0 < swept.full_factorisations < direct.full_factorisations
    assert np.array_equal(swept.freq, direct.freq)
    # Each route's value lies within its reported relative bound of the exact
    # modulus, so the two differ by at most the sum of the bounds (and the
    # rounding of the difference itself).
    bound = swept.forward_error_bound + direct.forward_error_bound + 2 * EPS
    assert np.all(swept.forward_error_bound <= 1e-6)
    for i, j in ((0, 0), (0, 1), (1, 1), (2, 2)):
        a, b = swept.C[:, i, j], direct.C[:, i, j]
        assert np.all(np.abs(a - b) <= bound * np.abs(b)), (i, j, np.abs(a - b) / np.abs(b), bound)


def test_method_and_tolerance_asked():
    few = upscale.tensor(patchy_sample(), SPECTRUM[:7])
    forced = upscale.tensor(patchy_sample(), SPECTRUM[:3], frequency_method="reduced", reduced_tolerance=1e-6)
    assert few.frequency_method == "direct" and few.full_factorisations == 7  # below the automatic threshold
    assert forced.frequency_method == "reduced" and len(forced) == 3
