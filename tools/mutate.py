#!/usr/bin/env python3
"""Mutation testing: seeds one plausible fault at a time into a scratch copy
of the source tree, rebuilds it incrementally and runs the tests, and
reports which faults the tests catch.

    tools/mutate.py                      every mutant of tools/mutants.txt
    tools/mutate.py NAME_OR_GLOB ...     some of them (e.g. 'yale_*')
    tools/mutate.py --stage model        the mutants of one stage
    tools/mutate.py --check              only check that the list applies
    tools/mutate.py --list               print the list
    options: -j N (ctest jobs, default 2), --all-tests (run the whole suite
    on each mutant instead of stopping at the first failure, to see every
    test that catches it), --scratch DIR (default $TMPDIR/upscale-mutate),
    --timeout S (one test, default 300), --nice N (default 10)

The scratch copy is laid out like a checkout (its build folder is build/
inside the copy) and compiles through ccache where it is installed, so a
scratch folder under ccache's base_dir starts from the cache of the
developer's own build instead of compiling everything anew.

The list (tools/mutants.txt) holds one mutant per line, fields separated
by ' @@ ':  name @@ stage @@ file @@ original @@ replacement @@ description.
The original text must occur exactly once in its file (\\n, \\t and \\\\
stand for a line end, a tab and a backslash), or the whole list is refused;
a mutant whose file is not in the tree (a folder still to be merged) is
skipped, and the script says so.

The scratch copy keeps its build between runs: the first run builds
everything, later ones only what a mutant touches.  The source tree itself
is never written.  Fates: killed (a test failed; its name is printed),
timeout (a test ran out of time: counted as caught), survived, build (the
mutant does not compile: left out of the score)."""

import argparse
import fnmatch
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
LIST = REPO / "tools" / "mutants.txt"
STAGES = ["model", "waves", "element", "assembly", "yale", "drivers", "readers", "checks", "sweep", "engine",
          "tensor", "outputs", "python", "sparse_io", "upscaling"]


class Mutant:
    def __init__(self, line_no, fields):
        self.line_no = line_no
        self.name, self.stage, self.file, orig, repl, self.description = fields
        self.original, self.replacement = unescape(orig), unescape(repl)


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t", "\\": "\\"}.get(m.group(1), m.group(0)), text)


def read_list(path):
    mutants, problems = [], []
    for no, raw in enumerate(path.read_text().splitlines(), 1):
        if not raw.strip() or raw.lstrip().startswith("#"):
            continue
        fields = [f.strip() for f in raw.split(" @@ ")]
        if len(fields) != 6:
            problems.append(f"{path.name}:{no}: {len(fields)} fields, expected 6 separated by ' @@ '")
            continue
        mutants.append(Mutant(no, fields))
    return mutants, problems


def check(mutants, root):
    """Every mutant names a known stage, an existing file and text found there exactly once."""
    problems, names = [], set()
    for m in mutants:
        where = f"line {m.line_no} ({m.name})"
        if m.name in names:
            problems.append(f"{where}: the name is used twice")
        names.add(m.name)
        if m.stage not in STAGES:
            problems.append(f"{where}: unknown stage {m.stage!r}, expected one of {', '.join(STAGES)}")
        f = root / m.file
        if not f.is_file():
            continue  # a folder not in this tree yet: skipped, and said so
        n = f.read_text().count(m.original)
        if n != 1:
            problems.append(f"{where}: the original text occurs {n} times in {m.file}, expected exactly once")
        if m.original == m.replacement:
            problems.append(f"{where}: the replacement is the original")
    return problems


