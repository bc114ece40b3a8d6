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

int copies(int count, double spacing) { return count < 1 || spacing == 0 ? 1 : count; }

Map placement(const Reference& r, const double base[3], int column, int row) {
  const groups::Placing& g = r.placing;
  double c = 1, s = 0;
  turn_of(g.rotation, c, s);
  // The reference's system: the columns of its axes in world coordinates.
  double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (auto& a : axes) numeric::to_world(r.extrusion, a[0], a[1], a[2]);
  // In the reference's system: turned after scaled, then moved.
  const double turned[3][3] = {{c * g.scale[0], -s * g.scale[1], 0}, {s * g.scale[0], c * g.scale[1], 0}, {0, 0, g.scale[2]}};
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
  Block& b = blocks_[capitals(name)];
  b = Block{};
  std::copy(base, base + 3, b.base);
  open_ = &b;
  reading = Reading{};
}

const Block* Store::find(std::string_view name) const {
  const auto it = blocks_.find(capitals(name));
  return it == blocks_.end() ? nullptr : &it->second;
}

Placing Store::place(const Reference& r, const Put& put) const {
  Placing said;
  std::vector<const Block*> path;
  place_block(r, Map{}, r.layer, path, put, said);
  return said;
}

void Store::place_block(const Reference& r, const Map& outer, std::string_view layer, std::vector<const Block*>& path,
                        const Put& put, Placing& said) const {
  const Block* block = find(r.block);
  if (block == nullptr) {
    ++said.missing;
    return;
  }
  if (std::find(path.begin(), path.end(), block) != path.end()) {
    if (said.looping.empty()) said.looping = r.block;
    return;
  }
  if (path.size() >= max_depth) {
    if (said.too_deep.empty()) said.too_deep = r.block;
    return;
  }
  path.push_back(block);
  std::vector<Point> placed;
  const groups::Placing& g = r.placing;
  const int columns = copies(g.columns, g.column_spacing), rows = copies(g.rows, g.row_spacing);
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const Map map = outer.after(placement(r, block->base, column, row));
      // In the order the definition holds them; a layer "0" is the reference's.
      std::size_t shape = 0, reference = 0;
      for (const bool is_reference : block->order) {
        if (is_reference) {
          const Reference& inner = block->references[reference++];
          place_block(inner, map, inner.layer == "0" ? layer : std::string_view(inner.layer), path, put, said);
          continue;
        }
        const Shape& s = block->shapes[shape++];
        placed.clear();
        for (const Point& p : s.points) placed.push_back(map.apply(p));
        put(s.layer == "0" ? layer : std::string_view(s.layer), s, placed);
      }
      for (const auto& [kind, n] : block->left_out) said.left_out[kind] += n;
    }
  }
  path.pop_back();
}

}  // namespace blocks
