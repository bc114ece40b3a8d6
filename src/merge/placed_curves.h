// The curves, lines and bulges of a block where a copy of it is placed: the
// map of the copy applied to their definitions, the chords held within the
// tolerance however the map stretches them.
#pragma once

#include <vector>

#include "merge/block_store.h"

// The points of a curve or run of lines of a block where `map` puts them,
// chords within `tolerance` of the curve as placed, and whether it is closed
// (its first point not repeated); false when it draws nothing that can be
// written.
[[nodiscard]] bool placed_curve(const blocks::Curve& c, const blocks::Map& map, double tolerance,
                                std::vector<blocks::Point>& out, bool& closed);

// A polyline's points as placed, with the arcs of its bulges between them
// (after the last, back to the first, for a closed one), into out.
void placed_arcs(const blocks::Shape& s, const blocks::Map& map, double tolerance,
                 const std::vector<blocks::Point>& placed, std::vector<blocks::Point>& out);
