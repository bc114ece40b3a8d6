// Steps over a loaded block, as the main thread's runs and the runs ahead
// both take them: the layout shortcuts first, else one turn, which the
// shortcuts learn from.
#pragma once

#include <cstdint>

#include "fast/block_items.h"
#include "fast/layout_shortcuts.h"
#include "fast/run_ahead.h"
#include "merge/entity_turn.h"
#include "merge/frame.h"

namespace fast {

// One turn from the read position, the shortcuts learning from what it took
// (in the writing pass, from the text it wrote, when that is still in the
// output's buffer); false, the read position as it was, when it is refused.
template <Pass pass>
bool turn_step(BlockItems& items, MergeFrame& m, LayoutShortcuts& shortcuts, TurnPlan& plan) {
  const char* before = items.pos;
  const char* keyword = items.token_start(before);
  const char* text = m.out.end();
  const std::uint64_t handed_on = m.out.handed_on();
  Took took = Took::other;
  if (turn<pass>(items, m, plan, &took) != Turn::taken) {
    items.pos = before;
    return false;
  }
  if (took != Took::other && m.out.handed_on() == handed_on)
    shortcuts.learn(took, items, keyword, text, m.out.end(), m);
  return true;
}

// Steps from the read position until one is refused. A run ahead under way
// (when there is one) is kept where the steps arrive at its start, dropped
// once they pass it, and is over by the end.
template <Pass pass>
void take_steps(BlockItems& items, MergeFrame& m, LayoutShortcuts& shortcuts, TurnPlan& plan, RunAhead* ahead) {
  for (;;) {
    if (shortcuts.take(items, m)) continue;
    if (ahead != nullptr && ahead->pending()) {
      const char* keyword = items.token_start(items.pos);
      if (keyword == ahead->sync()) {
        if (!turn_step<pass>(items, m, shortcuts, plan)) break;
        (void)ahead->keep(m, items.pos);
        continue;
      }
      if (keyword > ahead->sync()) ahead->drop();  // passed, inside what a turn took
    }
    if (!turn_step<pass>(items, m, shortcuts, plan)) break;
  }
  if (ahead != nullptr) ahead->drop();
}

}  // namespace fast
