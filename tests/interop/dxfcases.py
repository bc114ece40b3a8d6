"""Drawings for the interop tests: inputs in the layout talvero reads, and what
a merge of them must hold.

A case is a set of inputs (base name -> bytes), the answers talvero is given on
standard input, and an Expectation: the header extents and every polyline of
every input in input order, with each coordinate kept as the text written in
the input. The conversions talvero applies are computed here exactly:

* a vertex coordinate becomes trunc(x + 0.5), the sum taken exactly;
* an extent becomes trunc(x);

where x is the input text read as a double. Everything is deterministic: the
random drawings come from fixed seeds.
"""

from __future__ import annotations

import math
import random
from dataclasses import dataclass, field
from fractions import Fraction
from pathlib import Path

from harness import answers, rounded

# Where talvero's survey of the header extents starts.
EXTMIN_START = (4000000.0, 4000000.0, 100000.0)
EXTMAX_START = (0.0, 0.0, 0.0)


def truncated(value: float) -> int:
    """The double value truncated toward zero, exactly."""
    return math.trunc(Fraction(value))


@dataclass
class Vertex:
    layer: str
    flag: int
    xyz: tuple[str, str, str]  # coordinate texts as written in the input

    def expected(self) -> tuple[int, int, int]:
        return tuple(rounded(float(t)) for t in self.xyz)


@dataclass
class Polyline:
    layer: str
    flag: int
    vertices: list[Vertex] = field(default_factory=list)


@dataclass
class Expectation:
    extmin: tuple[int, int, int]
    extmax: tuple[int, int, int]
    polylines: list[Polyline]

    def vertex_count(self) -> int:
        return sum(len(p.vertices) for p in self.polylines)

    def write(self, path: Path) -> None:
        """Writes the plain-text form read by the dxflib checker."""
        lines = ["extmin %d %d %d" % self.extmin, "extmax %d %d %d" % self.extmax]
        for p in self.polylines:
            lines.append("polyline %s %d %d" % (p.layer, p.flag, len(p.vertices)))
            for v in p.vertices:
                lines.append("vertex %s %d %d %d %d" % ((v.layer, v.flag) + v.expected()))
        lines.append("end")
        path.write_text("\n".join(lines) + "\n", encoding="ascii")


@dataclass
class Case:
    folder: str
    names: list[str]  # inputs in the order they are pasted (a name may repeat)
    result: str
    inputs: dict[str, bytes]  # base name -> file content
    expectation: Expectation

    def answers(self) -> bytes:
        return answers(self.folder, self.names, self.result)

    def place(self, images: Path) -> Path:
        """Writes the inputs under images/<folder>/; returns the result's path."""
        folder = images / self.folder
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in self.inputs.items():
            (folder / (name + ".dxf")).write_bytes(data)
        return folder / (self.result + ".dxf")


# ---------------------------------------------------------------------------
# Writing inputs


@dataclass
class Drawing:
    """One input: its header extents (texts; None for no such variable),
    polylines inside BLOCK definitions (which a merge leaves out), and the
    ENTITIES section's content (Polyline objects mixed with other entities as
    (type, pairs))."""

    extmin: tuple[str, ...] | None
    extmax: tuple[str, ...] | None
    blocks: list[list[Polyline]]
    entities: list
    crlf: bool = True
    padded_codes: bool = True

    def polylines(self) -> list[Polyline]:
        """The polylines a merge copies: the ENTITIES section's."""
        return [e for e in self.entities if isinstance(e, Polyline)]

    def render(self) -> bytes:
        pairs: list[tuple[int, str]] = []
        pad = self.padded_codes

        def flag(v: int) -> str:
            return "%6d" % v if pad else str(v)

        def polyline(p: Polyline) -> None:
            pairs.extend([(0, "POLYLINE"), (8, p.layer), (66, "1"), (70, flag(p.flag)), (10, "0"), (20, "0")])
            for v in p.vertices:
                pairs.extend([(0, "VERTEX"), (8, v.layer), (70, flag(v.flag)),
                              (10, v.xyz[0]), (20, v.xyz[1]), (30, v.xyz[2])])
            pairs.extend([(0, "SEQEND"), (8, p.layer)])

        pairs.extend([(0, "SECTION"), (2, "HEADER"), (9, "$ACADVER"), (1, "AC1009"),
                      (9, "$INSBASE"), (10, "-900000.0"), (20, "900000.0"), (30, "7.0")])
        for name, texts in (("$EXTMIN", self.extmin), ("$EXTMAX", self.extmax)):
            if texts is not None:
                pairs.append((9, name))
                pairs.extend(zip((10, 20, 30), texts))
        pairs.extend([(9, "$LIMMAX"), (10, "-5.0"), (20, "5000000.0"), (0, "ENDSEC")])
        if self.blocks:
            pairs.extend([(0, "SECTION"), (2, "BLOCKS")])
            for k, block in enumerate(self.blocks):
                name = "PART%d" % (k + 1)
                pairs.extend([(0, "BLOCK"), (8, "0"), (2, name), (70, flag(0)),
                              (10, "0.0"), (20, "0.0"), (30, "0.0"), (3, name)])
                for p in block:
                    polyline(p)
                pairs.extend([(0, "ENDBLK"), (8, "0")])
            pairs.append((0, "ENDSEC"))
        pairs.extend([(0, "SECTION"), (2, "ENTITIES")])
        for e in self.entities:
            if isinstance(e, Polyline):
                polyline(e)
            else:
                kind, rest = e
                pairs.append((0, kind))
                pairs.extend(rest)
        pairs.extend([(0, "ENDSEC"), (0, "EOF")])
        eol = "\r\n" if self.crlf else "\n"
        lines = []
        for code, value in pairs:
            lines.append("%3d" % code if pad else str(code))
            lines.append(value)
        return (eol.join(lines) + eol).encode("ascii")


