// First pass: fold every input's header extents and count its polylines.
#include <cstdint>
#include <string>

#include "bulk.h"
#include "merge.h"
#include "state.h"

namespace {

// Folds the groups 10 x, 20 y, 30 z that follow "$EXTMIN" or "$EXTMAX", until
// a group code other than 10, 20 and 30, or a read that fails.
void fold_extents(MergeFrame& m, int i, bool minimum) {
  Extents& e = m.extents;
  if (!f1.read_int(m.val)) return warn_layout(m, i);
  for (;;) {
    double* cell = nullptr;
    double* extreme = nullptr;
    switch (m.val) {
      case 10: cell = minimum ? &min_x : &max_x; extreme = minimum ? &e.minx : &e.maxx; break;
      case 20: cell = minimum ? &min_y : &max_y; extreme = minimum ? &e.miny : &e.maxy; break;
      case 30: cell = minimum ? &min_alt : &max_alt; extreme = minimum ? &e.minalt : &e.maxalt; break;
      default: return;
    }
    if (!f1.read_real(*cell)) return warn_layout(m, i);
    bool next_code = f1.read_int(m.val);
    if (minimum ? *extreme > *cell : *extreme < *cell) *extreme = *cell;
    if (!next_code) return warn_layout(m, i);
  }
}

// Consumes a VERTEX's items without converting its coordinates. Its four
// token items are not kept in texte: the next token read replaces them
// before anything could look at them.
void skip_vertex(MergeFrame& m, int i) {
  bool ok = true;
  for (int j = 1; j <= 4; ++j) ok &= f1.skip_token();
  ok &= f1.read_int(m.val);
  ok &= f1.skip_real();
  ok &= f1.read_int(m.val);
  ok &= f1.skip_real();
  ok &= f1.read_int(m.val);
  ok &= f1.skip_real();
  ok &= f1.read_int(m.val);
  if (!ok) warn_layout(m, i);
}

void show_polyline_count(MergeFrame& m) { show_count(m, "\trecord ", "            \r        "); }

void take(MergeFrame& m, const RunResult& r) {
  f1.consume_to(r.stop);
  for (std::uint32_t k = 0; k < r.polylines; ++k) show_polyline_count(m);
  if (r.has_val) m.val = r.val;
}

// Takes what bulk runs can from the read position, with a run ahead in the
// far part of the block when one can be made.
void survey_bulk(MergeFrame& m) {
  if (!bulk_settings.runs) return;
  run_with_ahead(
      m.ahead, start_ahead(m, false),
      [&m](const char* sync) {
        const Reader::Loaded block = f1.loaded();
        const RunResult r = survey_run(block, block.pos, sync);
        take(m, r);
        return r;
      },
      [&m](const RunResult& far) { take(m, far); });
}

}  // namespace

bool survey_file(MergeFrame& m, int i) {
  show_file_line(i);
  console.text("\n\n");
  console.flush();
  if (!open_input(i)) return false;
  m.segm = 0;
  for (;;) {
    survey_bulk(m);
    if (!f1.read_token(m.texte)) break;
    const Token& texte = m.texte;
    if (is_keyword(texte, "$EXTMIN")) {
      fold_extents(m, i, true);
    } else if (is_keyword(texte, "$EXTMAX")) {
      fold_extents(m, i, false);
    } else if (is_keyword(texte, "POLYLINE")) {
      show_polyline_count(m);
    } else if (is_keyword(texte, "VERTEX")) {
      skip_vertex(m, i);
    }
  }
  return close_input(i);
}

void show_extents(const Extents& e) {
  console.text("\n\n\tmin x = ");
  console.out.put_fixed6(e.minx);
  console.text(" min y = ");
  console.out.put_fixed6(e.miny);
  console.text(" \n\tmax x = ");
  console.out.put_fixed6(e.maxx);
  console.text(" max y = ");
  console.out.put_fixed6(e.maxy);
  console.text(" \n\tmin z = ");
  console.out.put_fixed6(e.minalt);
  console.text(" max z = ");
  console.out.put_fixed6(e.maxalt);
  console.text(" \n\n");
}
