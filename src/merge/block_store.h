// Block definitions held for placing block references (--inserts): each
// block's entities as geometry in the block's own coordinates, and the
// references it makes to other blocks. The survey fills the store of an
// input; both passes place the references of its model space from it.
//
// A block holds its polylines as Shapes: points in the system of their
// extrusion (their own elevation applied), with a layer and flags; with
// --curves and --lines, its curves and lines as Curves: their definitions as
// read, flattened where each copy places them, so that the chords stay within
// the tolerance however a copy stretches them. What the store holds grows
// with the blocks' size, never with the copies placed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "merge/curves.h"
#include "merge/group_rules.h"
#include "numeric/extrusion.h"

namespace blocks {

struct Point {
  double x = 0, y = 0, z = 0;
  int flags = 0;  // the VERTEX's own flags
};

// A polyline of a block: its points in the system of its extrusion, which
// puts them in the block's coordinates.
struct Shape {
  std::string layer;
  int flags = 0;  // the POLYLINE's flags as read
  std::vector<Point> points;
  numeric::Extrusion extrusion;
  std::vector<double> arcs;              // with --curves, a 2D one's: each point's bulge (empty: none drawn)
  std::uint32_t bulges = 0, widths = 0;  // not carried, counted where it is placed
};

// A curve (ARC, CIRCLE, ELLIPSE, SPLINE) or a run of LINEs of a block, in the
// block's coordinates.
struct Curve {
  std::string layer;
  groups::Kind kind = groups::Kind::line;
  groups::Shape groups;             // a curve's definition (its layer is `layer`)
  std::vector<curves::Point> ends;  // the LINEs': joined where one starts exactly where the last ends
  [[nodiscard]] std::uint64_t lines() const { return ends.empty() ? 0 : ends.size() - 1; }
};

// A block reference (INSERT): where and how it places its block.
struct Reference {
  std::string block;  // the block's name, as read
  std::string layer;
  double at[3] = {};  // the insertion point, in the system of the extrusion
  numeric::Extrusion extrusion;
  groups::Placing placing;
};

// What is left out of a block, by kind, each time it is placed.
using LeftOut = std::map<std::string, std::uint64_t, std::less<>>;

struct Block {
  std::size_t number = 0;  // in the order first defined, from 0
  double base[3] = {};
  LeftOut left_out;
  std::vector<Shape> shapes;
  std::vector<Reference> references;
  std::vector<Curve> curves;
  enum class Entry : std::uint8_t { shape, reference, curve };
  std::vector<Entry> order;  // the entities in the order read

  void add(Shape s) {
    shapes.push_back(std::move(s));
    order.push_back(Entry::shape);
  }
  void add(Reference r) {
    references.push_back(std::move(r));
    order.push_back(Entry::reference);
  }
  void add(Curve c) {
    curves.push_back(std::move(c));
    order.push_back(Entry::curve);
  }
  // The curve read last, when it is the last entity read (a run of LINEs to join), else null.
  [[nodiscard]] Curve* last_curve() {
    return !order.empty() && order.back() == Entry::curve ? &curves.back() : nullptr;
  }
};

// An affine map of points: rows of x, y and z, each three factors and an offset.
struct Map {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  [[nodiscard]] Point apply(const Point& p) const;
  // This map after `inner`: inner is applied first.
  [[nodiscard]] Map after(const Map& inner) const;
  // The most it lengthens a vector (its linear part's largest singular
  // value), never below it; infinity when a factor is not finite.
  [[nodiscard]] double stretch() const;
};

// The map of one copy of a reference's grid (column c, row r): the block's
// points, less its base, scaled, rotated, moved to the insertion point and
// the grid's offset in the reference's system, and put in world
// coordinates (or the enclosing block's).
[[nodiscard]] Map placement(const Reference& r, const double base[3], int column, int row);

// The copies of a reference's grid along one way: a count below 1 is 1, and
// along a way whose spacing is 0 the copies all fall on the first.
[[nodiscard]] int copies(int count, double spacing);

// What placing a reference met beyond its polylines.
struct Placing {
  std::uint64_t missing = 0;  // references to a block not defined (nested ones included)
  std::string looping;        // a block that inserts itself, directly or not (its name; empty: none)
  LeftOut left_out;           // of the blocks placed, once for each copy
};

// A polyline placed: its layer (a block's layer "0" is the reference's),
// flags as read, the map from its block's coordinates to the world's, and
// its points where the reference puts them.
using Put =
    std::function<void(std::string_view layer, const Shape& shape, const Map& map, const std::vector<Point>& placed)>;
// A curve or run of lines placed: its layer, as for a polyline, and the map.
using PutCurve = std::function<void(std::string_view layer, const Curve& curve, const Map& map)>;

class Store {
 public:
  // Starts the definition of block `name` at base point `base`; a block
  // defined again replaces the first definition, as readers take the last.
  void open(std::string_view name, const double base[3]);
  // Ends the definition open, if any.
  void close() { open_ = nullptr; }
  // The block being defined, or null outside a definition.
  [[nodiscard]] Block* open_block() { return open_; }

  // Keeps a reference of model space, to be placed once every block is read.
  void keep_model_reference(Reference r) { model_.push_back(std::move(r)); }
  [[nodiscard]] const std::vector<Reference>& model_references() const { return model_; }

  // Places reference r in world coordinates: put() for each polyline of its
  // block and, to any depth, of the blocks it references, put_curve() for
  // each curve and run of lines. A block met again inside its own placing
  // is not placed there. The references are followed on a stack of their
  // own: no depth of nesting overflows the program's.
  Placing place(const Reference& r, const Put& put, const PutCurve& put_curve) const;

  // The state of the polyline being read in a definition (as InputState's for the entities).
  struct Reading {
    Shape* shape = nullptr;  // its shape, or null when none is open or it is left out
    double elevation = 0;
    bool at_elevation = false;
    numeric::Extrusion extrusion;
    bool arcs = false;      // its bulges are drawn (--curves, a 2D polyline)
    bool line_run = false;  // the last entity read was a LINE held: the next may join it
  } reading;

 private:
  [[nodiscard]] const Block* find(std::string_view name) const;

  std::map<std::string, Block, std::less<>> blocks_;  // by name in capitals: names match whatever their case
  Block* open_ = nullptr;
  std::vector<Reference> model_;
};

}  // namespace blocks
