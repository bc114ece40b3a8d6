#!/usr/bin/python3
"""Builds talvero.exe with mingw-w64, runs it under wine and compares it with
the Linux build.

    windows_check.py --talvero LINUX_EXE --source DIR --build DIR
                     [--cmake CMAKE] [--generator NAME] [--examples DIR]

The Windows program runs in a throw-away wine prefix without TALVERO_IMAGES,
so it opens the real c:\\images\\<folder>\\ paths of that prefix. For every case
both builds get the same answers and drawings; their exit status, standard
output, standard error and result file must be byte for byte the same, once
the Linux build's host paths are taken out of its messages (the Windows build
names each path once, as composed). A case naming a missing drawing must be
refused the same way on both and, with no answer left, write nothing.

Then the Windows build runs as a script would, with drive-letter paths and a
name with a space: its result must be the Linux build's dialogue result, its
console texts the same with the paths as given, and an existing or
write-protected result must be kept. The same result must come from a
wildcard expanded as Windows tools expand it, on standard output (-o -), and
into the NUL device without a temporary file; a folder given as a drawing is
named as a folder, an input named in other letters is never the result, and
/? shows the help.

Last, a Ctrl-C (SIGINT to the wine process, which wine hands to the console
control handlers) during a merge, in either way of running, must leave no
temporary file and an earlier result as it was.
"""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import dxfcases  # noqa: E402
import harness  # noqa: E402


def log(message: str) -> None:
    print(message, flush=True)


def build_windows(args) -> Path:
    """Configures and builds the cross build. Warnings are errors there, so a
    warning fails every run until it is fixed, not only the run that compiles
    the file."""
    started = time.monotonic()
    toolchain = args.source / "cmake" / "mingw-w64-x86_64.cmake"
    steps = [
        [args.cmake, "-S", str(args.source), "-B", str(args.build), "-G", args.generator,
         "-DCMAKE_TOOLCHAIN_FILE=" + str(toolchain), "-DCMAKE_BUILD_TYPE=Release", "-DTALVERO_TESTS=OFF",
         "-DCMAKE_C_FLAGS=-Werror", "-DCMAKE_CXX_FLAGS=-Werror"],
        [args.cmake, "--build", str(args.build), "--target", "talvero", "--parallel", "2"],
    ]
    for step in steps:
        run = subprocess.run(step, capture_output=True, text=True, timeout=600)
        output = run.stdout + run.stderr
        warnings = [line for line in output.splitlines() if re.search(r"\bwarning\b", line, re.I)]
        if run.returncode != 0 or warnings:
            sys.stdout.write(output)
            raise SystemExit("the Windows build failed or warned: %s" % " ".join(step))
    exe = args.build / "talvero.exe"
    if not exe.is_file():
        raise SystemExit("no %s after the build" % exe)
    log("windows build: %s (%.1f s)" % (exe, time.monotonic() - started))
    return exe


