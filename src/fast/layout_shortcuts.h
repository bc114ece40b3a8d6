// Layout shortcuts: vertices whose bytes are those of the last vertex a
// turn took alone, but for their coordinates (and, for vertices read by
// their group codes, values that are lines of one token), are taken without
// a turn: the bytes are compared whole, the coordinates read from between
// them, and the text that turn wrote is written again around the new
// coordinates. Identical bytes make identical items, so what is taken, and
// written, is what turns would have taken and written.
#pragma once

#include <vector>

#include "fast/block_items.h"
#include "fast/group_layout.h"
#include "fast/vertex_layout.h"
#include "fast/vertex_text.h"
#include "merge/entity_turn.h"
#include "merge/frame.h"

namespace fast {

class LayoutShortcuts {
 public:
  explicit LayoutShortcuts(Pass p) : pass(p) {}

  // Takes vertices from the read position of `in` for as long as their bytes
  // are in a layout learnt, and does to m what their turns would have done;
  // false when it took none.
  bool take(BlockItems& in, MergeFrame& m);

  // Learns from a turn that took a vertex alone (took): its keyword at
  // `keyword`, its end at in.pos, and (writing pass) its text [text, text_end).
  void learn(Took took, const BlockItems& in, const char* keyword, const char* text, const char* text_end,
             const MergeFrame& m);

 private:
  // Options: scaled, or bulges drawn as arcs (a merge without either runs
  // the loops without their tests).
  template <Pass p>
  bool take_in(BlockItems& in, MergeFrame& m);
  template <bool options, Pass p>
  bool take_in_layout(BlockItems& in, MergeFrame& m);
  template <bool options, Pass p>
  bool take_by_groups(BlockItems& in, MergeFrame& m);

  Pass pass;
  // Room for the arcs of bulges drawn between the vertices taken.
  std::vector<curves::Point> arc;
  text::VertexRun arc_text;
  struct InLayout : VertexLayout {
    VertexText text;  // what the writing pass wrote for it
  };
  LayoutSlots<InLayout> in_layout;
  GroupLayouts by_groups;
};

}  // namespace fast
