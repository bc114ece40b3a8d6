// The arbitrary axis rule: the system's x axis is the world's y axis (or,
// for a direction close to the world's z axis, its z axis) crossed with the
// direction; its y axis is the direction crossed with its x axis.
#include "numeric/extrusion.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace numeric {

namespace {

struct Vector {
  double x, y, z;
};

Vector cross(const Vector& a, const Vector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The unit vector along v, which is not zero; scaled first so that no square overflows.
Vector unit(const Vector& v) {
  const double largest = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
  const Vector s{v.x / largest, v.y / largest, v.z / largest};
  const double length = std::hypot(s.x, s.y, s.z);
  return {s.x / length, s.y / length, s.z / length};
}

double finite(double v) { return std::clamp(v, -DBL_MAX, DBL_MAX); }

}  // namespace

bool moves_points(const Extrusion& e) { return e.x != 0 || e.y != 0 || e.z < 0; }

void to_world(const Extrusion& e, double& x, double& y, double& z) {
  if (!moves_points(e)) return;
  const Vector n = unit({e.x, e.y, e.z});
  constexpr double near_z = 1.0 / 64;
  const Vector ax =
      unit(std::fabs(n.x) < near_z && std::fabs(n.y) < near_z ? cross({0, 1, 0}, n) : cross({0, 0, 1}, n));
  const Vector ay = unit(cross(n, ax));
  const double px = x, py = y, pz = z;
  x = finite(px * ax.x + py * ay.x + pz * n.x);
  y = finite(px * ax.y + py * ay.y + pz * n.y);
  z = finite(px * ax.z + py * ay.z + pz * n.z);
}

}  // namespace numeric
