// Comparing the states of two runs over one input, and adding one's work to the other's.
#include "merge/run_ahead.h"

#include <cstring>
#include <utility>

#include "merge/inputs.h"

namespace {

// Bit for bit: minus zero is not zero here, and a NaN is itself.
bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool same(const curves::Point& a, const curves::Point& b) { return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z); }
bool same(const numeric::Extrusion& a, const numeric::Extrusion& b) {
  return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}
bool same(const InputBox& a, const InputBox& b) {
  for (int k = 0; k < 3; ++k)
    if (!same(a.min[k], b.min[k]) || !same(a.max[k], b.max[k]) || a.has_min[k] != b.has_min[k] ||
        a.has_max[k] != b.has_max[k])
      return false;
  return true;
}
bool same(const Place& a, const Place& b) {
  return a.section == b.section && a.was_section == b.was_section && a.was_section_2 == b.was_section_2 &&
         a.after_zero == b.after_zero;
}

}  // namespace

bool same_course(const MergeFrame& m, const InputState& b) {
  const InputState& a = m.input;
  // Every field of InputState but those no turn reads: segm, box, report
  // and coincident, which count; whether a SECTION was met, which only
  // turns true; and the header's extents, but where the survey draws
  // curves (it leaves out arcs within them). Fields that hold only while
  // another says so are compared only then: the last vertex written, an
  // open polyline of lines, and the bulges of a polyline whose bulges are
  // drawn.
  const bool last_written =
      a.has_last_written == b.has_last_written && (!a.has_last_written || (same(a.last_written[0], b.last_written[0]) &&
                                                                           same(a.last_written[1], b.last_written[1]) &&
                                                                           same(a.last_written[2], b.last_written[2])));
  const bool lines =
      a.line_run == b.line_run &&
      (!a.line_run || (a.line_3d == b.line_3d && same(a.line_end, b.line_end) && a.line_layer == b.line_layer));
  // Of bulges drawn: the first and last vertex once there is one, the
  // layer of the last bulge while it waits for its arc.
  const bool bulges =
      a.bulging == b.bulging &&
      (!a.bulging || (a.closed == b.closed && a.has_last == b.has_last && same(a.last_bulge, b.last_bulge) &&
                      (!a.has_last || (same(a.first, b.first) && same(a.last, b.last))) &&
                      (a.last_bulge == 0 || a.bulge_layer == b.bulge_layer)));
  return same(a.place, b.place) && same(a.elevation, b.elevation) && a.at_elevation == b.at_elevation &&
         same(a.extrusion, b.extrusion) && a.made_3d == b.made_3d && a.leaving_out == b.leaving_out &&
         a.polyline_open == b.polyline_open && bulges && lines && last_written && a.layer == b.layer &&
         (!m.drawing.curves || same(a.header, b.header));
}

void clear_counts(InputState& s) {
  s.segm = 0;
  s.box = InputBox{};
  s.report = InputReport{};
  s.coincident = 0;
}

void keep_run(MergeFrame& m, Pass pass, const MergeFrame& ran, std::uint64_t polylines) {
  InputState& s = m.input;
  const InputState& r = ran.input;
  // The counts shown as the input's own turns would have shown them.
  for (std::uint64_t k = 0; k < polylines; ++k)
    pass == Pass::survey ? count_survey_polyline(m) : count_written_polyline(m);
  InputState kept = r;
  kept.segm = s.segm;
  kept.saw_section = s.saw_section || r.saw_section;
  kept.header = s.header;
  kept.box = s.box;
  for (int k = 0; k < 3; ++k) {
    if (r.box.has_min[k]) kept.box.take_min(k, r.box.min[k]);
    if (r.box.has_max[k]) kept.box.take_max(k, r.box.max[k]);
  }
  kept.report = std::move(s.report);
  kept.report.add(r.report);
  kept.coincident = s.coincident + r.coincident;
  s = std::move(kept);
  m.polylines_written += ran.polylines_written;
  m.vertices_written += ran.vertices_written;
}