def fold_extents(drawings: list[Drawing]) -> tuple[tuple[int, ...], tuple[int, ...]]:
    """The header extents of a merge, as talvero's survey folds them: each
    input's header on each axis where it gives both ends in order, widened
    to every vertex it copies written beyond where a vertex at them would
    be; else its vertices' own, as written."""
    lo = list(EXTMIN_START)
    hi = list(EXTMAX_START)
    for d in drawings:
        points = [tuple(float(t) for t in v.xyz) for p in d.polylines() for v in p.vertices]
        for k in range(3):
            low = float(d.extmin[k]) if d.extmin and len(d.extmin) > k else None
            high = float(d.extmax[k]) if d.extmax and len(d.extmax) > k else None
            given = low is not None and high is not None and low <= high
            if not given and not points:
                continue
            written = [rounded(p[k]) for p in points]
            beyond_low = [w for w in written if not given or w < rounded(low)]
            beyond_high = [w for w in written if not given or w > rounded(high)]
            low = min([low] + beyond_low) if given else min(beyond_low)
            high = max([high] + beyond_high) if given else max(beyond_high)
            lo[k] = min(lo[k], low)
            hi[k] = max(hi[k], high)
    return tuple(truncated(v) for v in lo), tuple(truncated(v) for v in hi)


# Coordinate texts whose conversion is easy to get wrong: halves, values just
# below a half, negatives (truncation toward zero), exponents, signs, a value
# where x + 0.5 in double arithmetic would round up, and large magnitudes.
TRICKY = [
    "12.5", "-12.5", "-12.2", "-12.7", "0.5", "-0.5", "-0.7", "2.5", "-2.5", "3.5",
    "0.49999999999999994", "-0.49999999999999994", "-1.5000000000000002",
    "4503599627370497", "4503599627370496.5", "-4503599627370497",
    "1e3", "1.25E+2", "-7.5e-1", "+4.5", ".5", "5.", "-0.0", "0",
    "999999.4999999999", "123456789.5", "1.2345e20", "-98765.49999",
]

_NUMBER_STYLES = ["%.3f", "%.1f", "%.6f", "%.0f", "%g", "%.4e", "%.2f"]


def _number(rng: random.Random, value: float) -> str:
    return rng.choice(_NUMBER_STYLES) % value


def _contour(rng: random.Random, layer: str, cx: float, cy: float, radius: float,
             count: int, z: float, vertex_flag: int = 0) -> Polyline:
    """A closed wobbly ring of count vertices."""
    p = Polyline(layer, rng.choice([0, 1]))
    for i in range(count):
        a = 2 * math.pi * i / count
        r = radius * (1 + 0.15 * math.sin(3 * a + rng.random()))
        p.vertices.append(Vertex(layer, vertex_flag,
                                 (_number(rng, cx + r * math.cos(a)), _number(rng, cy + r * math.sin(a)),
                                  _number(rng, z))))
    return p


def _others(rng: random.Random, layer: str) -> list:
    """Entities talvero drops."""
    x, y = "%.3f" % rng.uniform(0, 100), "%.3f" % rng.uniform(0, 100)
    return [
        ("TEXT", [(8, layer), (10, x), (20, y), (30, "0.0"), (40, "2.5"), (1, "Spot-height")]),
        ("LINE", [(8, layer), (10, x), (20, y), (30, "0.0"), (11, y), (21, x), (31, "0.0")]),
        ("CIRCLE", [(8, layer), (10, x), (20, y), (30, "0.0"), (40, "1.5")]),
        ("POINT", [(8, layer), (10, y), (20, x), (30, "3.0")]),
    ]


def _case(folder: str, names: list[str], result: str, drawings: dict[str, Drawing]) -> Case:
    pasted = [drawings[n] for n in names]
    extmin, extmax = fold_extents(pasted)
    polylines = [p for d in pasted for p in d.polylines()]
    return Case(folder, names, result, {n: d.render() for n, d in drawings.items()},
                Expectation(extmin, extmax, polylines))


