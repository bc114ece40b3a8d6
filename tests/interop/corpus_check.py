#!/usr/bin/python3
"""Merges drawings written by other programs and checks every result with ezdxf.

    corpus_check.py (--talvero EXE | --command "CMD ARGS") --corpus DIR --scratch DIR
                    [--dxflib-check EXE] [--scale F] [--layer-per-input]

Each drawing of the corpus folder (every .dxf or .DXF file under it, read in
place) is merged alone, then a few at a time, by running
`EXE -o RESULT INPUT...` (or the command with those arguments appended). For
each run the polylines of the inputs' ENTITIES sections are found with ezdxf's
own reading of the input: model-space POLYLINE entities that are not meshes
(flags 16 and 64) with the VERTEX entities up to their SEQEND, spline frame
control points (vertex flag 16) left out, and LWPOLYLINE entities, in input
order. The result must

  - open with ezdxf's strict reader (ezdxf.readfile), and its audit find no error;
  - hold exactly those polylines, in that order, each closed when its input is,
    on the same layer, with the same vertices in world coordinates, both taken
    by the DXF rules (a 2D polyline's vertices at its elevation in its
    extrusion's system, whatever their own 30; a 3D polyline's where they
    are; an LWPOLYLINE's by ezdxf's vertices_in_wcs()), the input's rounded
    the merge's way (x + 0.5, the sum taken exactly, truncated toward zero);
  - hold header extents that contain every vertex as written (its 10, 20 and
    30), allowing one unit for the truncation of extents taken from headers;

and what standard error says an input's polylines and vertices copied must be
those counts. Without --scale, standard error must warn of an input exactly
when rounding puts more than half of its vertices where the one before them in
their polyline is written, with those counts; with it, never.

With --scale F (and --layer-per-input) each merge is run with those options:
the vertices expected are ezdxf's world vertices multiplied by F, then
rounded, and each input's polylines are expected on the layer named after its
file; dxflib and ogrinfo are not asked then. With --dxflib-check (tests/interop/dxflib_check.cpp), dxflib must
read every result too and find the same polylines, with the flags and the
coordinates the merge writes (a 2D polyline that does not lie at height 0
becomes a 3D one, flag 8, its vertices flag 32). A drawing that is binary or
holds no SECTION must make the run fail, with nothing written.

With --written-by-ezdxf, drawings that ezdxf writes (2D polylines with an
elevation whose vertices carry 30 0.0, an LWPOLYLINE with an elevation, both
in a system mirrored by the extrusion (0, 0, -1), a 3D polyline, a layout's
frame in paper space, headers without usable extents, and SPLINE entities
given by fit points alone, with and without end tangents, one in a block
placed turned and scaled) are checked the same way, with or without the
corpus folder; with --curves, those splines against ezdxf's own curve
through their fit points. With --ogrinfo, GDAL's ogrinfo
must read every result's polylines at the same world coordinates too.

With --inserts, each drawing is merged again with --inserts: the polylines
the block references of model space place (ezdxf's virtual_entities() of each
INSERT, to any depth, each copy of a grid by multi_insert(), a block's layer
"0" taken as the reference's; where ezdxf cannot copy a block's entities,
its entities taken through the reference's matrix44()) must stand at each INSERT's place among the
drawing's own polylines, each vertex within one unit of ezdxf's rounded the
merge's way (the two transforms' floating errors may fall on either side of
a half), the header's extents must hold them, and standard error must leave
out no INSERT; a drawing with no block reference in model space must give
the same bytes as without the option.

With --curves, each drawing is merged alone with `--curves=TOL --lines`
instead (TOL from --tolerance, default 0.5), and the result checked against
ezdxf as the reference: its polylines, in order, must be the input's
model-space polylines (bulges as arcs), LINEs (those of one layer and
3D-ness each starting where the one before ends exactly joined into one)
and ARC, CIRCLE, ELLIPSE and SPLINE entities, on their layers; every vertex
must lie within TOL plus the rounding (half a unit per axis) of ezdxf's
flattening of its entity, and every point of that flattening within as much
of the polyline; the header extents must contain every vertex; and what
standard error says must leave out none of these kinds and carry every
bulge. With --curves and --inserts, each drawing is merged with `--inserts
--curves=TOL --lines`: the curves, lines and polylines each block reference
of model space places (to any depth, each copy of a grid) must stand at the
reference's place, checked the same way against ezdxf's transformation of
each of its block's entities (the one virtual_entities() makes: an arc or
circle stretched unevenly becomes an ellipse, a polyline with arcs its lines
and arcs) flattened; a block's LINEs one after another, the next starting
where one ends exactly, on one layer, are one polyline. What standard error
leaves out with --inserts alone, and with the curves too, is said for each
drawing whose blocks hold any of these kinds.

Prints one line per drawing and per set; exits 1 when any check fails. When
the corpus folder is absent it says so (and checks the ezdxf-written
drawings alone).
"""

from __future__ import annotations

import argparse
import io
import math
import os
import re
import shlex
import subprocess
import sys
from dataclasses import dataclass, field
from fractions import Fraction
from pathlib import Path

import ezdxf
from ezdxf.math import OCS, Matrix44, Vec3
from ezdxf.entities import factory
from ezdxf.lldxf.extendedtags import ExtendedTags
from ezdxf.lldxf.loader import load_dxf_structure
from ezdxf.lldxf.tagger import ascii_tags_loader, tag_compiler
from ezdxf.lldxf.types import DXFTag

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from harness import dxflib_run, rounded, run_merge  # noqa: E402

SET_SIZE = 6
BINARY_SENTINEL_END = b"Binary DXF\r\n\x1a\x00"


@dataclass
class Polyline:
    closed: bool
    layer: str
    vertices: list = field(default_factory=list)  # (x, y, z) in world coordinates, by the DXF rules
    flags: int = 0  # as the result's POLYLINE holds them
    written: list = field(default_factory=list)  # (x, y, z) as the merge writes them, not yet rounded
    vertex_flags: list = field(default_factory=list)  # as the result's VERTEX entities hold them


@dataclass
class Expected:
    failure: str = ""  # "binary" or "no SECTION" when the run must fail
    polylines: list = field(default_factory=list)
    notes: list = field(default_factory=list)  # what the merge's rules lose, for information
    attribute_ends: int = 0  # SEQEND entities that end an INSERT's attributes
    how: str = ""  # how ezdxf read the input, when not as it stands


def decoded(data: bytes) -> str:
    """The text as ezdxf reads a drawing without a code page of its own (the
    result has none): bytes as cp1252, undefined ones kept apart; as a file
    opened in text mode, nothing from a byte 26 on."""
    return data.split(b"\x1a", 1)[0].decode("cp1252", errors="surrogateescape")


def content_tokens(data: bytes) -> list:
    data = data.split(b"\x1a", 1)[0].replace(b"\r", b"")
    return data.split()


