// Second pass: the header, then each input's polylines with rounded vertices.
#include <cstring>
#include <utility>

#include "merge/accelerator.h"
#include "merge/entities.h"
#include "merge/inputs.h"
#include "merge/passes.h"
#include "state.h"

void write_header(Output& o, const Extents& e) {
  const std::pair<const char*, double> items[] = {
      {"  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n", e.minx},
      {"\r\n 20\r\n", e.miny},
      {"\r\n 30\r\n", e.minalt},
      {"\r\n  9\r\n$EXTMAX\r\n 10\r\n", e.maxx},
      {"\r\n 20\r\n", e.maxy},
      {"\r\n 30\r\n", e.maxalt}};
  for (const auto& [before, value] : items) {
    o.put(before);
    o.put_truncated(value);
  }
  o.put("\r\n  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\n");
}

bool write_file(MergeFrame& m, Accelerator* fast) {
  show_file_line(m);
  console.flush();
  if (!open_input(m)) return false;
  start_input(m);
  console.text("\n\n");
  // The tests are made in turn on whatever texte holds by then: a POLYLINE
  // whose fourth item reads VERTEX is followed at once by a vertex. That
  // keyword follows the entity just read, which ended with a group code 0
  // when it was in the layout.
  for (;;) {
    if (fast != nullptr && accelerable(m)) fast->write(m);
    if (!f1.read_token(m.texte)) break;
    bool entity_start = m.after_zero;
    note_token(m, Pass::write);
    if (m.section == Section::blocks) continue;  // block definitions are not drawing
    // LWPOLYLINE is an entity only as read after a group code 0, never as
    // the layer of an entity just copied.
    if (m.texte.is("LWPOLYLINE")) {
      if (entity_start) take_lwpolyline(m, Pass::write);
      continue;
    }
    if (m.texte.is("POLYLINE")) {
      take_polyline(m, Pass::write, entity_start);
      entity_start = m.after_zero;
    }
    if (m.texte.is("VERTEX")) {
      take_vertex(m, Pass::write, entity_start);
      entity_start = m.after_zero;
    }
    if (m.texte.is("SEQEND")) take_seqend(m, Pass::write);
  }
  close_polyline(m);
  if (!close_input(m)) return false;
  report_input(m);
  return true;
}
