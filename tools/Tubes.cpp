#include "tools/Tubes.h"

#include <algorithm>
#include <cmath>

namespace qm::tubes {

namespace {

struct Ring {
    P3 centre, t, u, w;  // t along the path, u and w across it
    double a = 0.0, b = 0.0;  // 0 for the poles
};

double CatmullRom(double a, double b, double c, double d, double t)
{
    // Catmull-Rom through b (t = 0) and c (t = 1).
    return 0.5 * (2.0 * b + (c - a) * t + (2.0 * a - 5.0 * b + 4.0 * c - d) * t * t +
                  (3.0 * b - a - 3.0 * c + d) * t * t * t);
}

Key Interpolate(const std::vector<Key>& keys, size_t k, double t)
{
    const size_t last = keys.size() - 1;
    const Key& k0 = keys[k == 0 ? 0 : k - 1];
    const Key& k1 = keys[k];
    const Key& k2 = keys[std::min(k + 1, last)];
    const Key& k3 = keys[std::min(k + 2, last)];
    Key r;
    r.centre = {CatmullRom(k0.centre.x, k1.centre.x, k2.centre.x, k3.centre.x, t),
                CatmullRom(k0.centre.y, k1.centre.y, k2.centre.y, k3.centre.y, t),
                CatmullRom(k0.centre.z, k1.centre.z, k2.centre.z, k3.centre.z, t)};
    r.across = CatmullRom(k0.across, k1.across, k2.across, k3.across, t);
    r.other = CatmullRom(k0.other, k1.other, k2.other, k3.other, t);
    return r;
}

// Rings spaced evenly along the polyline of the keys.
std::vector<Key> SamplePath(const Part& part)
{
    std::vector<double> along{0.0};
    for (size_t k = 1; k < part.keys.size(); ++k) {
        const P3 d = part.keys[k].centre - part.keys[k - 1].centre;
        along.push_back(along.back() + std::sqrt(Dot(d, d)));
    }
    std::vector<Key> out;
    for (int r = 0; r < part.grid.rings; ++r) {
        const double s = along.back() * r / (part.grid.rings - 1);
        size_t k = 0;
        while (k + 2 < along.size() && s > along[k + 1])
            ++k;
        out.push_back(Interpolate(part.keys, k, (s - along[k]) / (along[k + 1] - along[k])));
    }
    return out;
}

Ring MakeRing(const Key& key, P3 tangent, P3 across)
{
    Ring ring;
    ring.centre = key.centre;
    ring.t = tangent;
    ring.u = Unit(across - tangent * Dot(across, tangent));
    ring.w = CrossOf(tangent, ring.u);
    ring.a = key.across;
    ring.b = key.other;
    return ring;
}

double Shape(double v, double squareness)
{
    const double m = std::pow(std::fabs(v), 2.0 / squareness);
    return v < 0.0 ? -m : m;
}

} // namespace

void AddPart(Mesh& mesh, const Part& part)
{
    const std::vector<Key> path = SamplePath(part);
    const size_t n = path.size();
    std::vector<Ring> body;
    for (size_t r = 0; r < n; ++r) {
        const P3 ahead = path[std::min(r + 1, n - 1)].centre;
        const P3 behind = path[r == 0 ? 0 : r - 1].centre;
        body.push_back(MakeRing(path[r], Unit(ahead - behind), part.across));
    }

    // Rounded ends: quarter-ellipse profiles closing onto a pole.
    auto capRing = [&](const Ring& end, P3 outwards, double depth, int i) {
        const double angle = 0.5 * kPi * i / part.grid.capRings;
        Ring ring = end;
        ring.centre = end.centre + outwards * (depth * std::sin(angle));
        ring.a = end.a * std::cos(angle);
        ring.b = end.b * std::cos(angle);
        return ring;
    };
    std::vector<Ring> rings;
    if (part.open) {
        rings = body;
    } else {
        for (int i = part.grid.capRings; i >= 1; --i)
            rings.push_back(capRing(body.front(), body.front().t * -1.0, part.caps.start, i));
        rings.insert(rings.end(), body.begin(), body.end());
        for (int i = 1; i <= part.grid.capRings; ++i)
            rings.push_back(capRing(body.back(), body.back().t, part.caps.end, i));
        // The first and last entries are the poles (their half-sizes are 0).
        rings.front().a = rings.front().b = 0.0;
        rings.back().a = rings.back().b = 0.0;
    }
    // An open tube has no poles: its first and last rings are whole rings.
    const size_t pole = part.open ? 1 : 0;

    const int sides = part.grid.sides;
    const int32_t first = static_cast<int32_t>(mesh.vertices.size());
    auto vertex = [&](size_t ring, int side) {
        if (part.open)
            return first + static_cast<int32_t>(ring * sides + (side % sides));
        if (ring == 0)
            return first;
        if (ring == rings.size() - 1)
            return first + 1 + static_cast<int32_t>((rings.size() - 2) * sides);
        return first + 1 + static_cast<int32_t>((ring - 1) * sides + (side % sides));
    };
    for (size_t r = 0; r < rings.size(); ++r) {
        const Ring& ring = rings[r];
        const int32_t group = part.group(ring.centre);
        const int count = (!part.open && (r == 0 || r == rings.size() - 1)) ? 1 : sides;
        for (int j = 0; j < count; ++j) {
            const double theta = 2.0 * kPi * j / sides;
            const P3 p = ring.centre + ring.u * (ring.a * Shape(std::cos(theta), part.squareness)) +
                         ring.w * (ring.b * Shape(std::sin(theta), part.squareness));
            mesh.vertices.push_back(p);
            mesh.groups.push_back(group);
        }
    }

    // With w = tangent x u, corners taken ring by ring and then round the ring
    // run clockwise seen from outside, which makes the normals face outwards.
    auto polygon = [&](int32_t a, int32_t b, int32_t c, int32_t d) {
        const P3 centre = c == d ? (mesh.vertices[a] + mesh.vertices[b] + mesh.vertices[c]) * (1.0 / 3.0)
                                 : (mesh.vertices[a] + mesh.vertices[b] + mesh.vertices[c] + mesh.vertices[d]) * 0.25;
        mesh.polygons.push_back({a, b, c, d});
        mesh.colours.push_back(part.colour(centre));
    };
    const size_t last = rings.size() - 1;
    for (int j = 0; j < sides; ++j) {
        if (!pole)
            polygon(vertex(1, j), vertex(1, j + 1), vertex(0, 0), vertex(0, 0));
        for (size_t r = 1 - pole; r + 1 < last + pole; ++r)
            polygon(vertex(r, j), vertex(r + 1, j), vertex(r + 1, j + 1), vertex(r, j + 1));
        if (!pole)
            polygon(vertex(last - 1, j + 1), vertex(last - 1, j), vertex(last, 0), vertex(last, 0));
    }
}

} // namespace qm::tubes
