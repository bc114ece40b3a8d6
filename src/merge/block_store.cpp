// Placing block references: the maps from a block's coordinates to the
// world's, composed down the references to any depth.
#include "merge/block_store.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace blocks {

namespace {

std::string capitals(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

// The cosine and sine of an angle in degrees, exact for the quarter turns
// (so that a block turned by them lands on the points it should).
void turn_of(double degrees, double& cosine, double& sine) {
  const double quarters = degrees / 90;
  if (std::isfinite(quarters) && quarters == std::floor(quarters)) {
    constexpr double c[4] = {1, 0, -1, 0}, s[4] = {0, 1, 0, -1};
    const double k = std::fmod(quarters, 4.0);
    const auto n = static_cast<int>(k < 0 ? k + 4 : k);
    cosine = c[n];
    sine = s[n];
    return;
  }
  const double radians = degrees * (std::numbers::pi / 180);
  cosine = std::cos(radians);
  sine = std::sin(radians);
}

}  // namespace

Point Map::apply(const Point& p) const {
  Point q = p;
  q.x = m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3];
  q.y = m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3];
  q.z = m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3];
  return q;
}

Map Map::after(const Map& inner) const {
  Map r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double v = j == 3 ? m[i][3] : 0.0;
      for (int k = 0; k < 3; ++k) v += m[i][k] * inner.m[k][j];
      r.m[i][j] = v;
    }
  }
  return r;
}

double Map::stretch() const {
  // Scaled to its largest factor first, so that no square overflows.
  double largest = 0;
  for (const auto& row : m)
    for (int j = 0; j < 3; ++j) largest = std::max(largest, std::fabs(row[j]));
  if (!std::isfinite(largest)) return INFINITY;
  if (largest == 0) return 0;
  double l[3][3], a[3][3] = {}, frobenius = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      l[i][j] = m[i][j] / largest;
      frobenius += l[i][j] * l[i][j];
    }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) a[i][j] += l[k][i] * l[k][j];
  // The largest eigenvalue of the symmetric a = l^T l, in closed form.
  const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
  const double q = (a[0][0] + a[1][1] + a[2][2]) / 3;
  const double p2 =
      (a[0][0] - q) * (a[0][0] - q) + (a[1][1] - q) * (a[1][1] - q) + (a[2][2] - q) * (a[2][2] - q) + 2 * off;
  double eigen = q;
  if (p2 > 0) {
    const double p = std::sqrt(p2 / 6);
    double b[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) b[i][j] = (a[i][j] - (i == j ? q : 0)) / p;
    const double det = b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) -
                       b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
                       b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0]);
    const double phi = std::acos(std::clamp(det / 2, -1.0, 1.0)) / 3;
    eigen = q + 2 * p * std::cos(phi);
  }
  // A hair above, for the rounding; never above the Frobenius norm, which bounds it.
  return largest * std::min(std::sqrt(std::max(eigen, 0.0)) * (1 + 1e-9), std::sqrt(frobenius));
}

int copies(int count, double spacing) { return count < 1 || spacing == 0 ? 1 : count; }

Map placement(const Reference& r, const double base[3], int column, int row) {
  const groups::Placing& g = r.placing;
  double c = 1, s = 0;
  turn_of(g.rotation, c, s);
  // The reference's system: the columns of its axes in world coordinates.
  double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (auto& a : axes) numeric::to_world(r.extrusion, a[0], a[1], a[2]);
  // In the reference's system: turned after scaled, then moved.
  const double turned[3][3] = {
      {c * g.scale[0], -s * g.scale[1], 0}, {s * g.scale[0], c * g.scale[1], 0}, {0, 0, g.scale[2]}};
  const double gx = column * g.column_spacing, gy = row * g.row_spacing;  // the grid is turned, not scaled
  double moved[3] = {r.at[0] + c * gx - s * gy, r.at[1] + s * gx + c * gy, r.at[2]};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) moved[i] -= turned[i][k] * base[k];
  Map map;
  for (int i = 0; i < 3; ++i) {  // world row i: the axes' i-th coordinates
    for (int j = 0; j < 3; ++j) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += axes[k][i] * turned[k][j];
      map.m[i][j] = v;
    }
    double t = 0;
    for (int k = 0; k < 3; ++k) t += axes[k][i] * moved[k];
    map.m[i][3] = t;
  }
  return map;
}

