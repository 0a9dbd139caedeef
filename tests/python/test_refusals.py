"""Every refusal of the program has a Python exception with the same
sentence, and the interpreter and the module go on working after it."""
import math
import os

import numpy as np
import pytest

import upscale
from conftest import EXAMPLES, PATCH, SAND, patchy_labels, run_program, write_sample_file


def still_works(sample):
    r = upscale.tensor(sample, 10.0)
    assert r.C.shape == (1, 3, 3) and np.isfinite(r.C[0, 1, 1])


def program_says(tmp_path, path):
    """The program's exit status and its message on the file, whose last line is the refusal."""
    status, err, _ = run_program([path], tmp_path)
    return status, err.strip()


# Each case: the materials, the water image, the cell size; the program
# names the file (and the line), the module the same sentence after it.
BOTH = {0: ("sand", SAND), 7: ("patch", PATCH)}
CASES = {
    "label without material": ({0: ("sand", SAND)}, None, 2e-3),
    "field out of range": ({0: ("sand", dict(SAND, akf=-2e9)), 7: ("patch", PATCH)}, None, 2e-3),
    "water above phi_a": ({0: ("sand", dict(SAND, phi_layer1=0.45)), 7: ("patch", PATCH)}, None, 2e-3),
    "water image out of range": (BOTH, np.full((4, 3), 1.5), 2e-3),
    "water image of another shape": (BOTH, np.full((3, 4), 0.2), 2e-3),
    "cell too small": (BOTH, None, 1e-12),
    "unknown field": ({0: ("sand", dict(SAND, akff=1.0)), 7: ("patch", PATCH)}, None, 2e-3),
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_same_sentence_as_the_program(case, tmp_path, small_sample):
    materials, water, h = CASES[case]
    status, said = program_says(tmp_path, write_sample_file(tmp_path, patchy_labels(4, 3), materials, h, [10.0], water=water))
    assert status == 1
    # An unknown field is a TypeError; the program's list of known keys also has "label".
    with pytest.raises(TypeError if case == "unknown field" else ValueError) as e:
        upscale.Sample(patchy_labels(4, 3), {k: dict(f, name=n) for k, (n, f) in materials.items()}, cell_size=h, water=water)
    # The program says where ("FILE" line N: ... or "FILE": ...), then the sentence.
    assert str(e.value)
    assert said.splitlines()[-1].split("; known keys")[0].endswith(str(e.value).split('": ', 1)[-1].split("; known keys")[0]), (said, str(e.value))
    still_works(small_sample)


def test_arrays_and_requests_of_the_wrong_kind(small_sample):
    m, labels, S, T = {0: dict(SAND), 7: dict(PATCH)}, patchy_labels(4, 3), upscale.Sample, upscale.tensor
    cases = [(ValueError, "cell_size = .* must be a positive length", lambda h=h: S(labels, m, cell_size=h))
             for h in (-1e-3, 0.0, math.nan)] + [
        (TypeError, "labels must be an array of integers.*float64", lambda: S(labels.astype(float), m, cell_size=1e-3)),
        (ValueError, "labels must be a 2-D array.*3 dimension", lambda: S(np.zeros((2, 4, 3), dtype=np.int32), m, 1e-3)),
        (ValueError, "empty", lambda: S(np.zeros((0, 3), dtype=np.int32), m, cell_size=1e-3)),
        (TypeError, "water must be an array of floating-point",
         lambda: S(labels, m, cell_size=1e-3, water=np.zeros((4, 3), dtype=np.int64))),
        (ValueError, "label 4294967296, which no material carries", lambda: S(np.full((2, 2), 2**32, dtype=np.int64), m, 1e-3)),
        (TypeError, "akf must be a number, got str", lambda: upscale.Material(akf="2.25e9")),
        (TypeError, "akf must be a number, got bool", lambda: S(labels, {0: dict(PATCH, akf=True), 7: dict(PATCH)}, cell_size=1e-3)),
        (TypeError, "must be an upscale.Material or a dict", lambda: S(labels, {0: 3.0, 7: dict(PATCH)}, cell_size=1e-3)),
        (TypeError, "keys must be integer labels", lambda: S(labels, {"0": dict(SAND), 7: dict(PATCH)}, cell_size=1e-3)),
        (ValueError, 'model = "granite"; expected "ice" or "shale"', lambda: S(labels, m, cell_size=1e-3, model="granite")),
        (ValueError, 'two materials are named "same"',
         lambda: S(labels, {0: dict(SAND, name="same"), 7: dict(PATCH, name="same")}, 1e-3)),
        (ValueError, "frequency -1 ", lambda: T(small_sample, -1.0)),
        (ValueError, "no frequency", lambda: T(small_sample)),  # an array sample carries none
        (ValueError, "freq must be a number or a 1-D array", lambda: T(small_sample, [[1.0, 2.0]])),
        (ValueError, 'boundary = "rollers"; expected "periodic" or "sealed"', lambda: T(small_sample, 1.0, boundary="rollers")),
        (ValueError, 'lame = "4d"', lambda: T(small_sample, 1.0, lame="4d")),
        (ValueError, 'tests = "q"', lambda: T(small_sample, 1.0, tests="q")),
        (ValueError, "frequency_method", lambda: T(small_sample, 1.0, frequency_method="fast")),
        (ValueError, "reduced_tolerance", lambda: T(small_sample, 1.0, reduced_tolerance=float("nan"))),
        (TypeError, "threads must be a whole number", lambda: T(small_sample, 1.0, threads=1.5)),
        (ValueError, "threads = -2", lambda: T(small_sample, 1.0, threads=-2)),
        (TypeError, "progress must be None, True or a callable", lambda: T(small_sample, 1.0, progress="yes")),
        (ValueError, 'wave = "s"', lambda: T(small_sample, 1.0).velocity(0, wave="s")),
        (ValueError, "cannot be opened", lambda: S.from_deck("no-such-deck-of-upscale.deck")),
        (ValueError, "", lambda: T(small_sample, 1.0).to_csv(os.path.join("no-such-folder-of-upscale", "t.csv"))),
    ]
    for error, match, call in cases:
        with pytest.raises(error, match=match):
            call()
    still_works(small_sample)


@pytest.mark.parametrize("edit", [None, ("2.250000e+09          akf(1)", "-2.250000e+09          akf(1)"),
                                  ("10   nx", "0   nx"),
                                  ("    0     model (0 layered", "    1     model (0 layered")])
def test_file_refusals_keep_the_interpreter(edit, tmp_path, small_sample):
    """The readers' refusals (a missing sample file; the deck reader's, and
    that of a missing porosity.frac) are a ValueError with the program's
    sentence, and for a deck its exit status as stop_code."""
    path = os.path.join(str(tmp_path), "none.toml" if edit is None else "bad.deck")
    if edit is not None:
        text = open(os.path.join(EXAMPLES, "ice_small.deck")).read()
        assert edit[0] in text
        with open(path, "w") as f:
            f.write(text.replace(edit[0], edit[1], 1))
    status, said = program_says(tmp_path, path)
    assert status == 1 if edit is None else status not in (0, 1)
    with pytest.raises(ValueError) as e:
        upscale.Sample.from_file(path) if edit is None else upscale.Sample.from_deck(path)
    assert said.endswith(str(e.value)) if edit is None else str(e.value) in said, (said, str(e.value))
    assert edit is None or e.value.stop_code == status
    still_works(small_sample)
