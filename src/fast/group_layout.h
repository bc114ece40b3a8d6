// The lines of a vertex read by its group codes, as met in the last one a
// turn took alone. Drawings written by other programs repeat them from one
// vertex to the next but for a few values (a handle, the coordinates, a
// bulge), so a shortcut compares the rest as whole bytes and reads only
// those values, each a line of one token. Identical bytes make identical
// groups, so the vertex is read, and written, exactly as that one was.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fast/vertex_text.h"
#include "merge/group_rules.h"

namespace fast {

struct GroupLayout {
  // A part: fixed bytes, then the line of a value read anew for each vertex
  // (with the role its group has), or the end of the vertex (its fixed
  // bytes end with the line of the group code 0).
  struct Part {
    std::uint16_t from = 0;  // its fixed bytes, in `fixed`
    std::uint16_t length = 0;
    bool end = false;
    groups::Role role = groups::Role::none;
  };

  static constexpr std::size_t part_room = 32;
  static constexpr std::size_t fixed_room = 512;

  bool ready = false;
  bool has_z = false;  // a line of z is read
  std::string layer;   // its vertices' layer (for the arc of a bulge)
  std::uint8_t parts = 0;
  Part part[part_room];
  char fixed[fixed_room + 32] = {};  // with room for 32-byte loads
  VertexText text;                   // what the writing pass wrote for it
};

// The two layouts a shortcut keeps: vertices with and without an optional
// group (a bulge on some of them), or on two layers, alternate, and each
// then has its own. Where vertices seldom repeat a layout (each on a layer
// of its own, say), layouts learnt go unused, and learning waits for more
// and more vertices between two, so that such drawings pay little for it.
template <class Layout>
struct LayoutSlots {
  Layout slot[2];
  bool used[2] = {};
  int last = 0;     // the one that matched or was learnt last
  int wait = 0;     // vertices read by their group codes before the next is learnt
  int backoff = 0;  // what wait starts from after a layout learnt went unused

  // Whether the next vertex read by its group codes is to be learnt.
  bool learns_next() {
    if (wait == 0) return true;
    --wait;
    return false;
  }
  // The slot to learn it into, the one not used last.
  Layout& victim() {
    const int k = last ^ 1;
    if (slot[k].ready && !used[k]) {
      backoff = std::min(2 * backoff + 1, 63);
      wait = backoff;
    }
    used[k] = false;
    return slot[k];
  }
  void learnt() { last ^= 1; }
  void matched(int k) {
    last = k;
    used[k] = true;
    backoff /= 2;
  }
};
using GroupLayouts = LayoutSlots<GroupLayout>;

}  // namespace fast
