// What both passes do at the keywords of the entities the merge copies.
// POLYLINE and VERTEX are read as they stand when they are in the expected
// layout (then copied exactly as written there), and by their group codes
// otherwise; LWPOLYLINE is converted to a POLYLINE with its vertices; what
// lies in block definitions is left out.
#pragma once

#include "merge/frame.h"

enum class Pass { survey, write };

// Follows the token the loop just read (texte): sections entered and left,
// whether the next token starts an entity, and (writing pass) what is left out.
void note_token(MergeFrame& m, Pass pass);

// The keywords' handlers; texte holds the keyword, and entity_start tells
// whether it followed a group code 0 (it starts an entity of the DXF
// structure, rather than standing where an item was expected).
void take_polyline(MergeFrame& m, Pass pass, bool entity_start);
void take_vertex(MergeFrame& m, Pass pass, bool entity_start);
void take_seqend(MergeFrame& m, Pass pass);
void take_lwpolyline(MergeFrame& m, Pass pass);
// Ends, at the end of an input, a polyline written and left open there.
void close_polyline(MergeFrame& m);

// Whether the accelerator may take the loop's next tokens: not inside block
// definitions, a mesh's vertices or those of a polyline with an extrusion,
// and not between SECTION and the section's name.
[[nodiscard]] inline bool accelerable(const MergeFrame& m) {
  return m.section != Section::blocks && !m.in_mesh && !numeric::moves_points(m.extrusion) && !m.was_section &&
         !m.was_section_2;
}