def entity(tags) -> object:
    # The compiler looks one tag past a point for its z: an entity's last
    # point needs a tag after it, as in the whole file.
    compiled = list(tag_compiler(iter(list(tags) + [DXFTag(0, "EOF")])))
    return factory.load(ExtendedTags(compiled[:-1]))


def entities_in_order(data: bytes) -> tuple:
    """The entities of the ENTITIES section, in order, as (name, raw tags,
    loaded entity or None), and how ezdxf read them."""
    try:
        sections = load_dxf_structure(ascii_tags_loader(io.StringIO(decoded(data), newline=None), skip_comments=True),
                                      ignore_missing_eof=True)
        return [(tags[0].value, tags, None) for tags in sections.get("ENTITIES", [])[1:]], ""
    except ezdxf.DXFStructureError as e:
        # A drawing ezdxf cannot read as it stands (one cut short, for
        # instance): the model space of its recover mode.
        from ezdxf import recover
        doc, _ = recover.read(io.BytesIO(data))
        return [(e.dxftype(), None, e) for e in doc.modelspace()], " (read by ezdxf's recover mode: %s)" % e


def moving_ocs(e) -> OCS | None:
    """The coordinate system of a 2D polyline's or an LWPOLYLINE's points,
    when its extrusion is not along +z (and not zero)."""
    if not e.dxf.hasattr("extrusion"):
        return None
    x, y, z = e.dxf.extrusion
    return OCS(e.dxf.extrusion) if x != 0 or y != 0 or z < 0 else None


def world(ocs: OCS | None, point: tuple) -> tuple:
    return tuple(ocs.to_wcs(point)) if ocs is not None else point


def off_the_ground(e, ocs: OCS | None, elevation: float) -> bool:
    """Whether a 2D polyline's vertices do not all lie at height 0 as the
    merge writes them: a system tilted from the world's, or an elevation not
    written as 0. The merge then writes it as a 3D polyline."""
    if e.dxf.hasattr("extrusion"):
        x, y, _ = e.dxf.extrusion
        if x != 0 or y != 0:
            return True
    return rounded(world(ocs, (0.0, 0.0, elevation))[2]) != 0


def in_paper_space(tags, loaded) -> bool:
    """Whether an entity belongs to a layout (group 67 not 0)."""
    if loaded is not None:
        return bool(loaded.dxf.get("paperspace", 0))
    for t in tags:
        if t.code == 67:
            try:
                return int(str(t.value).strip()) != 0
            except ValueError:
                return False
    return False


def expected_of(path: Path) -> Expected:
    data = path.read_bytes()
    if len(data) >= 22 and data[8:22] == BINARY_SENTINEL_END:
        return Expected(failure="binary")
    if b"SECTION" not in content_tokens(data):
        return Expected(failure="no SECTION")
    found, how = entities_in_order(data)
    out = Expected(how=how)
    current = None  # the polyline whose vertices come
    in_sequence = False  # between a POLYLINE and its SEQEND (a mesh's too)
    elevation = 0.0
    flat = False  # the polyline is 2D: its vertices lie at its elevation
    made_3d = False  # it is written as a 3D polyline
    ocs = None  # the system its vertices are in, when an extrusion moves them
    after_attributes = False  # between an INSERT's ATTRIB entities and their SEQEND
    for kind, tags, loaded in found:
        e = loaded if loaded is not None else entity(tags) if kind in ("POLYLINE", "VERTEX", "LWPOLYLINE") else None
        if kind == "POLYLINE":
            for v in getattr(e, "vertices", []):  # recover mode: the vertices come with their polyline
                found.append(("VERTEX", None, v))
            flags = e.dxf.flags
            in_sequence, after_attributes = True, False
            elevation = e.dxf.elevation.z
            flat = not flags & (8 | 16 | 64)
            current = None
            ocs = moving_ocs(e) if flat else None
            made_3d = flat and off_the_ground(e, ocs, elevation)
            if not flags & (16 | 64) and not in_paper_space(tags, loaded):
                current = Polyline(bool(flags & 1), e.dxf.layer, flags=flags | (8 if made_3d else 0))
                out.polylines.append(current)
        elif kind == "VERTEX":
            if not in_sequence or current is None:
                continue
            if e.dxf.flags & 16:
                continue
            has_z = tags is None or any(t.code == 30 for t in tags)
            loc = e.dxf.location
            own_z = loc.z if has_z else 0.0
            current.vertices.append(world(ocs, (loc.x, loc.y, elevation)) if flat else (loc.x, loc.y, own_z))
            # The merge writes a 2D polyline's vertices at its elevation when it
            # has one, else at their own z, in world coordinates.
            current.written.append(world(ocs, (loc.x, loc.y, elevation if flat and elevation != 0 else own_z)))
            current.vertex_flags.append(e.dxf.flags | (32 if made_3d else 0))
            if flat and elevation == 0 and rounded(own_z) != 0:
                out.notes.append("vertex of a 2D POLYLINE without elevation carrying a z of its own: written at"
                                 " it, which readers that follow DXF take as 0")
            if e.dxf.hasattr("bulge") and e.dxf.bulge != 0:
                out.notes.append("POLYLINE vertex bulge (an arc), neither carried nor counted")
        elif kind == "SEQEND":
            if after_attributes:
                out.attribute_ends += 1
            current, in_sequence, after_attributes = None, False, False
        elif kind == "LWPOLYLINE":
            current, in_sequence, after_attributes = None, False, False
            if in_paper_space(tags, loaded):
                continue
            lw_ocs = moving_ocs(e)
            made_3d = off_the_ground(e, lw_ocs, e.dxf.elevation)
            points = [tuple(v) for v in e.vertices_in_wcs()]
            out.polylines.append(Polyline(bool(e.closed), e.dxf.layer, points,
                                          (e.dxf.flags & (1 | 128)) | (8 if made_3d else 0), points,
                                          [32 if made_3d else 0] * len(points)))
        else:
            current, in_sequence = None, False
            after_attributes = kind in ("INSERT", "ATTRIB")
    return out


def result_polylines(path: Path) -> tuple:
    """The result's polylines as ezdxf's strict reader sees them (their
    vertices in world coordinates by the DXF rules), what is wrong with the
    file, the entities besides them, and the vertices that lie outside the
    header's extents as written."""
    problems = []
    try:
        doc = ezdxf.readfile(str(path))
    except Exception as e:  # noqa: BLE001 - any refusal is the finding
        return [], ["ezdxf.readfile refused it: %s: %s" % (type(e).__name__, e)], {}
    auditor = doc.audit()
    if auditor.has_errors:
        problems.append("ezdxf's audit found %d errors: %s" % (len(auditor.errors),
                                                               "; ".join(str(m.message) for m in auditor.errors[:3])))
    low, high = doc.header.get("$EXTMIN", (0, 0, 0)), doc.header.get("$EXTMAX", (0, 0, 0))
    found = []
    others = {}
    outside = None
    for e in doc.modelspace():
        if e.dxftype() != "POLYLINE":
            others[e.dxftype()] = others.get(e.dxftype(), 0) + 1
            continue
        three_d = e.is_3d_polyline
        ocs = OCS(e.dxf.extrusion)
        points = []
        for v in e.vertices:
            at = v.dxf.location
            points.append(tuple(at) if three_d else tuple(ocs.to_wcs((at.x, at.y, e.dxf.elevation.z))))
            if outside is None and not all(low[k] - 1 <= at[k] <= high[k] + 1 for k in range(3)):
                outside = tuple(at)
        found.append(Polyline(e.is_closed, e.dxf.layer, points))
    if outside is not None:
        problems.append("a vertex written at %s lies outside the header's extents %s to %s" % (outside, low, high))
    return found, problems, others


