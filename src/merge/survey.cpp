// First pass: fold every input's header extents and count its polylines.
#include <string>
#include <utility>

#include "merge/accelerator.h"
#include "merge/entity_turn.h"
#include "merge/inputs.h"
#include "merge/item_source.h"
#include "merge/passes.h"
#include "state.h"

namespace turn_detail {

void fold_extents(MergeFrame& m, bool minimum) {
  Extents& e = m.extents;
  if (!f1.read_int(m.val)) return warn_layout(m);
  for (;;) {
    double* cell = nullptr;
    double* extreme = nullptr;
    switch (m.val) {
      case 10: std::tie(cell, extreme) = minimum ? std::pair(&min_x, &e.minx) : std::pair(&max_x, &e.maxx); break;
      case 20: std::tie(cell, extreme) = minimum ? std::pair(&min_y, &e.miny) : std::pair(&max_y, &e.maxy); break;
      case 30:
        std::tie(cell, extreme) = minimum ? std::pair(&min_alt, &e.minalt) : std::pair(&max_alt, &e.maxalt);
        break;
      default: return;
    }
    if (!f1.read_real(*cell)) return warn_layout(m);
    bool next_code = f1.read_int(m.val);
    if (minimum ? *extreme > *cell : *extreme < *cell) *extreme = *cell;
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
  const std::string raw_head(f1.raw_head());
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
