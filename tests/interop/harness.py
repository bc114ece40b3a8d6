"""What the interop scripts share: their common arguments, runs of talvero,
the merge's rounding, a dxflib reading and the tally of failures."""

from __future__ import annotations

import argparse
import math
import os
import shutil
import subprocess
import sys
from fractions import Fraction
from pathlib import Path

MAX_REPORTED = 20  # failures printed; a broken result could give thousands


def arguments(doc: str, examples: Path | None = Path(__file__).resolve().parents[2] / "examples" / "images"):
    """A parser for --talvero EXE (resolved) and --examples DIR."""
    ap = argparse.ArgumentParser(description=doc.splitlines()[0])
    ap.add_argument("--talvero", required=True, type=lambda p: str(Path(p).resolve()))
    ap.add_argument("--examples", type=Path, default=examples)
    return ap


def answers(folder: str, names: list[str], result: str) -> bytes:
    """The dialogue's answers: the folder, the count, the drawings, the result."""
    return ("\n".join([folder, str(len(names))] + names + [result]) + "\n").encode("ascii")


def run_dialogue(exe: str, answers: bytes, images: Path, cwd: Path | None = None) -> subprocess.CompletedProcess:
    """talvero given the answers on standard input, images/ standing for c:\\images."""
    env = dict(os.environ, TALVERO_IMAGES=str(images))
    return subprocess.run([exe], input=answers, capture_output=True, env=env, cwd=cwd, timeout=120)


def run_merge(command: list, inputs: list, result: Path, *options: str) -> subprocess.CompletedProcess:
    """`COMMAND OPTIONS -o RESULT INPUT...`, any earlier result removed first."""
    if result.exists():
        result.unlink()
    return subprocess.run(command + list(options) + ["-o", str(result)] + [str(p) for p in inputs],
                          capture_output=True, timeout=600)


def exited(run: subprocess.CompletedProcess) -> str:
    return "talvero exited with %d: %s" % (run.returncode, run.stderr.decode(errors="replace"))


def rounded(value: float) -> int:
    """The merge's rounding: value + 0.5, taken exactly, truncated toward zero
    (a value beyond the double range is read as the largest double)."""
    if math.isinf(value):
        value = math.copysign(sys.float_info.max, value)
    return math.trunc(Fraction(value) + Fraction(1, 2))


def dxflib_run(check: str, result: Path, expected: Path) -> subprocess.CompletedProcess:
    """tests/interop/dxflib_check.cpp's reading of a result against an expectation file."""
    return subprocess.run([check, str(result), str(expected)], capture_output=True, timeout=600)


class Failures(list):
    def check(self, ok: bool, message: str) -> bool:
        if not ok:
            self.append(message)
        return ok


def finish(work: Path, failures: list) -> int:
    """Says what failed, keeping the work folder then, removing it otherwise; the exit status."""
    if failures:
        print("files kept in %s" % work)
    else:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures[:MAX_REPORTED]:
        print("FAIL: " + f)
    print("OK" if not failures else "%d failures" % len(failures))
    return 1 if failures else 0