void Store::open(std::string_view name, const double base[3]) {
  const auto [it, added] = blocks_.try_emplace(capitals(name));
  const std::size_t number = added ? blocks_.size() - 1 : it->second.number;
  Block& b = it->second;
  b = Block{};
  b.number = number;
  std::copy(base, base + 3, b.base);
  open_ = &b;
  reading = Reading{};
}

const Block* Store::find(std::string_view name) const {
  const auto it = blocks_.find(capitals(name));
  return it == blocks_.end() ? nullptr : &it->second;
}

namespace {

// A block being placed: which copy of its reference's grid, and how far
// through its entities that copy is.
struct Level {
  const Block* block;
  const Reference* reference;
  std::string_view layer;  // what its entities on layer "0" are on
  Map outer;               // from the enclosing block's coordinates to the world's
  Map map;                 // from its own, for this copy
  int row = 0, column = 0, rows = 1, columns = 1;
  std::size_t entry = 0, shape = 0, inner = 0, curve = 0;  // the next of its entities, shapes, references, curves
};

}  // namespace

Placing Store::place(const Reference& r, const Put& put, const PutCurve& put_curve) const {
  Placing said;
  std::vector<Level> levels;
  std::vector<char> placing(blocks_.size(), 0);  // by block number: on the way down to the level placed
  std::vector<Point> placed;
  // Goes down into reference r, unless its block is missing or being placed already.
  auto enter = [&](const Reference& reference, const Map& outer, std::string_view layer) {
    const Block* block = find(reference.block);
    if (block == nullptr) return void(++said.missing);
    if (placing[block->number] != 0) {
      if (said.looping.empty()) said.looping = reference.block;
      return;
    }
    placing[block->number] = 1;
    const groups::Placing& g = reference.placing;
    Level level{block, &reference, layer, outer, outer.after(placement(reference, block->base, 0, 0))};
    level.rows = copies(g.rows, g.row_spacing);
    level.columns = copies(g.columns, g.column_spacing);
    levels.push_back(level);
  };
  enter(r, Map{}, r.layer);
  while (!levels.empty()) {
    Level& l = levels.back();
    if (l.entry == l.block->order.size()) {  // this copy is placed: the next, or back up
      for (const auto& [kind, n] : l.block->left_out) said.left_out[kind] += n;
      if (++l.column == l.columns) {
        l.column = 0;
        ++l.row;
      }
      if (l.row == l.rows) {
        placing[l.block->number] = 0;
        levels.pop_back();
        continue;
      }
      l.map = l.outer.after(placement(*l.reference, l.block->base, l.column, l.row));
      l.entry = l.shape = l.inner = l.curve = 0;
      continue;
    }
    // In the order the definition holds them; a layer "0" is the reference's.
    switch (l.block->order[l.entry++]) {
      case Block::Entry::reference: {
        const Reference& inner = l.block->references[l.inner++];
        const Map map = l.map;  // l is not to be used once a level is added
        enter(inner, map, inner.layer == "0" ? l.layer : std::string_view(inner.layer));
        break;
      }
      case Block::Entry::curve: {
        const Curve& c = l.block->curves[l.curve++];
        put_curve(c.layer == "0" ? l.layer : std::string_view(c.layer), c, l.map);
        break;
      }
      case Block::Entry::shape: {
        const Shape& s = l.block->shapes[l.shape++];
        placed.clear();
        for (Point p : s.points) {
          numeric::to_world(s.extrusion, p.x, p.y, p.z);
          placed.push_back(l.map.apply(p));
        }
        put(s.layer == "0" ? l.layer : std::string_view(s.layer), s, l.map, placed);
        break;
      }
    }
  }
  return said;
}

}  // namespace blocks
