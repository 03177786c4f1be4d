#pragma once

#include <cmath>

namespace qm::sketch {

// A point or direction in double precision, for the generators of sample models.
struct P3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

inline P3 operator+(P3 a, P3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline P3 operator-(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline P3 operator*(P3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline P3 CrossOf(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline P3 Unit(P3 a) { return a * (1.0 / std::sqrt(Dot(a, a))); }

} // namespace qm::sketch