class Wine:
    """A throw-away wine prefix; every wine process of it is ended on close."""

    def __init__(self, root: Path) -> None:
        self.prefix = root / "prefix"
        self.env = {k: v for k, v in os.environ.items() if k not in ("TALVERO_IMAGES", "DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        for tool in ("wine", "wineboot", "wineserver"):
            if shutil.which(tool) is None:
                raise SystemExit("%s is not installed (Debian package: wine)" % tool)

    def boot(self) -> None:
        started = time.monotonic()
        run = subprocess.run(["wineboot", "--init"], env=self.env, capture_output=True, text=True, timeout=400)
        if run.returncode != 0 or not (self.prefix / "drive_c").is_dir():
            raise SystemExit("wineboot failed (%d): %s" % (run.returncode, run.stderr[-2000:]))
        subprocess.run(["wineserver", "--wait"], env=self.env, timeout=120)
        log("wine prefix created in %.1f s" % (time.monotonic() - started))
        # One server for all the runs that follow; close() ends it.
        subprocess.run(["wineserver", "--persistent"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def start(self, exe: Path, answers: bytes, cwd: Path, args: list[str] | None = None) -> subprocess.Popen:
        """The program started; its output goes to cwd/wine-stdout and cwd/wine-stderr.
        Files, not pipes, take the output: wine's helper processes inherit
        the handles and outlive the program, so a pipe would stay open. The
        process is the program itself (wine's loaders exec one another)."""
        (cwd / "wine-stdin").write_bytes(answers)
        with open(cwd / "wine-stdin", "rb") as given, open(cwd / "wine-stdout", "wb") as out, \
                open(cwd / "wine-stderr", "wb") as err:
            return subprocess.Popen(["wine", str(exe)] + (args or []), stdin=given, stdout=out, stderr=err,
                                    env=self.env, cwd=cwd)

    @staticmethod
    def ended(process: subprocess.Popen, cwd: Path) -> subprocess.CompletedProcess:
        """Waits for a started program; its exit status and output."""
        code = process.wait(timeout=300)
        return subprocess.CompletedProcess(process.args, code, (cwd / "wine-stdout").read_bytes(),
                                           (cwd / "wine-stderr").read_bytes())

    def run(self, exe: Path, answers: bytes, cwd: Path, args: list[str] | None = None) -> subprocess.CompletedProcess:
        """The program run to its end. The program says something whenever it
        fails, so a failure without a byte of output is wine's, not the
        program's (seen once, on a prefix just made while other tests ran):
        that run is made again, once, and said so."""
        run = self.ended(self.start(exe, answers, cwd, args), cwd)
        if run.returncode != 0 and not run.stdout and not run.stderr:
            log("wine ended with status %d before the program wrote anything; running it again" % run.returncode)
            run = self.ended(self.start(exe, answers, cwd, args), cwd)
        return run

    def close(self) -> None:
        if self.prefix.exists():
            subprocess.run(["wineserver", "--kill"], env=self.env, capture_output=True, timeout=60)
            subprocess.run(["wineserver", "--wait"], env=self.env, capture_output=True, timeout=60)


def without_host_paths(text: bytes, images: Path) -> bytes:
    """The Linux build's messages name a path as composed, then where it lies
    on the host in parentheses; the part in parentheses is taken out."""
    return re.sub(rb" \(" + re.escape(str(images).encode()) + rb"/[^)\n]*\)", b"", text)


def windows_path(path: Path) -> str:
    """A path of this host as the Windows build under wine names it."""
    return "Z:" + str(path).replace("/", "\\")


def first_difference(a: bytes, b: bytes) -> str:
    n = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    return "lengths %d and %d, first difference at byte %d: %r / %r" % (len(a), len(b), n, a[n:n + 40], b[n:n + 40])


def compare(name: str, case: dxfcases.Case, linux_exe: str, windows_exe: Path, wine: Wine,
            work: Path) -> tuple[list[str], subprocess.CompletedProcess]:
    """Both builds' runs of a case; the failures, and the Linux run with its
    host paths taken out of its messages."""
    lin_images = work / "linux" / "images"
    lin_result = case.place(lin_images)
    win_result = case.place(wine.drive_c() / "images")
    answers = case.answers()
    lin = harness.run_dialogue(linux_exe, answers, lin_images, work / "linux")
    lin.stdout = without_host_paths(lin.stdout, lin_images)
    lin.stderr = without_host_paths(lin.stderr, lin_images)
    started = time.monotonic()
    win = wine.run(windows_exe, answers, work)
    seconds = time.monotonic() - started
    failures = []

    def check(ok: bool, message: str) -> None:
        if not ok:
            failures.append("%s: %s" % (name, message))

    missing = any(n not in case.inputs for n in case.names)
    check(lin.returncode == (1 if missing else 0), "the Linux build exited with %d" % lin.returncode)
    check(win.returncode == lin.returncode, "exit status %d under wine, %d on Linux" % (win.returncode, lin.returncode))
    check(win.stdout == lin.stdout, "standard output differs: " + first_difference(win.stdout, lin.stdout))
    check(win.stderr == lin.stderr, "diagnostics differ: %r / %r" % (win.stderr[-300:], lin.stderr[-300:]))
    if missing:
        refusal = b"\n\tCannot open c:\\images\\%s\\nowhere.dxf: No such file or directory." % case.folder.encode()
        for which, run in (("Linux", lin), ("wine", win)):
            check(refusal in run.stdout, "the %s build does not refuse the missing drawing: %r"
                  % (which, run.stdout[-300:]))
        check(not lin_result.exists() and not win_result.exists(), "a result was written although a drawing is missing")
        log("%s: exit status %d under wine, %d on Linux; standard output %d bytes identical: %s; "
            "nothing written: %s (wine run %.1f s)"
            % (name, win.returncode, lin.returncode, len(win.stdout), win.stdout == lin.stdout,
               not lin_result.exists() and not win_result.exists(), seconds))
    else:
        if lin_result.is_file() and win_result.is_file():
            a, b = win_result.read_bytes(), lin_result.read_bytes()
            check(a == b, "result files differ: " + first_difference(a, b))
            log("%s: exit status %d under wine, %d on Linux; standard output %d bytes identical: %s; "
                "result %d bytes identical: %s (wine run %.1f s)"
                % (name, win.returncode, lin.returncode, len(win.stdout), win.stdout == lin.stdout, len(a), a == b,
                   seconds))
        else:
            check(False, "missing result: Linux %s, wine %s" % (lin_result.is_file(), win_result.is_file()))
    check(not (work / "images").exists(), "the Windows build wrote beside its working folder instead of c:\\images")
    return failures, lin


def script_check(windows_exe: Path, wine: Wine, work: Path, drawings: dict[str, bytes], dialogue: Path,
                 lin: subprocess.CompletedProcess) -> list[str]:
    """The Windows build's script run of the demo drawings against the Linux
    build's dialogue run of them (`lin`, its result in `dialogue`)."""
    folder = work / "script"
    folder.mkdir()
    (folder / "north.dxf").write_bytes(drawings["north"])
    (folder / "south sheet.dxf").write_bytes(drawings["south"])
    north, south = windows_path(folder / "north.dxf"), windows_path(folder / "south sheet.dxf")
    result_path = folder / "merged.dxf"
    result = windows_path(result_path)
    failures = []

    def check(ok: bool, message: str) -> None:
        if not ok:
            failures.append("script: " + message)

    started = time.monotonic()
    run = wine.run(windows_exe, b"", work, ["-o", result, north, south])
    seconds = time.monotonic() - started
    # The dialogue's console texts from the survey on, naming the paths as given.
    console = lin.stdout[lin.stdout.find(b"\n\n\tTreatment\n"):]
    console = console.replace(b"c:\\images\\demo\\north.dxf", north.encode())
    console = console.replace(b"c:\\images\\demo\\south.dxf", south.encode())
    # What is said of the drawings and of the result, naming them as given.
    closing = lin.stderr.replace(b"c:\\images\\demo\\merged.dxf", result.encode())
    closing = closing.replace(b"c:\\images\\demo\\north.dxf", north.encode())
    closing = closing.replace(b"c:\\images\\demo\\south.dxf", south.encode())
    check(run.returncode == 0, "exit status %d under wine: %r" % (run.returncode, run.stderr[-300:]))
    check(run.stdout == console, "standard output differs: " + first_difference(run.stdout, console))
    check(run.stderr == closing, "standard error is %r, expected %r" % (run.stderr[-300:], closing))
    merged = result_path.read_bytes() if result_path.is_file() else b""
    check(merged == dialogue.read_bytes(), "the result differs from the Linux dialogue's: "
          + first_difference(merged, dialogue.read_bytes()))
    log("script: exit status %d under wine; standard output %d bytes as the dialogue's: %s; result %d bytes "
        "identical to the Linux dialogue's: %s (wine run %.1f s)"
        % (run.returncode, len(run.stdout), run.stdout == console, len(merged), merged == dialogue.read_bytes(),
           seconds))

    # An existing result is kept without -f; a write-protected one even with it.
    refusals = [(["-o", result, north, south], "%s exists: give -f to replace it" % result),
                (["-f", "-o", result, north, south], "%s is write-protected: it is not replaced" % result)]
    for k, (args, error) in enumerate(refusals):
        if k == 1:
            result_path.chmod(0o444)
        refused = wine.run(windows_exe, b"", work, args)
        expected = ("talvero: %s; nothing was written\n" % error).encode()
        check(refused.returncode == 1 and refused.stderr == expected,
              "%s: exit status %d, %r" % (" ".join(args[:-3]), refused.returncode, refused.stderr[-300:]))
        check(result_path.read_bytes() == merged, "%s: the result was changed" % " ".join(args[:-3]))
    log("script: an existing result kept without -f, a write-protected one with -f: %s" % (not failures))
    return failures


def windows_ways(windows_exe: Path, linux_exe: str, wine: Wine, work: Path, drawings: dict[str, bytes],
                 merged: bytes) -> list[str]:
    """What is Windows' own in a script run: wildcards, the NUL device, /?;
    and standard output, folders and letter case seen through Windows."""
    folder = work / "wild"
    folder.mkdir()
    (folder / "north.dxf").write_bytes(drawings["north"])
    (folder / "south sheet.dxf").write_bytes(drawings["south"])
    north = windows_path(folder / "north.dxf")
    failures = []

    def check(ok: bool, message: str) -> None:
        if not ok:
            failures.append("windows: " + message)

    # Expanded in name order: north, then south sheet, as the dialogue had them.
    run = wine.run(windows_exe, b"", work, ["-q", "-o", windows_path(work / "wild.dxf"), windows_path(folder / "*.dxf")])
    wild = (work / "wild.dxf").read_bytes() if (work / "wild.dxf").is_file() else b""
    check(run.returncode == 0 and wild == merged, "*.dxf: exit status %d, %r; the result differs from the dialogue's: %s"
          % (run.returncode, run.stderr[-300:], first_difference(wild, merged)))
    run = wine.run(windows_exe, b"", work, ["-q", "-o", "-", north, windows_path(folder / "south sheet.dxf")])
    check(run.returncode == 0 and run.stdout == merged,
          "-o -: exit status %d; standard output %s" % (run.returncode, first_difference(run.stdout, merged)))
    run = wine.run(windows_exe, b"", work, ["-q", "-f", "-o", "NUL", north])
    left = sorted(p.name for p in work.iterdir() if p.name.upper().startswith("NUL"))
    check(run.returncode == 0 and not left, "-o NUL: exit status %d, %r, left %s" % (run.returncode, run.stderr, left))
    log("windows: *.dxf expanded, -o - and -o NUL give the dialogue's result, nothing left beside NUL: %s"
        % (not failures))

    refusals = [(["-o", windows_path(work / "x.dxf"), windows_path(folder)],
                 "cannot open %s: it is a folder; nothing was written" % windows_path(folder)),
                (["-f", "-o", windows_path(folder / "NORTH.DXF"), north],
                 "the result %s is also one of the drawings to paste; nothing was written"
                 % windows_path(folder / "NORTH.DXF"))]
    for args, error in refusals:
        run = wine.run(windows_exe, b"", work, args)
        check(run.returncode == 1 and run.stderr == ("talvero: %s\n" % error).encode(),
              "%s: exit status %d, %r" % (" ".join(args), run.returncode, run.stderr[-300:]))
    check((folder / "north.dxf").read_bytes() == drawings["north"], "a drawing was changed")
    help_text = subprocess.run([linux_exe, "--help"], capture_output=True, timeout=60).stdout
    # Written in text mode, as Windows writes text: CR LF line ends.
    run = wine.run(windows_exe, b"", work, ["/?"])
    check(run.returncode == 0 and run.stdout == help_text.replace(b"\n", b"\r\n"), "/?: exit status %d, %r" % (run.returncode, run.stdout[:200]))
    log("windows: a folder named as one, NORTH.DXF kept as north.dxf's other name, /? the help: %s" % (not failures))
    return failures


def interrupt_check(windows_exe: Path, wine: Wine, work: Path, drawings: dict[str, bytes]) -> list[str]:
    """A Ctrl-C in the middle of a merge, in the dialogue and in a script: the
    first drawing is a FIFO that gives part of a drawing and then nothing, so
    the survey waits in it while the temporary result exists."""
    folder = wine.drive_c() / "images" / "ctrlc"
    folder.mkdir(parents=True)
    (folder / "north.dxf").write_bytes(drawings["north"])
    earlier = b"an earlier result\r\n"
    fifo = folder / "pipe.dxf"
    os.mkfifo(fifo)
    failures = []
    runs = {"dialogue": (b"ctrlc\n2\npipe\nnorth\nmerged\n", None, b"c:\\images\\ctrlc\\pipe.dxf"),
            "script": (b"", ["-f", "-o", windows_path(folder / "merged.dxf"), windows_path(fifo),
                             windows_path(folder / "north.dxf")], windows_path(fifo).encode())}
    for way, (answers, args, first) in runs.items():
        (folder / "merged.dxf").write_bytes(earlier)
        # Held open for writing here, the FIFO opens at once for the program.
        holder = os.open(fifo, os.O_RDWR)
        try:
            os.write(holder, drawings["pipe"])
            process = wine.start(windows_exe, answers, work, args)
            started = time.monotonic()
            reading = False
            while not reading and time.monotonic() - started < 60 and process.poll() is None:
                time.sleep(0.1)
                temporaries = [p for p in folder.iterdir() if ".tmp" in p.name]
                shown = (work / "wine-stdout").read_bytes()
                reading = bool(temporaries) and b"\tFile 1 Name : " + first in shown
            if reading:
                time.sleep(0.5)  # well into the read that waits
                process.send_signal(signal.SIGINT)
            else:
                process.kill()
            end = wine.ended(process, work)
        finally:
            os.close(holder)
        left = sorted(p.name for p in folder.iterdir() if ".tmp" in p.name)
        kept = (folder / "merged.dxf").read_bytes() == earlier
        if not reading:
            failures.append("ctrl-c, %s: the merge never waited in the FIFO with its temporary file: %r"
                            % (way, end.stdout[-300:] + end.stderr[-300:]))
        elif end.returncode == 0 or left or not kept:
            failures.append("ctrl-c, %s: exit status %d, temporary files %s, earlier result kept: %s"
                            % (way, end.returncode, left, kept))
        log("ctrl-c during the %s's merge: exit status %d, temporary files left: %s, earlier result kept: %s"
            % (way, end.returncode, left, kept))
    return failures


def main() -> int:
    ap = harness.arguments(__doc__)
    ap.add_argument("--source", type=Path, required=True)
    ap.add_argument("--build", type=Path, required=True)
    ap.add_argument("--cmake", default="cmake")
    ap.add_argument("--generator", default="Unix Makefiles")
    args = ap.parse_args()
    linux_exe = args.talvero
    args.build = args.build.resolve()

    windows_exe = build_windows(args)
    work = Path(tempfile.mkdtemp(prefix="talvero-wine-"))
    wine = Wine(work)
    failures: list[str] = []
    try:
        wine.boot()
        # The program is copied into the prefix, as it would be installed.
        installed = wine.drive_c() / "talvero" / "talvero.exe"
        installed.parent.mkdir()
        shutil.copy(windows_exe, installed)

        demo_inputs = {n: (args.examples / "demo" / (n + ".dxf")).read_bytes() for n in ("north", "south")}
        cases = {
            "demo": dxfcases.Case("demo", ["north", "south"], "merged", demo_inputs, None),
            "layouts": dxfcases.layouts_case(),
            "starts": dxfcases.starts_case(),
            "missing": dxfcases.Case("lost", ["north", "nowhere"], "merged", {"north": demo_inputs["north"]}, None),
        }
        runs = {}
        for name, case in cases.items():
            found, runs[name] = compare(name, case, linux_exe, installed, wine, work)
            failures += found
        dialogue = work / "linux" / "images" / "demo" / "merged.dxf"
        failures += script_check(installed, wine, work, demo_inputs, dialogue, runs["demo"])
        failures += windows_ways(installed, linux_exe, wine, work, demo_inputs, dialogue.read_bytes())
        failures += interrupt_check(installed, wine, work, dict(demo_inputs, pipe=demo_inputs["north"][:2000]))
    finally:
        wine.close()
    return harness.finish(work, failures)


if __name__ == "__main__":
    sys.exit(main())