def compare(expected: list, found: list) -> list:
    if len(expected) != len(found):
        return ["%d polylines expected, %d in the result" % (len(expected), len(found))]
    for k, (want, got) in enumerate(zip(expected, found), 1):
        if want.closed != got.closed:
            return ["polyline %d: closed is %s, expected %s" % (k, got.closed, want.closed)]
        if want.layer != got.layer:
            return ["polyline %d: layer %r, expected %r" % (k, got.layer, want.layer)]
        if len(want.vertices) != len(got.vertices):
            return ["polyline %d: %d vertices, expected %d" % (k, len(got.vertices), len(want.vertices))]
        for j, (a, b) in enumerate(zip(want.vertices, got.vertices), 1):
            wanted = tuple(rounded(c) for c in a)
            if any(Fraction(g) != w and float(w) != g for g, w in zip(b, wanted)):
                return ["polyline %d, vertex %d: %s, expected %s (from %s)" % (k, j, b, wanted, a)]
    return []


def write_with_ezdxf(folder: Path) -> list:
    """Drawings as ezdxf writes them, for the DXF rules of heights and sheets,
    and splines given by fit points alone."""
    folder.mkdir(parents=True, exist_ok=True)
    made = []

    doc = ezdxf.new("R12")
    msp = doc.modelspace()
    # ezdxf writes a 2D polyline's elevation in the POLYLINE and 30 0.0 in each vertex.
    msp.add_polyline2d([(0, 0), (10.4, 0), (10.4, 7.6)], dxfattribs={"elevation": (0, 0, 100.5), "layer": "L1"})
    msp.add_polyline2d([(1, 1), (2.5, 3)], dxfattribs={"elevation": (0, 0, 7), "extrusion": (0, 0, -1)})
    msp.add_polyline2d([(5, 5), (6, 6)], dxfattribs={"flags": 1})
    msp.add_polyline3d([(1, 2, 3.7), (4, 5, -6.2), (7, 8, 9)])
    doc.layout("Layout1").add_polyline2d([(0, 0), (200, 0), (200, 100), (0, 100)], close=True)
    doc.saveas(folder / "r12_elevations.dxf")
    made.append(folder / "r12_elevations.dxf")

    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    msp.add_lwpolyline([(0, 0), (3.5, 4.5), (9, 1)], dxfattribs={"elevation": 38.25, "layer": "CONTOURS"})
    msp.add_lwpolyline([(1, 2), (3, 4)], close=True, dxfattribs={"elevation": 7, "extrusion": (0, 0, -1)})
    msp.add_lwpolyline([(2, 2), (4, 4)], dxfattribs={"elevation": 1.5, "extrusion": (1, 0, 0)})
    doc.layout("Layout1").add_lwpolyline([(0, 0), (200, 0), (200, 100), (0, 100)], close=True)
    doc.saveas(folder / "r2000_lwpolylines.dxf")
    made.append(folder / "r2000_lwpolylines.dxf")

    # Splines given by fit points alone, as ezdxf writes them: the curve is
    # the reader's to make (ezdxf's fit_points_to_cad_cv()).
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    wave = [(0, 0), (100, 200), (300, -100), (500, 400), (800, 0), (1000, 300)]
    msp.add_spline(fit_points=wave, dxfattribs={"layer": "FIT"})
    msp.add_spline(fit_points=wave, dxfattribs={"start_tangent": (0, 1, 0), "end_tangent": (1, -1, 0)})
    msp.add_spline(fit_points=[(0, 0, 0), (120, 30, 80), (250, -60, 20), (330, 100, -90), (500, 0, 40)])
    msp.add_spline(fit_points=[(0, 0), (1, 2), (3, 1), (400, 300), (410, 305), (900, -200)])  # uneven chords
    msp.add_spline(fit_points=[(0, 0), (500, 0), (500, 500), (0, 500), (0, 0)])  # ends where it starts: closed
    msp.add_spline(fit_points=[(0, 0), (1000, 0)], dxfattribs={"start_tangent": (0, 1, 0), "end_tangent": (0, 1, 0)})
    msp.add_lwpolyline([(0, 0), (10, 10)])
    block = doc.blocks.new("FITS")
    block.add_spline(fit_points=[(0, 0), (40, 90), (100, -20), (160, 50)])
    msp.add_blockref("FITS", (5000, 200), dxfattribs={"xscale": 3, "yscale": 3, "zscale": 3, "rotation": 30})
    doc.saveas(folder / "r2000_fit_splines.dxf")
    made.append(folder / "r2000_fit_splines.dxf")
    return made


def ogrinfo_reads(result: Path, found: list) -> list:
    """What is wrong with GDAL's ogrinfo's reading of the result: the same
    polylines, at the same world coordinates, as ezdxf reads by the DXF rules."""
    try:
        run = subprocess.run(["ogrinfo", "-ro", "-al", "-q", str(result)], capture_output=True, timeout=600)
    except FileNotFoundError:
        return ["ogrinfo is not installed (Debian package gdal-bin)"]
    # A polyline of one vertex is a POINT to it.
    shapes = re.findall(r"^\s+(?:LINESTRING|POLYGON|POINT)[^(]*\(+([^)]*)\)", run.stdout.decode(errors="replace"), re.M)
    if len(shapes) != len(found):
        return ["ogrinfo read %d polylines, ezdxf %d" % (len(shapes), len(found))]
    for k, (shape, want) in enumerate(zip(shapes, found), 1):
        points = [tuple(float(c) for c in p.split()) for p in shape.split(",")]
        want_points = [tuple(float(c) for c in v) for v in want.vertices]
        if want.closed and points[:-1] == want_points and points[-1] == want_points[0]:
            continue  # a closed one, its first point again at its end
        if [p + (0.0,) * (3 - len(p)) for p in points] != want_points:
            return ["ogrinfo: polyline %d at %s, ezdxf's at %s" % (k, points[:3], want_points[:3])]
    return []


