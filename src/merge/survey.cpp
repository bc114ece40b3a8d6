// First pass: fold every input's header extents and count its polylines.
#include <utility>

#include "merge/accelerator.h"
#include "merge/entity_grammar.h"
#include "merge/inputs.h"
#include "merge/passes.h"
#include "state.h"

namespace {

// Folds the groups 10 x, 20 y, 30 z that follow "$EXTMIN" or "$EXTMAX", until
// a group code other than 10, 20 and 30, or a read that fails.
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

// Consumes one item the way the survey reads it. Token items are not kept
// in texte: the next token read replaces them before anything looks at them.
template <grammar::Item item>
bool skip_item(MergeFrame& m) {
  if constexpr (item.survey == grammar::Read::integer) return f1.read_int(m.val);
  if constexpr (item.survey == grammar::Read::token) return f1.skip_token();
  return f1.skip_real();
}

template <std::size_t... k>
void skip_vertex(MergeFrame& m, std::index_sequence<k...>) {
  if (!(skip_item<grammar::vertex[k]>(m) & ...)) warn_layout(m);
}

}  // namespace

bool survey_file(MergeFrame& m, Accelerator* fast) {
  show_file_line(m);
  console.text("\n\n");
  console.flush();
  if (!open_input(m)) return false;
  m.segm = 0;
  for (;;) {
    if (fast != nullptr) fast->survey(m);
    if (!f1.read_token(m.texte)) break;
    const Token& texte = m.texte;
    if (texte.is("$EXTMIN")) {
      fold_extents(m, true);
    } else if (texte.is("$EXTMAX")) {
      fold_extents(m, false);
    } else if (texte.is("POLYLINE")) {
      count_survey_polyline(m);
    } else if (texte.is("VERTEX")) {
      skip_vertex(m, std::make_index_sequence<grammar::vertex.size()>());
    }
  }
  return close_input(m);
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
