// First pass: fold every input's header extents and count its polylines.
#include <string>
#include <utility>

#include "merge/accelerator.h"
#include "merge/entity_turn.h"
#include "merge/inputs.h"
#include "merge/item_source.h"
#include "merge/passes.h"
#include "merge/placing.h"
#include "state.h"

namespace turn_detail {

void fold_extents(MergeFrame& m, bool minimum) {
  InputBox& header = m.input.header;
  if (!f1.read_int(m.val)) return warn_layout(m);
  for (;;) {
    int axis = 0;
    double* cell = nullptr;
    switch (m.val) {
      case 10: std::tie(axis, cell) = std::pair(0, minimum ? &min_x : &max_x); break;
      case 20: std::tie(axis, cell) = std::pair(1, minimum ? &min_y : &max_y); break;
      case 30: std::tie(axis, cell) = std::pair(2, minimum ? &min_alt : &max_alt); break;
      default: return;
    }
    if (!f1.read_real(*cell)) return warn_layout(m);
    bool next_code = f1.read_int(m.val);
    minimum ? header.take_min(axis, *cell) : header.take_max(axis, *cell);
    if (!next_code) return warn_layout(m);
  }
}

}  // namespace turn_detail

bool survey_file(MergeFrame& m, Accelerator* fast) {
  show_file_line(m);
  console.text("\n\n");
  console.flush();
  if (!open_input(m)) return false;
  start_input(m);
  ReaderItems items{f1};
  TurnPlan plan;
  for (;;) {
    if (fast != nullptr) fast->survey(m);
    if (turn<Pass::survey>(items, m, plan) == Turn::end) break;
  }
  if (m.drawing.inserts) survey_references(m);
  const std::string raw_head(f1.raw_head());
  fold_input_extents(m);
  return close_input(m) && check_drawing(m, raw_head);
}

void show_extents(const Extents& e) {
  const std::pair<const char*, double> shown[] = {{"\n\n\tmin x = ", e.minx},  {" min y = ", e.miny},
                                                  {" \n\tmax x = ", e.maxx},   {" max y = ", e.maxy},
                                                  {" \n\tmin z = ", e.minalt}, {" max z = ", e.maxalt}};
  for (const auto& [label, value] : shown) {
    console.text(label);
    console.out.put_fixed6(value);
  }
  console.text(" \n\n");
}
