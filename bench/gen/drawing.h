// What a drawing's header says of its entities (learnt in a measuring pass, written in the
// next), and what the generator reports having written.
#pragma once

#include <array>
#include <cstdint>

#include "gen/decimal.h"

// The smallest and largest value written on each axis, as written.
struct Extents {
  std::array<Real, 3> lo{};
  std::array<Real, 3> hi{};
  bool empty = true;

  void add(const Real& x, const Real& y, const Real& z) {
    const std::array<Real, 3> v{x, y, z};
    for (std::size_t i = 0; i < 3; ++i) {
      if (empty || compare(v[i], lo[i]) < 0) lo[i] = v[i];
      if (empty || compare(v[i], hi[i]) > 0) hi[i] = v[i];
    }
    empty = false;
  }

  bool operator==(const Extents&) const = default;
};

struct Summary {
  Extents extents;
  std::uint64_t next_handle = 0;  // the header's handle seed

  bool operator==(const Summary&) const = default;
};

struct Counts {
  std::uint64_t polylines = 0;
  std::uint64_t vertices = 0;
  std::uint64_t lwpolylines = 0;
  std::uint64_t points = 0;
  std::uint64_t lines = 0;
  std::uint64_t texts = 0;
  std::uint64_t inserts = 0;
  std::uint64_t circles = 0;
  std::uint64_t arcs = 0;
};
