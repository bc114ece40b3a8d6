// gen_drawing: writes a large, deterministic ASCII DXF drawing for the talvero benchmarks.
//
//   gen_drawing OUT.dxf SIZE_BYTES [SEED] [--crlf] [--departing] [--others | --shapes] [--long-digits]
//   gen_drawing OUT.dxf SIZE_BYTES [SEED] [--crlf] --contours
//
// By default the drawing has a HEADER with $EXTMIN/$EXTMAX, a TABLES section with a LAYER table
// and an ENTITIES section that is mostly POLYLINE entities of 30 to 50 VERTEX each, in the
// layout talvero copies as it stands, with a few LINE and TEXT entities (about 5 % of the
// entities) that talvero leaves out of its result. Coordinates are decimals with 1 to 6
// fractional digits, some negative, some written with an exponent ("1.2345e3", "-4.5E-1"),
// with magnitudes up to 1e6. The header extents are the exact minimum and maximum of every
// coordinate written in the entities.
//
//   --departing    entities as programs of today write them (handles, owner handles, subclass
//                  markers, the elevation in the POLYLINE, flags after the coordinates, some
//                  bulges), which talvero reads by their group codes
//   --others       a LINE or TEXT as drawing programs write them after one polyline in three
//   --long-digits  every number with 15 to 17 significant digits, some with an exponent
//   --shapes       after one polyline in three, an INSERT of a small block (a polyline symbol
//                  in the BLOCKS section), a CIRCLE or an ARC, for talvero's --inserts and
//                  --curves; the header's extents then hold what these draw
//   --contours     a contour sheet as GDAL writes one: LWPOLYLINE entities with full-precision
//                  coordinates, in GDAL's sections (gen/contour_sheet.h)
//
// The same SEED, SIZE_BYTES and options always give the same bytes: the generator has its own
// pseudo-random sequence (gen/rng.h) and does all coordinate arithmetic on integers
// (gen/decimal.h), so no floating-point or library behaviour is involved.
//
// The file is produced in two passes over the same random sequence: the first pass only
// measures (size, extents, handles), the second writes the header with what was measured and
// then the identical entities. Lines end with LF, or CR LF with --crlf.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gen/contour_sheet.h"
#include "gen/polyline_drawing.h"

namespace {

bool parse_u64(const char* s, std::uint64_t& v) {
  if (*s < '0' || *s > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long r = std::strtoull(s, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  v = r;
  return true;
}

int usage() {
  std::fputs(
      "usage: gen_drawing OUT.dxf SIZE_BYTES [SEED] [--crlf] [--departing] [--others | --shapes] [--long-digits]\n"
      "       gen_drawing OUT.dxf SIZE_BYTES [SEED] [--crlf] --contours\n",
      stderr);
  return 2;
}

std::string report(const Counts& c) {
  std::string text;
  auto add = [&](std::uint64_t n, const char* what) {
    if (n > 0) text += ", " + std::to_string(n) + " " + what;
  };
  add(c.polylines, "POLYLINE");
  add(c.vertices, "VERTEX");
  add(c.lwpolylines, "LWPOLYLINE");
  add(c.points, "LWPOLYLINE points");
  add(c.lines, "LINE");
  add(c.texts, "TEXT");
  add(c.inserts, "INSERT");
  add(c.circles, "CIRCLE");
  add(c.arcs, "ARC");
  return text;
}

// Writes the drawing made by Drawing(sink, seed, options...) to `path`.
template <class Drawing, class... Options>
int write_drawing(const char* path, std::uint64_t size, std::uint64_t seed, bool crlf, const Options&... options) {
  // Pass 1: measure the header, the trailer and what the header says of the entities.
  std::uint64_t body = 0;
  Summary summary;
  {
    Sink probe(nullptr, crlf);
    Drawing gen(probe, seed, options...);
    gen.header(Summary{});
    const std::uint64_t head = probe.bytes();
    Sink tail_probe(nullptr, crlf);
    Drawing(tail_probe, seed, options...).trailer();
    const std::uint64_t tail = tail_probe.bytes();
    body = size > head + tail ? size - head - tail : 0;
    gen.entities(body);
    summary = gen.summary();
  }

  // Pass 2: the same entities, now with the true extents in the header.
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "gen_drawing: cannot create %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  Sink out(f, crlf);
  Drawing gen(out, seed, options...);
  gen.header(summary);
  gen.entities(body);
  gen.trailer();
  out.flush();
  const bool closed = std::fclose(f) == 0;
  if (out.failed() || !closed) {
    std::fprintf(stderr, "gen_drawing: write error on %s\n", path);
    return 1;
  }
  if (!(gen.summary() == summary)) {
    std::fputs("gen_drawing: internal error: passes disagree\n", stderr);
    return 1;
  }
  std::printf("%s: %llu bytes%s\n", path, static_cast<unsigned long long>(out.bytes()), report(gen.counts()).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool crlf = false;
  bool contours = false;
  PolylineOptions polylines;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--crlf") == 0)
      crlf = true;
    else if (std::strcmp(argv[i], "--departing") == 0)
      polylines.departing = true;
    else if (std::strcmp(argv[i], "--others") == 0)
      polylines.others = true;
    else if (std::strcmp(argv[i], "--long-digits") == 0)
      polylines.long_digits = true;
    else if (std::strcmp(argv[i], "--shapes") == 0)
      polylines.shapes = true;
    else if (std::strcmp(argv[i], "--contours") == 0)
      contours = true;
    else if (argv[i][0] == '-' && argv[i][1] == '-')
      return usage();
    else
      args.push_back(argv[i]);
  }
  if (args.size() < 2 || args.size() > 3) return usage();
  if (contours && (polylines.departing || polylines.others || polylines.long_digits || polylines.shapes))
    return usage();
  if (polylines.shapes && polylines.others) return usage();

  std::uint64_t size = 0;
  std::uint64_t seed = 1;
  if (!parse_u64(args[1], size) || (args.size() == 3 && !parse_u64(args[2], seed))) return usage();

  if (contours) return write_drawing<ContourSheet>(args[0], size, seed, crlf);
  return write_drawing<PolylineDrawing>(args[0], size, seed, crlf, polylines);
}
