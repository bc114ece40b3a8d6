// Second pass: the header, then each input's polylines with rounded vertices.
#include <cstring>
#include <utility>

#include "merge/accelerator.h"
#include "merge/entity_grammar.h"
#include "merge/inputs.h"
#include "merge/passes.h"
#include "state.h"

namespace {

// Writes val after `spaces` spaces (at most 8), with a line end.
void write_val(Output& o, int val, int spaces) {
  char* p = o.room(32);
  std::memcpy(p, "        ", 8);
  p = put_int(p + spaces, val);
  p[0] = '\r';
  p[1] = '\n';
  o.advance(p + 2);
}

// Reads one item and writes it at once: an integer through val, a token
// through texte, a coordinate through dval, rounded. A failed read writes
// what the cell held before again.
template <grammar::Item item>
void copy_item(MergeFrame& m) {
  Output& o = m.out;
  if constexpr (item.read == grammar::Read::integer) {
    if (!f1.read_int(m.val)) warn_layout(m);
    write_val(o, m.val, item.space_sign ? (m.val < 0 ? 0 : 1) : item.spaces);
  } else if constexpr (item.read == grammar::Read::token) {
    if (!f1.read_token(m.texte)) warn_layout(m);
    o.line(m.texte.view());
  } else {
    if (!f1.read_real(m.dval)) warn_layout(m);
    char* p = put_rounded(o.room(max_number_text + 2), m.dval);
    p[0] = '\r';
    p[1] = '\n';
    o.advance(p + 2);
  }
}

template <const auto& items, std::size_t... k>
void copy_items(MergeFrame& m, std::index_sequence<k...>) {
  (copy_item<items[k]>(m), ...);
}

void copy_polyline(MergeFrame& m) {
  count_written_polyline(m);
  m.out.put("POLYLINE\r\n");
  copy_items<grammar::polyline>(m, std::make_index_sequence<grammar::polyline.size()>());
}

void copy_vertex(MergeFrame& m) {
  ++m.vertices_written;
  m.out.put("VERTEX\r\n");
  copy_items<grammar::vertex>(m, std::make_index_sequence<grammar::vertex.size()>());
}

}  // namespace

void write_header(Output& o, const Extents& e) {
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

bool write_file(MergeFrame& m, Accelerator* fast) {
  show_file_line(m);
  console.flush();
  if (!open_input(m)) return false;
  m.segm = 0;
  console.text("\n\n");
  // All three tests are made on whatever texte holds by then: a POLYLINE
  // whose fourth item reads VERTEX is followed at once by a vertex copy.
  for (;;) {
    if (fast != nullptr) fast->write(m);
    if (!f1.read_token(m.texte)) break;
    if (m.texte.is("POLYLINE")) copy_polyline(m);
    if (m.texte.is("VERTEX")) copy_vertex(m);
    if (m.texte.is("SEQEND")) m.out.put(grammar::seqend_text);
  }
  return close_input(m);
}
