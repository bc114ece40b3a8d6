// What the writing pass says of each input on standard error, besides its
// console texts: what was copied, what was read by group codes or
// converted, and what was left out.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

struct InputReport {
  std::uint64_t polylines = 0;                                 // copied (LWPOLYLINE converted included)
  std::uint64_t vertices = 0;                                  // copied
  std::uint64_t by_group_codes = 0;                            // POLYLINE and VERTEX entities read by their group codes
  std::uint64_t converted = 0;                                 // LWPOLYLINE entities
  std::uint64_t bulges = 0;                                    // not carried: the result's segments are straight
  std::uint64_t widths = 0;                                    // not carried
  std::uint64_t placed = 0;                                    // block references placed (--inserts)
  std::map<std::string, std::uint64_t, std::less<>> left_out;  // by kind
  std::map<std::string, std::uint64_t, std::less<>> drawn;     // lines and curves drawn as polylines, by kind

  void leave_out(std::string_view kind, std::uint64_t n = 1);
  void draw(std::string_view kind, std::uint64_t n = 1);
  // Adds every count of `more` (another run over the same input) to these.
  void add(const InputReport& more);
  // The line for an input named `name`, or empty when it is read as it
  // stands, nothing left out.
  [[nodiscard]] std::string line(std::string_view name) const;
};

// "1 polyline", "2 polylines": a count and the word for it.
[[nodiscard]] std::string counted(std::uint64_t n, std::string_view one, std::string_view many);

// Kinds of what is left out that are not entity names.
inline constexpr std::string_view block_polylines = "polylines of block definitions";
inline constexpr std::string_view polygon_meshes = "polygon meshes";
inline constexpr std::string_view polyface_meshes = "polyface meshes";
inline constexpr std::string_view frame_points = "spline frame control points";
inline constexpr std::string_view paper_polylines = "polylines of paper space";
inline constexpr std::string_view no_number_polylines = "polylines with a value that is not a number";
inline constexpr std::string_view no_number_vertices = "vertices with a value that is not a number";
inline constexpr std::string_view paper_references = "block references of paper space";
inline constexpr std::string_view missing_blocks = "block references to blocks not defined";
inline constexpr std::string_view no_number_references = "block references with a value that is not a number";
inline constexpr std::string_view paper_shapes = "lines and curves of paper space";
inline constexpr std::string_view beyond_numbers = "vertices beyond the largest number once scaled";