def told_counts(errors: str, name: str) -> tuple | None:
    """The polylines and vertices standard error says were copied from an
    input, (0, 0) when it says nothing was, None when it says nothing of it."""
    for line in errors.splitlines():
        if not line.startswith("talvero: %s: " % name):
            continue
        rest = line[len("talvero: %s: " % name):]
        if rest.startswith("nothing was copied from it"):
            return 0, 0
        m = re.match(r"(\d+) polylines? (?:and (\d+) vert(?:ex|ices) )?copied", rest)
        if m:
            return int(m.group(1)), int(m.group(2) or 0)
    return None


def dxflib_reads(check: str, result: Path, wanted: list) -> list:
    """What is wrong with dxflib's reading of the result: it must find the
    polylines wanted, with their flags (neither the header's extents nor the
    vertices' own layers are compared here, as with ezdxf)."""
    def word(text: str) -> str:  # one whitespace-free word: spaces and % written as %HH
        return "".join("%%%02X" % ord(c) if c.isspace() or c == "%" else c for c in text)

    lines = []
    for p in wanted:
        lines.append("polyline %s %d %d" % (word(p.layer), p.flags, len(p.written)))
        lines += ["vertex * %d %d %d %d" % ((f,) + tuple(rounded(c) for c in v)) for f, v in zip(p.vertex_flags, p.written)]
    expected = result.with_suffix(".dxflib.txt")
    expected.write_text("\n".join(lines + ["end"]) + "\n", encoding="utf-8", errors="surrogateescape")
    run = dxflib_run(check, result, expected)
    if run.returncode == 0:
        return []
    said = [l for l in run.stdout.decode(errors="replace").splitlines() if l.startswith("FAIL")]
    return ["dxflib: " + "; ".join(said[:3] or [run.stderr.decode(errors="replace").strip()])]


@dataclass
class Tally:
    results: int = 0  # results written
    ezdxf: int = 0  # read by ezdxf's strict reader
    dxflib: int = 0  # read by dxflib with every polyline found
    polylines: int = 0  # found by ezdxf in the results
    vertices: int = 0


# --- --scale F and --layer-per-input -------------------------------------------


def layer_of_input(path: Path) -> str:
    """The layer --layer-per-input puts an input's polylines on, as ezdxf
    reads it: the file name's bytes, which a result without a code page is
    read in as Windows-1252."""
    base = re.split(rb"[/\\:]", os.fsencode(path))[-1]
    if base.rfind(b".") > 0:
        base = base[:base.rfind(b".")]
    layer = bytes(ord("_") if c < 32 or c == 127 or c in b'<>/\\":;?*|=`' else c for c in base) or b"_"
    return layer.decode("cp1252", errors="replace")


def as_asked(polylines: list, path: Path, scale: float | None, per_input: bool) -> list:
    """The polylines an input gives under the options: their vertices scaled
    (each coordinate multiplied, as the merge does, before rounding), on the
    input's own layer."""
    def scaled(points):
        return points if scale is None else [tuple(c * scale for c in v) for v in points]
    return [Polyline(p.closed, layer_of_input(path) if per_input else p.layer, scaled(p.vertices), p.flags,
                     scaled(p.written), p.vertex_flags) for p in polylines]


def rounding_warning(errors: str, path: Path, polylines: list, scaled: bool) -> list:
    """What is wrong with the warning about vertices rounding puts on the
    one before them: due when more than half of the input's do (none with a
    scale), with the counts."""
    written = [[tuple(rounded(c) for c in v) for v in p.written] for p in polylines]
    coincident = sum(a == b for w in written for a, b in zip(w, w[1:]))
    total = sum(len(w) for w in written)
    line = ("talvero: warning: %s: rounding to whole units puts %d of its %d vertices where the vertex before them"
            " lies; --scale=F keeps them apart" % (path, coincident, total))
    said = [l for l in errors.splitlines() if l.startswith("talvero: warning: %s: rounding" % path)]
    due = not scaled and 2 * coincident > total
    if said != ([line] if due else []):
        return ["standard error says %r of rounding, expected %r" % (said, [line] if due else [])]
    return []


def check_run(command: list, inputs: list, expected: dict, result: Path, dxflib: str | None = None,
              tally: Tally | None = None, ogrinfo: bool = False, options: list | None = None) -> list:
    """What is wrong with one merge of the inputs (with the options)."""
    tally = tally if tally is not None else Tally()
    options = options or []
    scale = next((float(o[len("--scale="):]) for o in options if o.startswith("--scale=")), None)
    per_input = "--layer-per-input" in options
    run = run_merge(command, inputs, result, *options)
    errors = run.stderr.decode("utf-8", errors="replace")
    problems = [l for l in errors.splitlines() if not l.startswith("talvero: ")]
    problems = ["a line on standard error not from talvero: %r" % l for l in problems]
    failing = [p for p in inputs if expected[p].failure]
    if failing:
        first = failing[0]
        why = expected[first].failure
        told = {"binary": "a binary DXF drawing", "no SECTION": "not a DXF drawing (it holds no SECTION)"}[why]
        if run.returncode != 1:
            problems.append("exit status %d, expected 1 (%s is %s)" % (run.returncode, first.name, why))
        if result.exists():
            problems.append("a result was written although the run failed")
        if told not in errors:
            problems.append("standard error does not say %r: %r" % (told, errors))
        return problems
    if run.returncode != 0:
        return problems + ["exit status %d: %s" % (run.returncode, errors.strip())]
    if not result.exists():
        return problems + ["no result written"]
    tally.results += 1
    found, read_problems, others = result_polylines(result)
    problems += read_problems
    if not read_problems:
        tally.ezdxf += 1
        tally.polylines += len(found)
        tally.vertices += sum(len(p.vertices) for p in found)
    for kind, n in others.items():
        why = ""
        ends = sum(expected[p].attribute_ends for p in inputs)
        if kind == "SEQEND" and ends:
            why = " (the inputs hold %d SEQEND ending the attributes of an INSERT)" % ends
        problems.append("%d %s entities besides the polylines%s" % (n, kind, why))
    wanted = [p for path in inputs for p in as_asked(expected[path].polylines, path, scale, per_input)]
    problems += compare(wanted, found)
    if ogrinfo and not read_problems:
        problems += ogrinfo_reads(result, found)
    if dxflib:
        read = dxflib_reads(dxflib, result, wanted)
        problems += read
        tally.dxflib += not read
    for path in inputs:
        counts = told_counts(errors, str(path))
        mine = (len(expected[path].polylines), sum(len(p.vertices) for p in expected[path].polylines))
        if counts is not None and counts != mine:
            problems.append("standard error says %d polylines and %d vertices were copied from %s, expected %d and %d"
                            % (counts + (path.name,) + mine))
        problems += rounding_warning(errors, path, expected[path].polylines, scale is not None)
    return problems


