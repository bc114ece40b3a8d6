// Second pass: the header, then each input's polylines with rounded vertices.
#include <cstring>
#include <utility>

#include "merge/accelerator.h"
#include "merge/entities.h"
#include "merge/inputs.h"
#include "merge/item_source.h"
#include "merge/passes.h"
#include "merge/placing.h"
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
  ReaderItems items{f1};
  TurnPlan plan;
  for (;;) {
    if (fast != nullptr) fast->write(m);
    if (turn<Pass::write>(items, m, plan) == Turn::end) break;
  }
  close_polyline(m);
  release_blocks(m);
  if (!close_input(m)) return false;
  warn_coincident(m);
  report_input(m);
  return true;
}
