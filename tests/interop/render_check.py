#!/usr/bin/python3
"""Renders merged results with tools/render-dxf and checks the pictures.

    render_check.py --talvero EXE --render tools/render-dxf [--examples DIR] [--corpus DIR]

With --examples: the merge of the sample drawings must give a picture of the
asked width whose lines are drawn (dark pixels, spread over the whole cropped
picture). A merge of an input holding only entities talvero drops must give a
blank picture, which also shows the blank test can tell the two apart.

With --corpus (drawings written by other programs, read in place; absent:
nothing to check): a few drawings that hold polylines (as ezdxf reads them,
by corpus_check.py's rules), spread over the corpus, are merged alone
(talvero -o RESULT INPUT) and then together, and no picture may be blank. A
drawing the renderer shows nothing of even as it stands is passed over.
"""

from __future__ import annotations

import shutil
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import harness  # noqa: E402

WIDTH = 600


def read_png_gray(path: Path) -> tuple[int, int, list[bytes]]:
    """Width, height and rows of grey levels of an 8-bit grey or RGB PNG
    without interlacing (what pdftoppm writes)."""
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG file" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length = int.from_bytes(data[pos:pos + 4], "big")
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    width, height = int.from_bytes(header[0:4], "big"), int.from_bytes(header[4:8], "big")
    depth, colour, interlace = header[8], header[9], header[12]
    if depth != 8 or colour not in (0, 2) or interlace != 0:
        raise ValueError("unsupported PNG layout: depth %d, colour type %d, interlace %d" % (depth, colour, interlace))
    bpp = 1 if colour == 0 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        rows.append(bytes(line) if bpp == 1 else bytes(min(line[i:i + 3]) for i in range(0, stride, 3)))
    return width, height, rows


def ink(path: Path) -> dict:
    """Counts of dark pixels and the box around them."""
    width, height, rows = read_png_gray(path)
    dark = 0
    xs, ys = [], []
    for y, row in enumerate(rows):
        n = sum(1 for v in row if v < 128)
        if n:
            dark += n
            ys.append(y)
            xs.append(next(x for x, v in enumerate(row) if v < 128))
            xs.append(max(x for x, v in enumerate(row) if v < 128))
    box = (min(xs), min(ys), max(xs), max(ys)) if dark else None
    return {"width": width, "height": height, "dark": dark, "box": box}


def merge(talvero: str, images: Path, folder: str, names: list[str], result: str) -> Path:
    run = harness.run_dialogue(talvero, harness.answers(folder, names, result), images)
    if run.returncode != 0:
        raise SystemExit(harness.exited(run))
    return images / folder / (result + ".dxf")


def render(script: str, dxf: Path, png: Path) -> None:
    run = subprocess.run([script, str(dxf), str(png), str(WIDTH)], capture_output=True, text=True, timeout=120)
    if run.returncode != 0 or not png.is_file():
        raise SystemExit("render-dxf failed (%d): %s" % (run.returncode, run.stderr))


CORPUS_PICKS = 6


def merge_paths(talvero: str, inputs: list[Path], result: Path) -> None:
    run = harness.run_merge([talvero], inputs, result, "-q")
    if run.returncode != 0:
        raise SystemExit(harness.exited(run))