def block_polylines(insert, layer: str, matrix) -> list:
    """The polylines a block reference places, its block's entities taken by
    the reference's matrix44() (for the drawings whose entities ezdxf cannot
    copy into virtual ones)."""
    out = []
    block = insert.doc.blocks.get(insert.dxf.name)
    d = insert.dxf
    ocs = insert.ocs()
    rows = d.row_count if d.row_spacing else 1
    columns = d.column_count if d.column_spacing else 1
    for row in range(max(rows, 1)):
        for column in range(max(columns, 1)):
            shift = ocs.to_wcs(Vec3(column * d.column_spacing, row * d.row_spacing).rotate_deg(d.rotation))
            m = insert.matrix44() @ Matrix44.translate(*shift)
            out += grid_copy_polylines(block, layer, m @ matrix if matrix is not None else m)
    return out


def grid_copy_polylines(block, layer: str, m) -> list:
    """The polylines of one copy of a block, placed by the matrix m."""
    out = []
    for e in block or []:
        own = layer if e.dxf.layer == "0" else e.dxf.layer
        if e.dxftype() == "INSERT":
            out += block_polylines(e, own, m)
            continue
        for p in placed_entity(e, own):
            out.append(Polyline(p.closed, own, [tuple(m.transform(v)) for v in p.vertices]))
    return out


def placed_entity(e, layer: str) -> list:
    """A polyline entity's polyline, its vertices in world coordinates."""
    kind = e.dxftype()
    if kind == "LWPOLYLINE":
        return [Polyline(e.closed, layer, [tuple(v) for v in e.vertices_in_wcs()])]
    if kind != "POLYLINE" or e.dxf.flags & (16 | 64):
        return []
    ocs = OCS(e.dxf.extrusion)
    points = []
    for v in e.vertices:
        if v.dxf.flags & 16:
            continue
        at = v.dxf.location
        points.append(tuple(at) if e.is_3d_polyline else tuple(ocs.to_wcs((at.x, at.y, e.dxf.elevation.z))))
    return [Polyline(e.is_closed, layer, points)]


def placed_polylines(insert, layer: str) -> list:
    """The polylines a block reference places, in world coordinates, by ezdxf."""
    try:
        return virtual_polylines(insert, layer)
    except ezdxf.DXFError:
        return block_polylines(insert, layer, None)


def virtual_polylines(insert, layer: str) -> list:
    """The polylines a block reference places, by ezdxf's virtual_entities()."""
    out = []
    for copy in insert.multi_insert():
        for e in copy.virtual_entities():
            own = layer if e.dxf.layer == "0" else e.dxf.layer
            kind = e.dxftype()
            out += virtual_polylines(e, own) if kind == "INSERT" else placed_entity(e, own)
    return out


def inserts_expected(path: Path, own: list) -> tuple:
    """The polylines a merge with --inserts writes, in order (the drawing's
    own, as `own` holds them, and the placed ones flagged), and how many block
    references model space holds."""
    if b"INSERT" not in path.read_bytes():  # no reference: not even one ezdxf cannot load needs reading
        return [(False, p) for p in own], 0
    from ezdxf import recover

    doc, _ = recover.readfile(str(path))
    wanted, references, k = [], 0, 0
    for e in doc.modelspace():
        kind = e.dxftype()
        if kind == "INSERT":
            references += 1
            wanted += [(True, p) for p in placed_polylines(e, e.dxf.layer)]
        elif kind == "LWPOLYLINE" or (kind == "POLYLINE" and not e.dxf.flags & (16 | 64)):
            if k < len(own):
                wanted.append((False, own[k]))
            k += 1
    if k != len(own):
        raise ValueError("%d polylines in model space, %d expected of the plain merge" % (k, len(own)))
    return wanted, references


def check_inserts(command: list, drawings: list, expected: dict, scratch: Path) -> int:
    """Merges each readable drawing with --inserts and checks it; the failures."""
    failures, placed, vertices = 0, 0, 0
    plain, result = scratch / "inserts_plain.dxf", scratch / "inserts_result.dxf"
    for path in drawings:
        if path not in expected or expected[path].failure:
            continue
        try:
            wanted, references = inserts_expected(path, expected[path].polylines)
        except Exception as e:  # noqa: BLE001
            print("FAIL --inserts %s: ezdxf cannot place its references: %s: %s" % (path.name, type(e).__name__, e))
            failures += 1
            continue
        run = run_merge(command + ["--inserts"], [path], result)
        errors = run.stderr.decode("utf-8", errors="replace")
        problems = [] if run.returncode == 0 else ["exit status %d: %s" % (run.returncode, errors.strip())]
        if not problems and references == 0:
            run_merge(command, [path], plain)
            if plain.read_bytes() != result.read_bytes():
                problems.append("no block reference in model space, yet the result differs from the plain merge's")
        elif not problems:
            found, read_problems, _ = result_polylines(result)
            problems += read_problems
            if len(found) != len(wanted):
                problems.append("%d polylines expected, %d in the result" % (len(wanted), len(found)))
            for k, ((is_placed, want), got) in enumerate(zip(wanted, found), 1):
                slack = 1 if is_placed else 0
                near = len(want.vertices) == len(got.vertices) and all(
                    abs(Fraction(g) - rounded(c)) <= slack for a, b in zip(want.vertices, got.vertices)
                    for c, g in zip(a, b))
                if want.layer != got.layer or want.closed != got.closed or not near:
                    problems.append("polyline %d: %s %s %s, expected %s %s %s" % (
                        k, got.layer, got.closed, got.vertices[:3], want.layer, want.closed,
                        [tuple(rounded(c) for c in v) for v in want.vertices[:3]]))
                    break
            if re.search(r"left out:.*\bINSERT\b", errors):
                problems.append("standard error still leaves out INSERT: %s" % errors.strip())
            placed += sum(1 for p, _ in wanted if p)
            vertices += sum(len(w.vertices) for p, w in wanted if p)
        if problems:
            failures += 1
            print("FAIL --inserts %s: %s" % (path.name, "; ".join(problems)))
        else:
            print("ok   --inserts %s (%d block references)" % (path.name, references))
    print("--inserts: %d polylines with %d vertices placed from block references; %d failures"
          % (placed, vertices, failures))
    return failures


# --- --curves and --lines ----------------------------------------------------

CURVE_KINDS = ("ARC", "CIRCLE", "ELLIPSE", "SPLINE")


def arc_reference(e, fine: float) -> list:
    """Points along an ARC or CIRCLE, about `fine` apart, in world coordinates."""
    import numpy as np
    start, end = (e.dxf.start_angle, e.dxf.end_angle) if e.dxftype() == "ARC" else (0.0, 360.0)
    span = (end - start) % 360 or 360
    n = int(min(max(16, math.ceil(math.radians(span) * e.dxf.radius / fine)), 200000))
    return list(e.vertices(np.linspace(start, start + span, n + 1)))


def polyline_reference(points: list, closed: bool, extrusion, elevation: float, fine: float) -> list:
    """Points along a 2D polyline of (x, y, bulge) in its system, as ezdxf's path draws it."""
    from ezdxf import path as ezpath
    drawn = ezpath.Path()
    ezpath.add_2d_polyline(drawn, points, closed, OCS(extrusion), elevation)
    flat = list(drawn.flattening(distance=fine))
    return flat or [OCS(extrusion).to_wcs((x, y, elevation)) for x, y, _ in points[:1]]