def sync(src, dst):
    """Copies the files git knows (as they stand in the working tree) into dst,
    leaving unchanged files untouched so that the build stays incremental."""
    listed = subprocess.run(["git", "-C", str(src), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    wanted = {p for p in listed if p and (src / p).is_file()}
    for rel in wanted:
        s, d = src / rel, dst / rel
        data = s.read_bytes()
        if d.is_file() and d.read_bytes() == data:
            continue
        d.parent.mkdir(parents=True, exist_ok=True)
        d.write_bytes(data)
        shutil.copymode(s, d)
    for d in dst.rglob("*"):
        rel = d.relative_to(dst)
        if rel.parts[0] != "build" and d.is_file() and str(rel) not in wanted:
            d.unlink()


def tree_digest(root):
    """The state of the tree the baseline ran on; the list of mutants and this
    script are not part of it (a new mutant needs no new baseline)."""
    h = hashlib.sha256()
    skip = {Path("tools/mutants.txt"), Path("tools/mutate.py")}
    for f in sorted(root.rglob("*")):
        if f.is_file() and f.relative_to(root) not in skip and f.relative_to(root).parts[0] != "build":
            h.update(str(f.relative_to(root)).encode() + b"\0" + f.read_bytes())
    return h.hexdigest()


def run(cmd, log, timeout=None, nice=10):
    cmd = ["nice", "-n", str(nice)] + cmd
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout, text=True)
        log.write(p.stdout)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        out = e.stdout.decode() if isinstance(e.stdout, bytes) else (e.stdout or "")
        log.write(out)
        return None, out


def failed_tests(output):
    """The tests ctest reports as failed, with how they failed."""
    block = output.split("The following tests FAILED:", 1)
    if len(block) == 2:
        return re.findall(r"^\s*\d+ - (\S+) \(([^)]*)\)", block[1], re.M)
    return [(n, "Failed") for n in re.findall(r"Test\s+#\d+: (\S+) \.*\s*\*\*\*", output)]


# The test folders whose tests most likely catch a fault of each stage: they
# run first, so that a caught mutant costs only them.
FIRST_TESTS = {"model": ["model"], "waves": ["waves"], "element": ["fem"], "assembly": ["fem"], "yale": ["yale"],
               "drivers": ["drivers"], "readers": ["core"], "checks": ["hardening", "model"], "sweep": ["sweep"],
               "engine": ["engine", "yale"], "tensor": ["tensor", "tensor_io"], "outputs": ["outputs"],
               "sparse_io": ["yale"], "upscaling": ["drivers"]}


def first_tests(stage, root):
    """The stage's test folders: a ctest regex of the suites they define and
    the targets that build their tests."""
    if stage == "python":  # the module's pytest suite is one ctest test
        return "^python_module$", ["upscale", "tensor_upscale"]
    suites, targets = set(), set()
    for folder in FIRST_TESTS.get(stage, []):
        for f in (root / "tests" / folder).glob("*.cpp"):
            suites |= set(re.findall(r"^\s*(?:TYPED_)?TEST(?:_F|_P)?\(\s*(\w+)\s*,", f.read_text(), re.M))
        lists = root / "tests" / folder / "CMakeLists.txt"
        if lists.is_file():
            targets |= set(re.findall(r"(?:upscale_test|add_executable)\((\w+)", lists.read_text()))
    if not suites or not targets:
        return None
    return "^(" + "|".join(sorted(suites)) + ")[./]", sorted(targets)


def build_and_test(args, build, log, first=None):
    """Builds, then runs the stage's first tests and the rest. A test that
    fails and then passes when run again failed for reasons of its own (a
    loaded machine): it is left out and the tests go on."""
    ctest = ["ctest", "--test-dir", str(build), "-j", str(args.j), "--timeout", str(args.timeout)]
    if not args.all_tests:
        ctest.append("--stop-on-failure")
    # First only what the stage's own tests need, then everything.
    phases = [(first[0], None, first[1]), (None, first[0], [])] if first and not args.all_tests else [(None, None, [])]
    flaky = []
    for include, exclude, targets in phases:
        code, out = run(["cmake", "--build", str(build), "-j2"] + ["--target"] * bool(targets) + targets, log,
                        nice=args.nice)
        if code != 0:
            return "build", "", out
        while True:
            excluded = "|".join([exclude] * bool(exclude) + ["^" + re.escape(n) + "$" for n in flaky])
            code, out = run(ctest + ["-R", include] * bool(include) + ["-E", excluded] * bool(excluded), log,
                            nice=args.nice)
            if code == 0:
                break
            failed = failed_tests(out)
            if any("Timeout" in how for _, how in failed):
                return "timeout", ", ".join(n for n, _ in failed), out
            again, _ = run(["ctest", "--test-dir", str(build), "--rerun-failed", "--timeout", str(args.timeout)],
                           log, nice=args.nice)
            if again != 0 or not failed or len(flaky) >= 5:
                return "killed", ", ".join(n for n, _ in failed) or "(see the log)", out
            flaky += [n for n, _ in failed]
    return "survived", ("flaky: " + ", ".join(flaky)) * bool(flaky), out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("names", nargs="*", help="mutant names or shell patterns (default: all)")
    ap.add_argument("--stage", action="append", default=[], help="only the mutants of this stage")
    ap.add_argument("-j", type=int, default=2, help="parallel ctest jobs")
    ap.add_argument("--all-tests", action="store_true", help="run every test on each mutant")
    ap.add_argument("--scratch", type=Path, default=Path(tempfile.gettempdir()) / "upscale-mutate")
    ap.add_argument("--timeout", type=int, default=300, help="seconds for one test")
    ap.add_argument("--nice", type=int, default=10)
    ap.add_argument("--check", action="store_true", help="only check that every mutant applies")
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    args = ap.parse_args()

    mutants, problems = read_list(LIST)
    problems += check(mutants, REPO)
    if problems:
        print("tools/mutants.txt does not apply to this tree:\n  " + "\n  ".join(problems), file=sys.stderr)
        return 2
    absent = [m for m in mutants if not (REPO / m.file).is_file()]
    if absent:
        print(f"skipped, their files are not in this tree: {', '.join(m.name for m in absent)}", file=sys.stderr)
    chosen = [m for m in mutants if m not in absent
              and (not args.names or any(fnmatch.fnmatch(m.name, p) for p in args.names))
              and (not args.stage or m.stage in args.stage)]
    if args.list or args.check:
        for m in chosen if args.list else []:
            print(f"{m.name:28} {m.stage:9} {m.file:34} {m.description}")
        print(f"{len(chosen)} mutants, every one applies", file=sys.stderr)
        return 0
    if not chosen:
        print("no mutant matches", file=sys.stderr)
        return 2

    src = args.scratch / "src"
    build = src / "build"
    src.mkdir(parents=True, exist_ok=True)
    sync(REPO, src)
    log_path = args.scratch / "mutate.log"
    start = time.time()
    with open(log_path, "w") as log:
        if not (build / "CMakeCache.txt").exists():
            launcher = [f"-DCMAKE_{lang}_COMPILER_LAUNCHER=ccache" for lang in ("C", "CXX")] * bool(shutil.which("ccache"))
            code, out = run(["cmake", "-S", str(src), "-B", str(build), "-DUPSCALE_BENCH=OFF"] + launcher, log,
                            nice=args.nice)
            if code != 0:
                print(out, file=sys.stderr)
                return 2
        # The unmutated tree must pass, once per state of the tree.
        stamp, digest = args.scratch / "baseline.ok", tree_digest(src)
        if not stamp.exists() or stamp.read_text() != digest:
            print(f"baseline: build and every test in {build} (log {log_path})", flush=True)
            fate, _, out = build_and_test(argparse.Namespace(**{**vars(args), "all_tests": True}), build, log)
            if fate != "survived":
                print(f"the unmutated tree does not pass its tests ({fate}); see {log_path}", file=sys.stderr)
                return 2
            stamp.write_text(digest)
            print(f"baseline passes ({time.time() - start:.0f} s)", flush=True)

        tally = {"killed": 0, "timeout": 0, "survived": 0, "build": 0}
        survivors = []
        for i, m in enumerate(chosen, 1):
            path = src / m.file
            original = path.read_text()
            t0 = time.time()
            log.write(f"\n===== {m.name}: {m.description}\n")
            try:
                path.write_text(original.replace(m.original, m.replacement, 1))
                fate, killer, _ = build_and_test(args, build, log, first_tests(m.stage, src))
            finally:
                path.write_text(original)
            tally[fate] += 1
            if fate == "survived":
                survivors.append(m)
            print(f"[{i:2}/{len(chosen)}] {m.name:28} {m.stage:9} {fate:9} {time.time() - t0:5.0f} s  {killer}",
                  flush=True)
        # Leave the scratch build matching the tree again.
        run(["cmake", "--build", str(build), "-j2"], log, nice=args.nice)

    scored = len(chosen) - tally["build"]
    caught = tally["killed"] + tally["timeout"]
    print(f"\nscore {caught}/{scored} = {100.0 * caught / max(scored, 1):.1f} %  "
          f"(killed {tally['killed']}, timeout {tally['timeout']}, survived {tally['survived']}, "
          f"failed to build {tally['build']}); {time.time() - start:.0f} s; log {log_path}")
    for m in survivors:
        print(f"  survived: {m.name} ({m.file}): {m.description}")
    return 0 if not survivors else 1


if __name__ == "__main__":
    sys.exit(main())