def check_corpus(talvero: str, script: str, corpus: Path, work: Path, failures: list) -> None:
    import corpus_check

    drawings = sorted(p for p in corpus.rglob("*") if p.is_file() and p.suffix.lower() == ".dxf")
    holding = [p for p in drawings if corpus_check.expected_of(p).polylines]
    print("corpus: %d drawings, %d holding polylines" % (len(drawings), len(holding)))
    # Spread over the corpus, in order, passing over what the renderer shows nothing of.
    step = max(1, len(holding) // CORPUS_PICKS)
    candidates = holding[::step] + [p for p in holding if p not in holding[::step]]
    picked, passed_over, blank = [], [], []
    for p in candidates:
        if len(picked) == CORPUS_PICKS:
            break
        render(script, p, work / "original.png")
        if ink(work / "original.png")["dark"] == 0:
            passed_over.append(p)
            continue
        picked.append(p)
    for members in [[p] for p in picked] + [picked]:
        merged = work / "corpus_merge.dxf"
        merge_paths(talvero, members, merged)
        render(script, merged, work / "corpus_merge.png")
        m = ink(work / "corpus_merge.png")
        label = members[0].relative_to(corpus) if len(members) == 1 else "%d drawings together" % len(members)
        print("  %s: %d dark pixels" % (label, m["dark"]))
        if m["dark"] == 0:
            blank.append(str(label))
    print("corpus: %d merges rendered, %d blank; %d drawings passed over (not shown even as they stand): %s"
          % (len(picked) + 1, len(blank), len(passed_over), ", ".join(str(p.relative_to(corpus)) for p in passed_over)))
    if len(picked) < 2:
        failures.append("fewer than two corpus drawings to render")
    failures.extend("the merge of %s renders blank" % b for b in blank)


def main() -> int:
    ap = harness.arguments(__doc__, examples=None)
    ap.add_argument("--render", required=True)
    ap.add_argument("--corpus", type=Path)
    args = ap.parse_args()
    talvero = args.talvero

    work = Path(tempfile.mkdtemp(prefix="talvero-render-"))
    failures = []
    try:
        if args.corpus is not None:
            if args.corpus.is_dir():
                check_corpus(talvero, args.render, args.corpus, work, failures)
            else:
                print("no drawings at %s (they are kept outside the repository); nothing to render" % args.corpus)
        if args.examples is None:
            return harness.finish(work, failures)
        images = work / "images"
        (images / "demo").mkdir(parents=True)
        for name in ("north", "south"):
            shutil.copy(args.examples / "demo" / (name + ".dxf"), images / "demo")
        merged = merge(talvero, images, "demo", ["north", "south"], "merged")
        render(args.render, merged, work / "merged.png")
        m = ink(work / "merged.png")
        share = m["dark"] / (m["width"] * m["height"])
        print("merged demo: %dx%d picture, %d dark pixels (%.2f%%), drawn box %s"
              % (m["width"], m["height"], m["dark"], 100 * share, m["box"]))
        if m["width"] != WIDTH:
            failures.append("the picture is %d pixels wide, %d were asked" % (m["width"], WIDTH))
        if not 0.005 <= share <= 0.4:
            failures.append("%.2f%% of the picture is dark: blank or smeared" % (100 * share))
        if m["box"] is not None:
            x0, y0, x1, y1 = m["box"]
            if (x1 - x0) < 0.8 * m["width"] or (y1 - y0) < 0.8 * m["height"]:
                failures.append("the drawing fills only %s of the picture: not cropped to it" % (m["box"],))

        (images / "bare").mkdir()
        (images / "bare" / "notes.dxf").write_bytes(
            b"  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nTEXT\r\n  8\r\nNOTES\r\n 10\r\n1.0\r\n 20\r\n2.0\r\n"
            b" 30\r\n0.0\r\n 40\r\n5.0\r\n  1\r\nnothing-else\r\n  0\r\nLINE\r\n  8\r\nNOTES\r\n 10\r\n0.0\r\n"
            b" 20\r\n0.0\r\n 30\r\n0.0\r\n 11\r\n90.0\r\n 21\r\n60.0\r\n 31\r\n0.0\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n")
        bare = merge(talvero, images, "bare", ["notes"], "nothing")
        render(args.render, bare, work / "bare.png")
        b = ink(work / "bare.png")
        print("merge without polylines: %dx%d picture, %d dark pixels" % (b["width"], b["height"], b["dark"]))
        if b["dark"] != 0:
            failures.append("the merge without polylines does not render blank")
    except BaseException:
        print("files kept in %s" % work)
        raise
    return harness.finish(work, failures)


if __name__ == "__main__":
    sys.exit(main())
