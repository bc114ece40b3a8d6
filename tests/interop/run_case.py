#!/usr/bin/python3
"""Runs talvero on one interop case and reads its result with a real DXF reader.

    run_case.py --talvero EXE --case NAME --reader ezdxf|dxflib
                [--dxflib-check EXE] [--examples DIR]

The inputs are written under a temporary images folder named by
TALVERO_IMAGES; the answers go to talvero's standard input. The result must be
read without complaint and hold every polyline and vertex of every input in
input order, each coordinate converted as talvero converts it, and the header
extents of the survey; talvero's one line on standard error must count them.
Exit status 0 when everything matches.
"""

from __future__ import annotations

import logging
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import dxfcases  # noqa: E402
import harness  # noqa: E402
from harness import Failures  # noqa: E402


def closing_line(case: dxfcases.Case, result: Path) -> bytes:
    """The one line talvero writes on standard error after a complete run."""
    def counted(n: int, one: str, many: str) -> str:
        return "%d %s" % (n, one if n == 1 else many)

    exp = case.expectation
    return ("talvero: wrote c:\\images\\%s\\%s.dxf (%s): %s, %s, %s\n"
            % (case.folder, case.result, result, counted(len(case.names), "drawing", "drawings"),
               counted(len(exp.polylines), "polyline", "polylines"),
               counted(exp.vertex_count(), "vertex", "vertices"))).encode()


def check_line_ends(data: bytes, fails: Failures) -> None:
    fails.check(data.count(b"\n") == data.count(b"\r\n"), "a line of the result does not end with CR LF")
    fails.check(data.count(b"\r") == data.count(b"\r\n"), "the result holds a CR not followed by LF")
    fails.check(data.endswith(b"\r\nEOF\r\n"), "the result does not end with an EOF line")


def check_with_ezdxf(result: Path, exp: dxfcases.Expectation, fails: Failures) -> None:
    import ezdxf

    # Anything ezdxf logs while loading counts as a complaint.
    logged: list[str] = []

    class Keep(logging.Handler):
        def emit(self, record: logging.LogRecord) -> None:
            logged.append(record.getMessage())

    logger = logging.getLogger("ezdxf")
    keep = Keep(level=logging.WARNING)
    logger.addHandler(keep)
    try:
        doc = ezdxf.readfile(str(result))
    finally:
        logger.removeHandler(keep)
    for message in logged:
        fails.append("ezdxf warned while loading: " + message)

    auditor = doc.audit()
    print("ezdxf %s: version %s, audit: %d errors, %d fixes"
          % (ezdxf.__version__, doc.dxfversion, len(auditor.errors), len(auditor.fixes)))
    for entry in auditor.errors:
        fails.append("ezdxf audit error: %s" % entry.message)
    for entry in auditor.fixes:
        print("ezdxf audit fix: %s" % entry.message)

    for var, want in (("$EXTMIN", exp.extmin), ("$EXTMAX", exp.extmax)):
        got = tuple(doc.header.get(var, ()))
        fails.check(got == tuple(float(v) for v in want), "%s is %r, expected %r" % (var, got, want))

    blocks = [b.name for b in doc.blocks if not b.name.lower().startswith(("*model_space", "*paper_space"))]
    fails.check(not blocks, "the result defines blocks %r" % blocks)

    entities = list(doc.modelspace())
    kinds = sorted({e.dxftype() for e in entities})
    fails.check(kinds in ([], ["POLYLINE"]), "the result holds entities other than POLYLINE: %r" % kinds)
    polylines = [e for e in entities if e.dxftype() == "POLYLINE"]
    vertex_count = sum(len(p.vertices) for p in polylines)
    print("ezdxf read %d polylines, %d vertices (expected %d, %d)"
          % (len(polylines), vertex_count, len(exp.polylines), exp.vertex_count()))
    fails.check(len(polylines) == len(exp.polylines), "polyline count differs")

    for i, (got, want) in enumerate(zip(polylines, exp.polylines), start=1):
        where = "polyline %d" % i
        fails.check(got.dxf.layer == want.layer, "%s: layer %r, expected %r" % (where, got.dxf.layer, want.layer))
        fails.check(got.dxf.flags == want.flag, "%s: flags %d, expected %d" % (where, got.dxf.flags, want.flag))
        if not fails.check(len(got.vertices) == len(want.vertices),
                           "%s: %d vertices, expected %d" % (where, len(got.vertices), len(want.vertices))):
            continue
        for j, (gv, wv) in enumerate(zip(got.vertices, want.vertices), start=1):
            at = "%s vertex %d" % (where, j)
            # (ezdxf gives vertices their polyline's layer; dxflib compares vertex layers.)
            fails.check(gv.dxf.flags == wv.flag, "%s: flags %d, expected %d" % (at, gv.dxf.flags, wv.flag))
            location = tuple(gv.dxf.location)
            expected = wv.expected()
            fails.check(location == tuple(float(c) for c in expected),
                        "%s: %r from input %r, expected %r" % (at, location, wv.xyz, expected))


