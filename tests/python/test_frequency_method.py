"""The frequencies of a spectrum solved by the reduced sweep and one by one:
the same moduli within the bounds each route reports, the method recorded,
the same table as the program's for the same method."""
import numpy as np
import pytest

import upscale
from conftest import PATCH, SAND, patchy_labels, run_program, write_sample_file

FREQS = np.logspace(-2, 4, 9)  # enough for the reduced sweep to be chosen by itself
U = np.finfo(float).eps / 2


def sample():
    return upscale.Sample(patchy_labels(), {0: dict(SAND, name="sand"), 7: dict(PATCH, name="patch")}, cell_size=2e-3)


@pytest.mark.parametrize("boundary", ["periodic", "sealed"])
def test_reduced_sweep_agrees_with_direct_solves_within_the_bounds(boundary):
    s = sample()
    direct = upscale.tensor(s, FREQS, boundary=boundary, frequency_method="direct")
    swept = upscale.tensor(s, FREQS, boundary=boundary)
    assert direct.frequency_method == "direct" and swept.frequency_method == "reduced"
    assert direct.full_factorisations == len(FREQS) * (1 if boundary == "periodic" else 2)
    assert 0 < swept.full_factorisations < direct.full_factorisations
    assert np.array_equal(swept.freq, direct.freq)
    # Each route's value lies within its reported relative bound of the exact
    # modulus, so the two differ by at most the sum of the bounds (and the
    # rounding of the difference itself).
    bound = swept.forward_error_bound + direct.forward_error_bound + 4 * U
    assert np.all(swept.forward_error_bound <= 1e-6)
    for i, j in ((0, 0), (0, 1), (1, 1), (2, 2)):
        a, b = swept.C[:, i, j], direct.C[:, i, j]
        assert np.all(np.abs(a - b) <= bound * np.abs(b)), (i, j, np.abs(a - b) / np.abs(b), bound)


def test_method_and_tolerance_asked_and_refused():
    s = sample()
    few = upscale.tensor(s, FREQS[:7])  # below the automatic threshold
    assert few.frequency_method == "direct" and few.full_factorisations == 7
    forced = upscale.tensor(s, FREQS[:3], frequency_method="reduced", reduced_tolerance=1e-6)
    assert forced.frequency_method == "reduced" and len(forced) == 3
    with pytest.raises(ValueError, match="frequency_method"):
        upscale.tensor(s, FREQS, frequency_method="fast")
    for bad in (0.0, 1e-2, float("nan")):
        with pytest.raises(ValueError, match="reduced_tolerance"):
            upscale.tensor(s, FREQS, reduced_tolerance=bad)


def test_reduced_rows_are_the_programs(tmp_path):
    path = write_sample_file(tmp_path, patchy_labels(), {0: ("sand", SAND), 7: ("patch", PATCH)}, 2e-3, FREQS)
    status, err, text = run_program([path, "--reduced-tolerance", "1e-7"], tmp_path)
    assert status == 0, err
    r = upscale.tensor(upscale.Sample.from_file(path), reduced_tolerance=1e-7)
    assert r.frequency_method == "reduced"
    out = tmp_path / "from_python.csv"
    r.to_csv(str(out))
    assert out.read_text() == text