def layouts_case() -> Case:
    """Four inputs written differently: CR LF and LF line ends, padded and bare
    group codes, blocks holding polylines (left out), dropped entities between polylines,
    3D and 2D header extents or none, tricky numbers, and one long polyline
    that spans many read blocks."""
    rng = random.Random(20260101)
    drawings: dict[str, Drawing] = {}

    ents: list = []
    for k in range(3):
        ents.extend(_others(rng, "CONTOURS")[k:k + 2])
        ents.append(_contour(rng, "CONTOURS", 150, 150, 30 + 12 * k, rng.randint(8, 30), 100 + 10 * k))
    drawings["alpha"] = Drawing(
        extmin=("101.3", "98.7", "100.0"), extmax=("212.25", "201.999", "130.0"),
        blocks=[[_contour(rng, "TREES", 0, 0, 3, 6, 0)],
                [_contour(rng, "0", 5, 5, 2, 4, 0), _contour(rng, "WATER_1", -5, 5, 2, 5, 0)]],
        entities=ents, crlf=True, padded_codes=True)

    n = len(TRICKY)
    tricky = [Vertex("SURVEY", 0, (TRICKY[j], TRICKY[(j + 5) % n], TRICKY[(j + 11) % n])) for j in range(n)]
    tricky_polys = [Polyline("SURVEY", (k // 4) % 2, tricky[k:k + 4]) for k in range(0, n, 4)]
    drawings["beta"] = Drawing(
        extmin=("-0.5", "12.9"), extmax=("350.75", "-4.2"),
        blocks=[], entities=_others(rng, "SURVEY")[:1] + tricky_polys + _others(rng, "SURVEY")[2:],
        crlf=False, padded_codes=False)

    drawings["gamma"] = Drawing(
        extmin=None, extmax=None, blocks=[],
        entities=[_contour(rng, "ROADS", 300, 50, 40, 3000, 55.5),
                  _contour(rng, "ROADS", 320, 60, 25, 7, 60.25)],
        crlf=True, padded_codes=False)

    drawings["delta"] = Drawing(
        extmin=("-120.9", "-80.2", "-15.5"), extmax=("-10.1", "-5.5", "-0.5"),
        blocks=[[_contour(rng, "PITS", -1, -1, 1, 5, -2)]],
        entities=[_contour(rng, "PITS", -60, -40, 20, 12, -10.5) for _ in range(4)],
        crlf=False, padded_codes=True)

    return _case("site", ["alpha", "beta", "gamma", "delta"], "merged", drawings)


def starts_case() -> Case:
    """One input pasted twice whose header's extents run backwards (each
    minimum above its maximum): its vertices give the extents instead."""
    rng = random.Random(7)
    d = Drawing(extmin=("5000000.5", "4000000.0", "250000"), extmax=("-1.5", "-0.25", "-7"),
                blocks=[], entities=[_contour(rng, "FAR", 10, 10, 5, 9, 1.5), _contour(rng, "FAR", 20, 10, 5, 6, 2.5)],
                crlf=True, padded_codes=True)
    return _case("far", ["only", "only"], "both", {"only": d})


def demo_case(examples: Path) -> Case:
    """The sample drawings; what they hold is read with ezdxf."""
    names = ["north", "south"]
    inputs = {n: (examples / "demo" / (n + ".dxf")).read_bytes() for n in names}
    polylines, lo, hi = read_inputs_with_ezdxf([examples / "demo" / (n + ".dxf") for n in names])
    return Case("demo", names, "merged", inputs,
                Expectation(tuple(truncated(v) for v in lo), tuple(truncated(v) for v in hi), polylines))


def read_inputs_with_ezdxf(paths: list[Path]):
    """Polylines of the ENTITIES sections (a merge leaves block definitions
    out) and the folded header extents of inputs, read with ezdxf. Coordinates are kept
    as repr() of the doubles ezdxf read, which float() gives back exactly.
    Header extents must hold all of 10, 20 and 30 (ezdxf fills a missing 30)."""
    import ezdxf

    polylines: list[Polyline] = []
    lo, hi = list(EXTMIN_START), list(EXTMAX_START)
    for path in paths:
        doc = ezdxf.readfile(str(path))
        for var, acc, pick in (("$EXTMIN", lo, min), ("$EXTMAX", hi, max)):
            if var in doc.header:
                for k, v in enumerate(doc.header[var]):
                    acc[k] = pick(acc[k], float(v))
        for e in doc.modelspace():
            if e.dxftype() != "POLYLINE":
                continue
            p = Polyline(e.dxf.layer, e.dxf.flags)
            for v in e.vertices:
                p.vertices.append(Vertex(v.dxf.layer, v.dxf.flags, tuple(repr(float(c)) for c in v.dxf.location)))
            polylines.append(p)
    return polylines, lo, hi


def build(name: str, examples: Path) -> Case:
    if name == "demo":
        return demo_case(examples)
    if name == "layouts":
        return layouts_case()
    if name == "starts":
        return starts_case()
    raise SystemExit("unknown case %r (demo, layouts, starts)" % name)


CASES = ["demo", "layouts", "starts"]
