// Extrusion directions (groups 210, 220, 230). The points of a 2D polyline
// or an LWPOLYLINE lie in the coordinate system their direction defines; the
// result has no such groups, so they are written in world coordinates.
#pragma once

namespace numeric {

struct Extrusion {
  double x = 0, y = 0, z = 1;
};

// Whether points in its system differ from world coordinates: any direction
// but one along +z. A zero vector, which defines no system, counts as +z.
[[nodiscard]] bool moves_points(const Extrusion& e);

// The point (x, y, z) of its system in world coordinates, by the arbitrary
// axis rule; each coordinate stays finite (within the double range). A
// point of a direction that moves none is left as it is.
void to_world(const Extrusion& e, double& x, double& y, double& z);

}  // namespace numeric
