// The per-input report line.
#include "merge/report.h"

#include <algorithm>
#include <vector>

namespace {

void count_kind(std::map<std::string, std::uint64_t, std::less<>>& counts, std::string_view kind, std::uint64_t n) {
  auto it = counts.find(kind);
  if (it == counts.end()) it = counts.emplace(std::string(kind), 0).first;
  it->second += n;
}

}  // namespace

void InputReport::leave_out(std::string_view kind, std::uint64_t n) { count_kind(left_out, kind, n); }
void InputReport::draw(std::string_view kind, std::uint64_t n) { count_kind(drawn, kind, n); }

void InputReport::add(const InputReport& more) {
  polylines += more.polylines;
  vertices += more.vertices;
  by_group_codes += more.by_group_codes;
  converted += more.converted;
  bulges += more.bulges;
  widths += more.widths;
  placed += more.placed;
  for (const auto& [kind, n] : more.left_out) leave_out(kind, n);
  for (const auto& [kind, n] : more.drawn) draw(kind, n);
}

namespace {

// A kind that is not an entity name, in the singular.
std::string_view singular(std::string_view kind) {
  if (kind == block_polylines) return "polyline of block definitions";
  if (kind == polygon_meshes) return "polygon mesh";
  if (kind == polyface_meshes) return "polyface mesh";
  if (kind == frame_points) return "spline frame control point";
  if (kind == paper_polylines) return "polyline of paper space";
  if (kind == no_number_polylines) return "polyline with a value that is not a number";
  if (kind == no_number_vertices) return "vertex with a value that is not a number";
  if (kind == paper_references) return "block reference of paper space";
  if (kind == missing_blocks) return "block reference to a block not defined";
  if (kind == no_number_references) return "block reference with a value that is not a number";
  if (kind == paper_shapes) return "line or curve of paper space";
  if (kind == beyond_numbers) return "vertex beyond the largest number once scaled";
  return kind;
}

}  // namespace

std::string counted(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string InputReport::line(std::string_view name) const {
  if (by_group_codes == 0 && converted == 0 && placed == 0 && drawn.empty() && left_out.empty() && polylines > 0)
    return {};
  std::string text(name);
  if (polylines == 0 && vertices == 0) {
    text += ": nothing was copied from it: it holds no polylines";
  } else {
    text += ": " + counted(polylines, "polyline", "polylines");
    if (vertices > 0) text += " and " + counted(vertices, "vertex", "vertices");
    text += " copied";
    std::string how;
    if (by_group_codes > 0)
      how = counted(by_group_codes, "entity", "entities") + (by_group_codes == 1 ? " read by its" : " read by their") +
            " group codes";
    if (converted > 0) how += (how.empty() ? "" : ", ") + std::to_string(converted) + " LWPOLYLINE converted";
    if (placed > 0)
      how += (how.empty() ? "" : ", ") + counted(placed, "block reference", "block references") + " placed";
    for (const auto& [kind, n] : drawn) how += (how.empty() ? "" : ", ") + std::to_string(n) + " " + kind + " drawn";
    std::string lost;
    if (bulges > 0) lost = counted(bulges, "bulge", "bulges");
    if (widths > 0) lost += (lost.empty() ? "" : " and ") + counted(widths, "width", "widths");
    if (!lost.empty()) how += (how.empty() ? "" : "; ") + lost + " not carried";
    if (!how.empty()) text += " (" + how + ")";
  }
  if (!left_out.empty()) {
    // Most frequent first, then in the order of their words as said.
    std::vector<std::pair<std::uint64_t, std::string>> kinds;
    for (const auto& [kind, n] : left_out) kinds.emplace_back(n, counted(n, singular(kind), kind));
    std::sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    text += "; left out:";
    for (std::size_t k = 0; k < kinds.size(); ++k) text += (k == 0 ? " " : ", ") + kinds[k].second;
  }
  return text;
}
