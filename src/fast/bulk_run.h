// Bulk runs: both passes' loops over a loaded block, for the common case
// where every item is one whole token that the general reads would take
// whole and convert exactly. A run stops before the first entity it cannot
// take that way and leaves it to the general reads, so its effect is the
// one those reads would have had, byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fast/bitmap.h"

namespace fast {

// Why a run stopped.
enum class RunStop {
  block_end,  // the next token may go on past the loaded bytes, or none is left
  general,    // the next entity needs the general reads (or is a header extent)
  room,       // the output space is nearly used up (writing runs)
  sync,       // the next token starts at the position asked for
  passed,     // the next token starts after it: it was inside something consumed
};

// What a run did, to be folded into the merge's state by its caller.
struct RunResult {
  const char* stop = nullptr;  // where the loop's next token read would start from
  RunStop why = RunStop::block_end;
  std::uint32_t polylines = 0;  // POLYLINE entities taken
  std::uint32_t vertices = 0;   // VERTEX entities taken
  bool has_val = false;         // an integer item was read; val holds the last one
  int val = 0;
  bool has_dval = false;  // a coordinate was read; dval holds the last one
  double dval = 0.0;
  char* out = nullptr;                // end of the output written (writing runs)
  bool after_zero = false;            // the token at stop follows a group code 0
  bool polyline_open = false;         // a POLYLINE was written and its SEQEND not yet (writing runs)
  bool elevation_set = false;         // a POLYLINE was taken: elevation is its
  double elevation = 0.0;             // the polyline's elevation, for the vertices after it
  bool elevation_guess_used = false;  // a vertex was written at elevation_guess (speculative writing runs)
  double elevation_guess = 0.0;
  std::uint32_t by_group_codes = 0;  // entities written from their group codes
  std::uint32_t bulges = 0;          // and the bulges and widths they had, not carried
  std::uint32_t widths = 0;
  // The names after a group code 0 passed over (entities left out, which
  // the caller counts in ENTITIES), in order, pointing into the block.
  static constexpr std::size_t names_room = 16;
  std::array<std::string_view, names_room> names{};
  std::uint32_t name_count = 0;
};

// Room for the most output one entity of a writing run produces (a bound
// is checked where the entities are written).
inline constexpr std::size_t run_entity_room = 2048;

// The survey's loop from `from` in block b, whose first token follows a
// group code 0 when zero is set, with the polyline's elevation so far (NaN:
// not known, as in a speculative run):
// POLYLINE and VERTEX entities in the layout or read by their group codes
// consumed and the POLYLINE counted; stops before "$EXTMIN" and "$EXTMAX",
// before what the loop must see itself (sections, LWPOLYLINE, an entity
// name after a group code 0 once names_room are held), and before an entity
// not in the layout. With
// sync set, stops before the first token starting at or after it (why: sync
// or passed).
RunResult survey_run(const MarkedBlock& b, const char* from, bool zero, double elevation, const char* sync = nullptr);

// The writing pass's loop from `from` in block b, with a polyline open in
// the result when open is set: POLYLINE, VERTEX and SEQEND entities are
// copied to [out, out_limit) (a SEQEND only when it ends a polyline); stops
// as the survey's loop does, or when less than run_entity_room bytes are
// left there. With elevation_guessed, the elevation is a guess (a
// speculative run's): the result says whether a vertex was written at it.
RunResult write_run(const MarkedBlock& b, const char* from, bool zero, bool open, double elevation, char* out,
                    char* out_limit, const char* sync = nullptr, bool elevation_guessed = false);

// A guess at the elevation of the vertices from `from` on, for a speculative
// run: that of the last POLYLINE before it in block b as its groups give it
// (its 30, else 0); NaN when there is none or it cannot be read that way.
// A wrong guess costs the run only: where it is kept, it is checked.
double elevation_guess(const MarkedBlock& b, const char* from);

}  // namespace fast
