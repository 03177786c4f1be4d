#pragma once

#include <cmath>

namespace qm {

// A point or direction in scene coordinates. Stored as three 32-bit floats
// (the scene file keeps them that way); arithmetic runs in double and the
// result is rounded back to float once.
struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    static Vec3 FromDouble(double x, double y, double z)
    {
        return Vec3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    }

    void Set(double nx, double ny, double nz) { *this = FromDouble(nx, ny, nz); }

    double Dot(const Vec3& o) const { return double(x) * o.x + double(y) * o.y + double(z) * o.z; }
    double Length() const { return std::sqrt(Dot(*this)); }

    Vec3& operator+=(const Vec3& o) { return *this = *this + o; }
    Vec3& operator-=(const Vec3& o) { return *this = *this - o; }
    Vec3& operator*=(double s) { return *this = *this * s; }

    friend Vec3 operator+(const Vec3& a, const Vec3& b)
    {
        return FromDouble(double(a.x) + b.x, double(a.y) + b.y, double(a.z) + b.z);
    }
    friend Vec3 operator-(const Vec3& a, const Vec3& b)
    {
        return FromDouble(double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z);
    }
    friend Vec3 operator-(const Vec3& a) { return Vec3(-a.x, -a.y, -a.z); }
    friend Vec3 operator*(const Vec3& a, double s) { return FromDouble(a.x * s, a.y * s, a.z * s); }
    friend Vec3 operator*(double s, const Vec3& a) { return a * s; }
    friend bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
    friend bool operator!=(const Vec3& a, const Vec3& b) { return !(a == b); }
};

inline Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return Vec3::FromDouble(double(a.y) * b.z - double(a.z) * b.y, double(a.z) * b.x - double(a.x) * b.z,
                            double(a.x) * b.y - double(a.y) * b.x);
}

inline double Distance(const Vec3& a, const Vec3& b)
{
    const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

inline Vec3 Midpoint(const Vec3& a, const Vec3& b)
{
    return Vec3::FromDouble((double(a.x) + b.x) * 0.5, (double(a.y) + b.y) * 0.5, (double(a.z) + b.z) * 0.5);
}

} // namespace qm