def curve_references(path: Path, tolerance: float, inserts: bool = False) -> list:
    """What the result of --curves --lines must hold, in order, as (layer,
    points in world coordinates along the entity, closely flattened): each
    entity of the ENTITIES section as ezdxf loads it on its own, and with
    --inserts what each block reference of model space places."""
    import numpy as np
    fine = tolerance / 20
    references = model_references(path) if inserts else []
    wanted = []
    last_line = None  # the end, layer and 3D-ness of the LINE before, as read
    polyline = None  # the POLYLINE whose vertices come: (entity, its (x, y, bulge) or 3D points)
    found, _ = entities_in_order(path.read_bytes())

    def end_polyline():
        if polyline is None:
            return
        e, points = polyline
        if e.dxf.flags & 8:
            drawn = [tuple(p) for p, _ in points] + ([tuple(points[0][0])] if e.dxf.flags & 1 and points else [])
        else:
            drawn = polyline_reference([(p.x, p.y, b) for p, b in points], bool(e.dxf.flags & 1),
                                       e.dxf.get("extrusion", (0, 0, 1)), e.dxf.elevation.z, fine)
        wanted.append((e.dxf.layer, drawn))

    for kind, tags, loaded in found:
        if kind == "SEQEND" and polyline is not None:
            end_polyline()
            polyline = None
            continue
        if kind == "VERTEX" and polyline is not None:
            v = loaded if loaded is not None else entity(tags)
            if not v.dxf.flags & 16:
                polyline[1].append((v.dxf.location, v.dxf.get("bulge", 0)))
            continue
        if inserts and kind == "INSERT" and not in_paper_space(tags, loaded):
            last_line = None
            wanted += placed_references(references.pop(0), None, fine)
            continue
        if kind not in ("LINE", "POLYLINE", "LWPOLYLINE") + CURVE_KINDS:
            last_line = None
            continue
        e = loaded if loaded is not None else entity(tags)
        if in_paper_space(tags, loaded):
            last_line = None
            continue
        if kind == "LINE":
            a, b = tuple(e.dxf.start), tuple(e.dxf.end)
            three_d = rounded(a[2]) != 0 or rounded(b[2]) != 0
            if last_line is not None and last_line == (a, e.dxf.layer, three_d):
                wanted[-1][1].append(b)
            else:
                wanted.append((e.dxf.layer, [a, b]))
            last_line = (b, e.dxf.layer, three_d)
            continue
        last_line = None
        if kind in ("ARC", "CIRCLE"):
            points = arc_reference(e, fine)
        elif kind in ("ELLIPSE", "SPLINE"):
            points = list(e.flattening(distance=fine))
        elif kind == "LWPOLYLINE":
            points = polyline_reference(list(e.get_points("xyb")), e.closed, e.dxf.get("extrusion", (0, 0, 1)),
                                        e.dxf.elevation, fine)
        else:
            end_polyline()  # one without its SEQEND
            polyline = None
            if not e.dxf.flags & (16 | 64):
                polyline = (e, [])
                for v in getattr(e, "vertices", []):  # recover mode: the vertices come with their polyline
                    if not v.dxf.flags & 16:
                        polyline[1].append((v.dxf.location, v.dxf.get("bulge", 0)))
            continue
        wanted.append((e.dxf.layer, [tuple(p) for p in points]))
    end_polyline()
    return [(layer, np.array(points, dtype=float).reshape(-1, 3)) for layer, points in wanted]


def model_references(path: Path) -> list:
    """The block references of model space, in order, as ezdxf's recover mode loads them."""
    from ezdxf import recover
    doc, _ = recover.readfile(str(path))
    return [e for e in doc.modelspace() if e.dxftype() == "INSERT"]


def transformed(e, m) -> list:
    """A block's entity placed by the matrix m, as ezdxf's virtual_entities()
    places it: a copy transformed; under uneven scaling an ARC or CIRCLE as an
    ELLIPSE, a polyline with arcs as its LINE and ARC pieces."""
    from ezdxf.entities import Ellipse
    from ezdxf.math import NonUniformScalingError
    try:
        return [e.copy().transform(m)]
    except NonUniformScalingError:
        if e.dxftype() in ("ARC", "CIRCLE"):
            return [Ellipse.from_arc(e).transform(m)]
        return [t for piece in e.virtual_entities() for t in transformed(piece, m)]


def flattened(e, fine: float) -> list | None:
    """Points along a placed entity in world coordinates, or None for a kind not drawn."""
    kind = e.dxftype()
    if kind == "LINE":
        return [tuple(e.dxf.start), tuple(e.dxf.end)]
    if kind in ("ARC", "CIRCLE"):
        return [tuple(p) for p in arc_reference(e, fine)]
    if kind == "ELLIPSE":  # sampled: ezdxf's flattening of a whole one placed may divide by zero
        import numpy as np
        start, end = e.dxf.start_param, e.dxf.end_param
        span = (end - start) % math.tau or math.tau
        n = int(min(max(16, math.ceil(span * e.dxf.major_axis.magnitude / fine)), 200000))
        return [tuple(p) for p in e.vertices(np.linspace(start, start + span, n + 1))]
    if kind == "SPLINE":
        return [tuple(p) for p in e.flattening(distance=fine)]
    if kind == "LWPOLYLINE":
        return [tuple(p) for p in polyline_reference(list(e.get_points("xyb")), e.closed,
                                                       e.dxf.get("extrusion", (0, 0, 1)), e.dxf.elevation, fine)]
    if kind != "POLYLINE" or e.dxf.flags & (16 | 64):
        return None
    vertices = [v for v in e.vertices if not v.dxf.flags & 16]
    if e.is_3d_polyline:
        return [tuple(v.dxf.location) for v in vertices] + ([tuple(vertices[0].dxf.location)]
                                                           if e.is_closed and vertices else [])
    points = [(v.dxf.location.x, v.dxf.location.y, v.dxf.get("bulge", 0)) for v in vertices]
    return [tuple(p) for p in polyline_reference(points, e.is_closed, e.dxf.get("extrusion", (0, 0, 1)),
                                                   e.dxf.elevation.z, fine)]


