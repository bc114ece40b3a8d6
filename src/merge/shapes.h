// The shapes the options draw as polylines (--lines: LINE; --curves: ARC,
// CIRCLE, ELLIPSE, SPLINE and the bulges of 2D polylines), acted on for the
// turns that read them: written in the writing pass, boxed in the survey.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "merge/entity_turn.h"
#include "merge/frame.h"

// Acts on the shape the turn read.
template <Pass pass>
void act_on_shape(MergeFrame& m, TurnPlan& p);

// Ends a polyline of LINEs left open, before a turn that does not join it.
template <Pass pass>
void end_line_run(MergeFrame& m);

// Starts the bulges' arcs of a polyline just started (its flags given).
void start_bulges(MergeFrame& m, int flags, bool three_d);

// A vertex q of the current polyline, in its own system (its elevation
// applied), with the bulge that follows it: into arc, in world coordinates,
// the points of the last vertex's bulge that come before q.
// In the survey (`survey`), an arc that cannot widen the input's extents is
// not drawn: its points would change nothing.
void bulge_before(MergeFrame& m, const curves::Point& q, double bulge, std::string_view layer,
                  std::vector<curves::Point>& arc, bool survey);

// Into arc, the points of a closed polyline's last bulge, back to its first vertex.
void bulge_closing(MergeFrame& m, std::vector<curves::Point>& arc, bool survey);

// The points of an LWPOLYLINE (x, y in its system) with the arcs of their
// bulges between them, into out.
void lwpolyline_arcs(const std::vector<std::pair<double, double>>& points, const std::vector<double>& bulges,
                     bool closed, double tolerance, std::vector<std::pair<double, double>>& out);

// Appends the points of a curve (ARC, CIRCLE, ELLIPSE, SPLINE) whose
// chords stay within `tolerance`, in the coordinates of its groups or, given
// a map, where it puts them (the tolerance is then the map's to keep), and
// whether it is closed (its first point not repeated); false when it draws
// nothing that can be written.
[[nodiscard]] bool curve_points(const groups::Shape& g, groups::Kind kind, double tolerance,
                                std::vector<curves::Point>& out, bool& closed, const blocks::Map* map = nullptr);

// Why the shape a turn read is left out wherever it stands (a value that is
// no number, paper space, a LINE beyond the doubles); empty when it may be
// drawn.
[[nodiscard]] std::string_view shape_left_out(const TurnPlan& p);

// What a shape is called where it is left out.
[[nodiscard]] std::string_view shape_name(groups::Kind kind);
