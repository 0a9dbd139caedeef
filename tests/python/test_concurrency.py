"""Threads, Ctrl-C, progress and memory: two samples computed at once give
the numbers of one after the other; an interrupt stops a solve with
KeyboardInterrupt; a hundred runs do not grow the process."""
import _thread
import importlib.util
import os
import threading
import time

import numpy as np
import pytest

import upscale
from conftest import patchy_sample

FREQS = [1.0, 100.0, 1e4]


@pytest.mark.parametrize("threads", [None, 1])
def test_two_threads_at_once_equal_one_after_the_other(threads):
    samples = [patchy_sample(12, 10, 11), patchy_sample(10, 14, 12)]
    alone = [upscale.tensor(s, FREQS, threads=threads, estimate_error=True) for s in samples]
    together = [None, None]
    start = threading.Barrier(2)

    def work(i):
        start.wait()
        together[i] = upscale.tensor(samples[i], FREQS, threads=threads, estimate_error=True)

    workers = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    for a, b in zip(alone, together):
        assert np.array_equal(a.C, b.C, equal_nan=True)
        for name, values in a.columns.items():
            assert np.array_equal(values, b.columns[name], equal_nan=True), name


def test_progress_callable_sees_every_factorisation_and_may_stop_the_computation(capfd):
    s, calls = patchy_sample(6, 5, 1), []
    upscale.tensor(s, FREQS, boundary="sealed", progress=lambda done, total, msg: calls.append((done, total, msg)))
    # Two sealed tests per frequency, counted from 0.
    assert [c[0] for c in calls] == list(range(6)) and all(c[1] == 6 for c in calls)
    assert calls[0][2].startswith("frequency 1/3 (1 Hz): biaxial")
    assert calls[-1][2].startswith("frequency 3/3 (10000 Hz): shear")

    def fail(done, total, msg):
        if done == 3:
            raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        upscale.tensor(s, FREQS, boundary="sealed", progress=fail)
    assert np.isfinite(upscale.tensor(s, 1.0).C[0, 0, 0])
    # progress=True without tqdm: one line a factorisation on standard error.
    if importlib.util.find_spec("tqdm") is None:
        capfd.readouterr()
        upscale.tensor(s, [1.0, 2.0], boundary="sealed", progress=True)
        err = capfd.readouterr().err
        assert err.count("upscale: frequency ") == 4 and "factorising the shear test" in err


def test_interrupt_while_the_engine_works():
    """The interrupt arrives while the computation holds no GIL and runs no
    Python code: only the engine's own check can stop it. Without that
    check this computation would outlast the test's time limit. The pause
    only lets the computation get under way (it is thousands of times
    longer); the outcome does not depend on its length."""
    s = patchy_sample(30, 30, 4)
    go = threading.Event()

    def interrupt():
        go.wait()
        time.sleep(0.5)
        _thread.interrupt_main()

    threading.Thread(target=interrupt).start()
    with pytest.raises(KeyboardInterrupt):
        go.set()
        upscale.tensor(s, np.logspace(-2, 5, 100000))
    assert np.isfinite(upscale.tensor(patchy_sample(6, 5, 5), 1.0).C[0, 1, 1])


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(os.environ.get("UPSCALE_SANITIZED") == "1", reason="the sanitizers' allocator keeps freed memory")
def test_a_hundred_runs_do_not_grow_the_process():
    s = patchy_sample(8, 8, 6)
    first = upscale.tensor(s, 10.0)
    # What one run allocates: at least the factors and their work space.
    per_run = first.statistics["memory_bytes"]
    for _ in range(10):
        upscale.tensor(s, 10.0)
    before = resident_bytes()
    for _ in range(100):
        r = upscale.tensor(s, 10.0)
        del r
    grown = resident_bytes() - before
    # A leak of a tenth of each run's allocation would grow it by 10 runs' worth.
    assert grown < 10 * per_run, (grown, per_run)