def placed_references(insert, outer, fine: float, layer: str | None = None) -> list:
    """(layer, points) for each polyline a block reference places with
    --inserts --curves --lines, in order: its block's entities, each copy of a
    grid, placed by ezdxf's transformations (nested references to any depth
    through the matrix `outer` of the enclosing ones)."""
    layer = insert.dxf.layer if layer is None else layer
    block = insert.doc.blocks.get(insert.dxf.name)
    if block is None:
        return []
    d = insert.dxf
    out = []
    rows = d.row_count if d.row_spacing else 1
    columns = d.column_count if d.column_spacing else 1
    for row in range(max(rows, 1)):
        for column in range(max(columns, 1)):
            shift = insert.ocs().to_wcs(Vec3(column * d.column_spacing, row * d.row_spacing).rotate_deg(d.rotation))
            m = insert.matrix44() @ Matrix44.translate(*shift)
            m = m @ outer if outer is not None else m
            last_line = None  # the end and layer of the LINE before, as read
            for e in block:
                own = layer if e.dxf.layer == "0" else e.dxf.layer
                kind = e.dxftype()
                if kind == "LINE":
                    a, b = tuple(e.dxf.start), tuple(e.dxf.end)
                    ends = [tuple(m.transform(p)) for p in (a, b)]
                    if last_line == (a, e.dxf.layer):
                        out[-1][1].append(ends[1])
                    else:
                        out.append((own, ends))
                    last_line = (b, e.dxf.layer)
                    continue
                last_line = None
                if kind == "INSERT":
                    out += placed_references(e, m, fine, own)
                    continue
                if kind not in ("POLYLINE", "LWPOLYLINE") + CURVE_KINDS or e.dxf.get("paperspace", 0):
                    continue
                points = [p for piece in transformed(e, m) for p in flattened(piece, fine) or []]
                if points:
                    out.append((own, points))
    return out


def block_left_out(errors: str, name: str) -> dict:
    """What standard error leaves out of the curve kinds and LINE for the drawing, and its bulges not carried."""
    said = " ".join(line.split(name + ":", 1)[1] for line in errors.splitlines() if name + ":" in line)
    left_out = said.split("left out:", 1)[1] if "left out:" in said else ""
    counts = {kind: int(n) for kind in CURVE_KINDS + ("LINE",) for n in re.findall(r"\b(\d+) %s\b" % kind, left_out)}
    bulges = re.search(r"(\d+) bulges? ", said)
    if bulges:
        counts["bulges not carried"] = int(bulges.group(1))
    return counts


def distances_to_polyline(points, line, near: float):
    """Each point's distance to the polyline through `line`'s points, where it
    is within `near` (beyond it: some distance above `near`). Taken a slice
    of points at a time, against the segments near the slice, to bound the
    memory."""
    import numpy as np
    if len(line) == 1:
        line = np.vstack([line, line])
    a, b = line[:-1], line[1:]
    lows, highs = np.minimum(a, b), np.maximum(a, b)
    best = np.full(len(points), np.inf)
    step = 256
    for first in range(0, len(points), step):
        chunk = points[first:first + step]
        low, high = chunk.min(axis=0) - near, chunk.max(axis=0) + near
        close = np.nonzero(((highs >= low) & (lows <= high)).all(axis=1))[0]
        for start in range(0, len(close), step):
            pick = close[start:start + step]
            sa, ab = a[pick], b[pick] - a[pick]
            length2 = np.maximum((ab * ab).sum(axis=1), 1e-300)
            ap = chunk[:, None, :] - sa[None, :, :]
            t = np.clip((ap * ab[None]).sum(axis=2) / length2[None], 0.0, 1.0)
            gap = np.linalg.norm(ap - t[..., None] * ab[None], axis=2).min(axis=1)
            best[first:first + step] = np.minimum(best[first:first + step], gap)
    return best


def check_curves_run(command: list, path: Path, result: Path, tolerance: float, inserts: bool = False) -> tuple:
    """Problems of the --curves --lines result of one drawing (with
    --inserts, when asked), and the counts of polylines and vertices checked."""
    import numpy as np
    if inserts and b"INSERT" in path.read_bytes():
        # What the blocks leave out: with --inserts alone, beyond what the drawing's own entities do.
        said = [block_left_out(run_merge(command, [path], result, *o).stderr.decode(errors="replace"), path.name)
                for o in ([], ["--inserts"])]
        before = {kind: n - said[0].get(kind, 0) for kind, n in said[1].items() if n > said[0].get(kind, 0)}
        run = run_merge(command, [path], result, "--inserts", "--curves=%r" % tolerance, "--lines")
        after = block_left_out(run.stderr.decode(errors="replace"), path.name)
        if before:
            print("     %s: of its blocks, --inserts leaves out %s; with --curves --lines too, %s"
                  % (path.name, before, after or "none"))
    else:
        run = run_merge(command, [path], result, "--curves=%r" % tolerance, "--lines", *(["--inserts"] if inserts else []))
    errors = run.stderr.decode(errors="replace")
    if run.returncode != 0:
        return ["talvero exited with %d: %s" % (run.returncode, errors)], 0, 0
    problems = []
    said = " ".join(line.split(path.name + ":", 1)[1] for line in errors.splitlines() if path.name + ":" in line)
    left_out = said.split("left out:", 1)[1] if "left out:" in said else ""
    for kind in CURVE_KINDS + ("LINE",):
        if re.search(r"\b\d+ %s\b" % kind, left_out):
            problems.append("%s left out: %s" % (kind, said))
    if "bulge" in said:
        problems.append("bulges not carried: %s" % said)
    wanted = curve_references(path, tolerance, inserts)
    try:
        doc = ezdxf.readfile(result)
    except ezdxf.DXFValueError as e:
        # A layer name ezdxf refuses, carried as the input has it.
        raise ezdxf.DXFError("the result: %s" % e) from e
    found = [e for e in doc.modelspace() if e.dxftype() == "POLYLINE"]
    if len(found) != len(wanted):
        return problems + ["%d polylines where ezdxf gives %d" % (len(found), len(wanted))], len(found), 0
    low = np.array(doc.header.get("$EXTMIN", (0, 0, 0)), dtype=float) - 1
    high = np.array(doc.header.get("$EXTMAX", (0, 0, 0)), dtype=float) + 1
    vertices = 0
    for k, (e, (layer, reference)) in enumerate(zip(found, wanted)):
        written = np.array([tuple(v.dxf.location) for v in e.vertices], dtype=float).reshape(-1, 3)
        vertices += len(written)
        # Where a vertex lay before the rounding: within half a unit of the
        # middle of the values written as it is (one unit either side of -0.5
        # for 0, which -1.5 to 0.5 are written as).
        points = np.where(written >= 1, written, np.where(written == 0, -0.5, written - 1))
        spread = np.where(written == 0, 1.0, 0.5)
        if e.dxf.layer.strip() != layer.strip():
            problems.append("polyline %d on layer %r, not %r" % (k + 1, e.dxf.layer, layer))
        if len(points) == 0 or len(reference) == 0:
            if len(points) != len(reference):
                problems.append("polyline %d: %d vertices for %d points" % (k + 1, len(points), len(reference)))
            continue
        if ((written < low) | (written > high)).any():
            problems.append("polyline %d: a vertex outside the header extents" % (k + 1))
        drawn = np.vstack([points, points[:1]]) if e.is_closed else points
        # Each vertex's own allowance; the polyline's is the widest.
        allowed = tolerance + np.linalg.norm(spread, axis=1) + tolerance / 20 + 1e-6
        off = (distances_to_polyline(points, reference, allowed.max()) - allowed).max()
        missed = (distances_to_polyline(reference, drawn, allowed.max()) - allowed.max()).max()
        if off > 0 or missed > 0:
            problems.append("polyline %d (layer %r): a vertex %.3f further from the curve than allowed, a curve"
                            " point %.3f further from the polyline" % (k + 1, layer, off, missed))
        if len(problems) > 5:
            break
    return problems, len(found), vertices