def check_generator(case: dxfcases.Case, images: Path, fails: Failures) -> None:
    """The generated inputs, read with ezdxf, hold what the case records."""
    paths = [images / case.folder / (n + ".dxf") for n in case.names]
    polylines, _, _ = dxfcases.read_inputs_with_ezdxf(paths)
    recorded = case.expectation.polylines

    def key(p: dxfcases.Polyline):
        return (p.layer, p.flag, [(v.layer, v.flag, tuple(float(t) for t in v.xyz)) for v in p.vertices])

    fails.check([key(p) for p in polylines] == [key(p) for p in recorded],
                "the generated inputs do not hold the polylines the case records")


def check_with_dxflib(checker: str, result: Path, exp: dxfcases.Expectation, work: Path, fails: Failures) -> None:
    expectation = work / "expected.txt"
    exp.write(expectation)
    run = harness.dxflib_run(checker, result, expectation)
    sys.stdout.write(run.stdout.decode(errors="replace") + run.stderr.decode(errors="replace"))
    fails.check(run.returncode == 0, "the dxflib checker exited with %d" % run.returncode)


def main() -> int:
    ap = harness.arguments(__doc__)
    ap.add_argument("--case", required=True, choices=dxfcases.CASES)
    ap.add_argument("--reader", required=True, choices=["ezdxf", "dxflib"])
    ap.add_argument("--dxflib-check")
    args = ap.parse_args()
    if args.reader == "dxflib" and not args.dxflib_check:
        ap.error("--reader dxflib needs --dxflib-check")

    case = dxfcases.build(args.case, args.examples)
    work = Path(tempfile.mkdtemp(prefix="talvero-interop-%s-" % args.case))
    fails = Failures()
    images = work / "images"
    result = case.place(images)
    run = harness.run_dialogue(args.talvero, case.answers(), images, work)
    fails.check(run.returncode == 0, harness.exited(run))
    # What talvero says of the inputs, never a warning, and last where the result is.
    lines = run.stderr.splitlines(keepends=True)
    odd = [l for l in lines if not l.startswith(b"talvero: ") or l.startswith(b"talvero: warning")]
    fails.check(not odd, "talvero wrote diagnostics: %r" % b"".join(odd)[:500])
    closing = closing_line(case, result)
    fails.check(bool(lines) and lines[-1] == closing,
                "talvero's last line on standard error is %r, expected %r" % (lines[-1:], closing))
    if fails.check(result.is_file(), "no result at %s" % result):
        data = result.read_bytes()
        print("%s: %d inputs, result %d bytes" % (args.case, len(case.names), len(data)))
        check_line_ends(data, fails)
        if args.reader == "ezdxf":
            if args.case != "demo":
                check_generator(case, images, fails)
            check_with_ezdxf(result, case.expectation, fails)
        else:
            check_with_dxflib(args.dxflib_check, result, case.expectation, work, fails)
    return harness.finish(work, fails)


if __name__ == "__main__":
    sys.exit(main())
