// Second pass: the header, then each input's polylines with rounded vertices.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "bulk.h"
#include "merge.h"
#include "state.h"

namespace {

// The item copies are small and run millions of times: inlined into the
// entity copies, they cost no calls.
#if defined(__GNUC__)
#define ITEM [[gnu::always_inline]] inline
#else
#define ITEM inline
#endif

// Writes val after `spaces` spaces (at most 8), with a line end.
ITEM void write_val(int val, int spaces) {
  Output& o = f2.out;
  char* p = o.room(32);
  std::memcpy(p, "        ", 8);
  p = put_int(p + spaces, val);
  p[0] = '\r';
  p[1] = '\n';
  o.advance(p + 2);
}

// Reads an integer item into val and writes it; a failed read writes the
// previous val again.
ITEM void copy_int(MergeFrame& m, int i, int spaces) {
  if (!f1.read_int(m.val)) warn_layout(m, i);
  write_val(m.val, spaces);
}

// The same with "% d": a space before a number that is not negative.
ITEM void copy_int_space_sign(MergeFrame& m, int i) {
  if (!f1.read_int(m.val)) warn_layout(m, i);
  write_val(m.val, m.val < 0 ? 0 : 1);
}

// Reads a token item into texte and writes it.
ITEM void copy_token(MergeFrame& m, int i) {
  if (!f1.read_token(m.texte)) warn_layout(m, i);
  f2.out.line(m.texte.view());
}

// Reads a coordinate into dval and writes it rounded to an integer.
ITEM void copy_coordinate(MergeFrame& m, int i) {
  if (!f1.read_real(m.dval)) warn_layout(m, i);
  Output& o = f2.out;
  char* p = put_rounded(o.room(max_number_text + 2), m.dval);
  *p++ = '\r';
  *p++ = '\n';
  o.advance(p);
}

void show_polyline_count(MergeFrame& m) { show_count(m, "\t record ", "            \r     "); }

void copy_polyline(MergeFrame& m, int i) {
  show_polyline_count(m);
  f2.out.put("POLYLINE\r\n");
  copy_int(m, i, 2);
  copy_token(m, i);
  copy_int(m, i, 2);
  copy_token(m, i);
  copy_int_space_sign(m, i);
  copy_int(m, i, 5);
  copy_int(m, i, 1);
  copy_int(m, i, 5);
  copy_int(m, i, 1);
  copy_int(m, i, 0);
  copy_int(m, i, 2);
}

void copy_vertex(MergeFrame& m, int i) {
  f2.out.put("VERTEX\r\n");
  copy_int(m, i, 2);
  copy_token(m, i);
  copy_int(m, i, 1);
  copy_int(m, i, 4);
  copy_int(m, i, 1);
  copy_coordinate(m, i);
  copy_int(m, i, 1);
  copy_coordinate(m, i);
  copy_int(m, i, 1);
  copy_coordinate(m, i);
  copy_int(m, i, 2);
}

void take(MergeFrame& m, const RunResult& r) {
  f1.consume_to(r.stop);
  for (std::uint32_t k = 0; k < r.polylines; ++k) show_polyline_count(m);
  if (r.has_val) m.val = r.val;
  if (r.has_dval) m.dval = r.dval;
}

// Copies what bulk runs can from the read position, with a run ahead in the
// far part of the block when one can be made.
void write_bulk(MergeFrame& m) {
  if (!bulk_settings.runs) return;
  Output& o = f2.out;
  run_with_ahead(
      m.ahead, start_ahead(m, true),
      [&m, &o](const char* sync) {
        const Reader::Loaded block = f1.loaded();
        char* out = o.room(64 * run_entity_room);
        const RunResult r = write_run(block, block.pos, out, o.room_end(), sync);
        o.advance(r.out);
        take(m, r);
        return r;
      },
      [&m, &o](const RunResult& far) {
        // Its output follows what was written so far.
        const char* begin = m.ahead.out_begin();
        m.ahead_written = o.put_in_place(std::string_view(begin, static_cast<std::size_t>(far.out - begin)));
        take(m, far);
      });
}

}  // namespace

void write_header(const Extents& e) {
  Output& o = f2.out;
  o.put("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n");
  o.put_truncated(e.minx);
  o.put("\r\n 20\r\n");
  o.put_truncated(e.miny);
  o.put("\r\n 30\r\n");
  o.put_truncated(e.minalt);
  o.put("\r\n  9\r\n$EXTMAX\r\n 10\r\n");
  o.put_truncated(e.maxx);
  o.put("\r\n 20\r\n");
  o.put_truncated(e.maxy);
  o.put("\r\n 30\r\n");
  o.put_truncated(e.maxalt);
  o.put("\r\n  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\n");
}

bool write_file(MergeFrame& m, int i) {
  show_file_line(i);
  console.flush();
  if (!open_input(i)) return false;
  m.segm = 0;
  console.text("\n\n");
  // All three tests are made on whatever texte holds by then: a POLYLINE
  // whose fourth item reads VERTEX is followed at once by a vertex copy.
  for (;;) {
    write_bulk(m);
    if (!f1.read_token(m.texte)) break;
    if (is_keyword(m.texte, "POLYLINE")) copy_polyline(m, i);
    if (is_keyword(m.texte, "VERTEX")) copy_vertex(m, i);
    if (is_keyword(m.texte, "SEQEND")) f2.out.put("SEQEND\r\n0\r\n");
  }
  return close_input(i);
}