def check_curves(command: list, drawings: list, corpus: Path, scratch: Path, tolerance: float,
                 inserts: bool = False) -> int:
    """The --curves check (with --inserts, when asked) over the drawings; the count of failures."""
    result = scratch / "corpus_check_curves.dxf"
    failures = checked = polylines = vertices = 0
    for path in drawings:
        name = path.relative_to(corpus) if path.is_relative_to(corpus) else path.name
        data = path.read_bytes()
        if (len(data) >= 22 and data[8:22] == BINARY_SENTINEL_END) or b"SECTION" not in content_tokens(data):
            continue  # a drawing that must fail, checked without the options
        try:
            problems, p, v = check_curves_run(command, path, result, tolerance, inserts)
        except ezdxf.DXFError as e:
            print("skip %s: ezdxf cannot load an entity of it, or of its result, on its own: %s" % (name, e))
            continue
        if problems:
            failures += 1
            print("FAIL %s: %s" % (name, "; ".join(problems)))
        else:
            checked, polylines, vertices = checked + 1, polylines + p, vertices + v
            print("ok   %s (%d polylines, %d vertices)" % (name, p, v))
    print("%s--curves=%r --lines: %d drawings checked, %d polylines and %d vertices within the tolerance of ezdxf's"
          " curves; %d failures" % ("--inserts " if inserts else "", tolerance, checked, polylines, vertices, failures))
    return failures


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    how = parser.add_mutually_exclusive_group(required=True)
    how.add_argument("--talvero", help="the talvero executable")
    how.add_argument("--command", help="a command run as `COMMAND -o RESULT INPUT...` in its place")
    parser.add_argument("--corpus", required=True, type=Path, help="the folder of drawings (read in place)")
    parser.add_argument("--scratch", required=True, type=Path, help="a folder for the results")
    parser.add_argument("--dxflib-check", help="the dxflib_check executable, to read every result with dxflib too")
    parser.add_argument("--notes", action="store_true", help="also say what the merge's rules lose from each drawing")
    parser.add_argument("--written-by-ezdxf", action="store_true", help="also check drawings ezdxf writes here")
    parser.add_argument("--ogrinfo", action="store_true", help="read every result with GDAL's ogrinfo too")
    parser.add_argument("--inserts", action="store_true", help="also check each drawing merged with --inserts")
    parser.add_argument("--curves", action="store_true", help="check --curves and --lines against ezdxf instead")
    parser.add_argument("--tolerance", type=float, default=0.5, help="the tolerance --curves is given")
    parser.add_argument("--scale", type=float, help="merge with --scale=F: vertices expected multiplied by F")
    parser.add_argument("--layer-per-input", action="store_true", help="merge with --layer-per-input")
    args = parser.parse_args()
    options = (["--scale=%r" % args.scale] if args.scale is not None else []) + \
        (["--layer-per-input"] if args.layer_per_input else [])
    if options:  # ezdxf alone compares the options' results
        args.dxflib_check, args.ogrinfo = None, False

    command = [args.talvero] if args.talvero else shlex.split(args.command)
    args.scratch.mkdir(parents=True, exist_ok=True)
    result = args.scratch / "corpus_check_result.dxf"

    drawings = []
    if args.corpus.is_dir():
        drawings = sorted(p for p in args.corpus.rglob("*") if p.is_file() and p.suffix.lower() == ".dxf")
    else:
        print("no drawings at %s (they are kept outside the repository)" % args.corpus)
    if args.written_by_ezdxf:
        drawings += write_with_ezdxf(args.scratch / "written_by_ezdxf")
    if not drawings:
        print("nothing to check")
        return 0
    if args.curves:
        return 1 if check_curves(command, drawings, args.corpus, args.scratch, args.tolerance, args.inserts) else 0
    expected = {}
    failures = 0
    totals = [0, 0, 0]  # drawings, polylines, vertices expected
    tally, sets_tally = Tally(), Tally()
    for path in drawings:
        name = path.relative_to(args.corpus) if path.is_relative_to(args.corpus) else path.relative_to(args.scratch)
        try:
            expected[path] = expected_of(path)
        except Exception as e:  # noqa: BLE001
            print("FAIL %s: ezdxf cannot read the input: %s: %s" % (name, type(e).__name__, e))
            failures += 1
            continue
        want = expected[path]
        problems = check_run(command, [path], expected, result, args.dxflib_check, tally, args.ogrinfo, options)
        polylines = len(want.polylines)
        vertices = sum(len(p.vertices) for p in want.polylines)
        what = ("must fail: %s" % want.failure) if want.failure else "%d polylines, %d vertices" % (polylines, vertices)
        if problems:
            failures += 1
            print("FAIL %s (%s%s): %s" % (name, what, want.how, "; ".join(problems)))
        else:
            totals = [totals[0] + 1, totals[1] + polylines, totals[2] + vertices]
            print("ok   %s (%s%s)" % (name, what, want.how))
        if args.notes and want.notes:
            counted = {}
            for n in want.notes:
                counted[n] = counted.get(n, 0) + 1
            for n, k in counted.items():
                print("     note: %d x %s" % (k, n))

    # A few at a time, and then every drawing that merges at once.
    readable = [p for p in drawings if p in expected and not expected[p].failure]
    sets = [readable[k:k + SET_SIZE] for k in range(0, len(readable), SET_SIZE)]
    if len(sets) > 1:
        sets.append(readable)
    failing = [p for p in drawings if p in expected and expected[p].failure]
    if failing and readable:
        sets.append(readable[:2] + failing[:1])
    for members in sets:
        if not members:
            continue
        problems = check_run(command, members, expected, result, args.dxflib_check, sets_tally, args.ogrinfo,
                             options)
        label = "set of %d (%s ... %s)" % (len(members), members[0].name, members[-1].name)
        if problems:
            failures += 1
            print("FAIL %s: %s" % (label, "; ".join(problems)))
        else:
            print("ok   %s" % label)

    if args.inserts:
        failures += check_inserts(command, drawings, expected, args.scratch)

    def readers(t: Tally) -> str:
        return "ezdxf read %d of %d results, %s" % (t.ezdxf, t.results,
                                                   "dxflib %d" % t.dxflib if args.dxflib_check else "dxflib not asked")

    print("%d drawings merged and checked alone: %d polylines and %d vertices in the inputs, %d and %d in the"
          " results; %s; %d sets: %s; %d failures"
          % (totals[0], totals[1], totals[2], tally.polylines, tally.vertices, readers(tally), len(sets),
             readers(sets_tally), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
