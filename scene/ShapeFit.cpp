// The figure fitted from the mesh's shape alone: a standing two-legged
// character found by casting rays through its surface, from the feet up.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "scene/FigureFit.h"

namespace qm {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

struct D3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
D3 operator+(D3 a, D3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
D3 operator-(D3 a, D3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
D3 operator*(D3 a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(D3 a, D3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
D3 Cross(D3 a, D3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Norm(D3 a)
{
    return std::sqrt(Dot(a, a));
}
D3 Unit(D3 a)
{
    const double n = Norm(a);
    return n > 0.0 ? a * (1.0 / n) : D3{};
}
D3 Lerp(D3 a, D3 b, double t)
{
    return a + (b - a) * t;
}

// v rounded down into [lo, hi], whatever it is: a mesh may be flat, vast or
// tiny, and a quotient of its sizes anything, not a number included.
int Within(double v, int lo, int hi)
{
    return v >= hi ? hi : v > lo ? int(v) : lo;
}
D3 FromVec(const Vec3& v)
{
    return {v.x, v.y, v.z};
}

// Scene axes: z points down.
constexpr D3 kUp{0.0, 0.0, -1.0};

// Bounds on the work for one mesh, far beyond what any character needs:
// points sampled on the surface, triangles filed in the ray grid's cells, and
// triangles tested against rays. A mesh past them is no character to fit.
constexpr double kMaxSamples = 2e6;
constexpr uint64_t kMaxEntries = 40'000'000;
constexpr uint64_t kMaxTests = 300'000'000;
// Vertical lines through the floor plan that tell which pieces enclose what.
constexpr double kMaxColumns = 4e6;
constexpr uint64_t kMaxLineWork = 8'000'000;
// Where a rigger puts the joints against what the surface shows, in the
// sizes measured there: the arm's head just outside the armpit (in arm
// radii), the thigh's head over the crotch (in thigh depths), the wrist in
// from where the hand turns round (in wrist radii).
constexpr double kArmpitIn = -0.2;
constexpr double kHipUp = 0.35;
constexpr double kWristIn = 0.5;

// The mesh as triangles in a uniform grid, for casting rays through it.
class RayMesh {
  public:
    explicit RayMesh(const CBodyDoc& doc) : vertices_(doc.restVertices)
    {
        const int vertices = std::min<int>(doc.vertexCount, int(doc.restVertices.size()));
        std::vector<uint8_t> usable(size_t(std::max(vertices, 0)), 0);
        for (int v = 0; v < vertices; ++v) {
            const Vec3& p = doc.restVertices[size_t(v)];
            usable[size_t(v)] = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
        }
        auto good = [&](int32_t index) { return index >= 0 && index < vertices && usable[size_t(index)]; };
        const int polygons = std::min<int>(doc.polygonCount, int(doc.polygonCorners.size()));
        for (int p = 0; p < polygons; ++p) {
            const PolygonCorners& c = doc.polygonCorners[size_t(p)];
            if (!good(c[0]) || !good(c[1]) || !good(c[2]) || !good(c[3]))
                continue;
            Add(c[0], c[1], c[2]);
            if (c[3] != c[2] && c[3] != c[0])
                Add(c[0], c[2], c[3]);
        }
        if (tris_.empty())
            return;
        low_ = high_ = Corner(tris_[0][0]);
        for (const auto& t : tris_)
            for (int32_t i : t) {
                const D3 p = Corner(i);
                low_ = {std::min(low_.x, p.x), std::min(low_.y, p.y), std::min(low_.z, p.z)};
                high_ = {std::max(high_.x, p.x), std::max(high_.y, p.y), std::max(high_.z, p.z)};
            }
        if (!BuildGrid())
            tris_.clear();
    }

    bool Empty() const { return tris_.empty(); }
    D3 Low() const { return low_; }
    D3 High() const { return high_; }

    // Distance to the first crossing of the surface's outline along dir (a
    // unit vector) within reach, or infinity.
    double FirstHit(D3 origin, D3 dir, double reach) const
    {
        double best = kInf;
        Walk(origin, dir, reach, [&](int cell, double cellExit) {
            ForTriangles(cell, [&](uint32_t i, const Tri& t) {
                double s;
                if (Intersect(t, origin, dir, s, nullptr) && s < best && s <= reach &&
                    !Buried(origin + dir * s, piece_[i]))
                    best = s;
            });
            return best > cellExit;
        });
        return best;
    }

    // Exits minus entries along the ray to the edge of the mesh's box: not 0
    // from inside a closed surface, whichever way its polygons face.
    int Winding(D3 origin, D3 dir) const
    {
        int winding = 0;
        for (const auto& crossing : Crossings(origin, dir))
            winding += crossing.sign;
        return winding;
    }

    struct Crossing {
        double at;
        int sign; // +1 leaving a polygon's outside, -1 entering it
        uint32_t triangle;
        bool operator<(const Crossing& o) const { return at < o.at; }
    };
    // Every crossing of the surface along the ray, nearest first.
    std::vector<Crossing> Crossings(D3 origin, D3 dir) const
    {
        std::vector<Crossing> crossings;
        Walk(origin, dir, kInf, [&](int cell, double) {
            ForTriangles(cell, [&](uint32_t i, const Tri& t) {
                double s;
                int sign;
                if (Intersect(t, origin, dir, s, &sign))
                    crossings.push_back({s, sign, i});
            });
            return true;
        });
        std::sort(crossings.begin(), crossings.end());
        return crossings;
    }

    // The stretches of the ray within the body, to the edge of the box, from
    // an origin known to be outside or inside it; faces that coincide count as
    // one. A hole in the surface (a neck left open under a head apart) loses a
    // crossing: a stretch then ends at the last one.
    std::vector<std::pair<double, double>> InsideSpans(D3 origin, D3 dir, bool inside, double tolerance) const
    {
        auto crossings = Crossings(origin, dir);
        if (!lineStart_.empty())
            return OutlineSpans(origin, dir, crossings, tolerance);
        // What the ray must cross to get out: counted from the far end when
        // the mesh is whole round it, else from its first crossing.
        int winding = 0;
        if (inside) {
            for (const auto& c : crossings)
                winding += c.sign;
            if (winding == 0 && !crossings.empty())
                winding = crossings.front().sign;
        }
        std::vector<std::pair<double, double>> spans;
        double entered = 0.0;
        for (size_t i = 0; i < crossings.size();) {
            const int before = winding;
            const double t = crossings[i].at;
            for (; i < crossings.size() && crossings[i].at - t <= tolerance; ++i)
                winding -= crossings[i].sign;
            if (before == 0 && winding != 0)
                entered = t;
            else if (before != 0 && winding == 0)
                spans.emplace_back(entered, t);
        }
        if (winding != 0 && !crossings.empty() && crossings.back().at > entered)
            spans.emplace_back(entered, crossings.back().at);
        return spans;
    }

    // Inside the body: within some closed piece of the mesh, as the vertical
    // lines tell, or else by two rays of three (one may graze an edge).
    bool Inside(D3 p) const
    {
        static constexpr D3 kDirections[3] = {{0.27, 0.34, -0.9}, {-0.41, 0.23, 0.88}, {0.86, -0.47, 0.19}};
        const int enclosed = Enclosed(p);
        if (enclosed >= 0)
            return enclosed == 1;
        int votes = 0;
        for (int i = 0; i < 3; ++i) {
            votes += Winding(p, Unit(kDirections[i])) != 0 ? 1 : 0;
            if (votes == 2 || votes + (2 - i) < 2)
                break;
        }
        return votes >= 2;
    }

    // Points spread evenly over the outline, about spacing apart (more widely
    // when the surface is vast: there are at most kMaxSamples), each with the
    // area it stands for: the shape's measure, whatever the mesh's density.
    // level tells which lie on a level surface (a sole, a base's top).
    void Sample(double spacing, std::vector<D3>& points, std::vector<double>& weights,
                std::vector<uint8_t>& level) const
    {
        ForSamples(spacing, [&](D3 p, double w, uint32_t t) {
            if (!Buried(p, piece_[t])) {
                const Tri tri = Triangle(tris_[t]);
                points.push_back(p);
                weights.push_back(w);
                level.push_back(std::fabs(Unit(Cross(tri.e1, tri.e2)).z) > 0.95);
            }
        });
    }

    // Which pieces of the mesh enclose what, from vertical lines through a
    // grid over the floor plan, side apart: a piece (polygons joined by their
    // corners) that a line crosses an even number of times encloses the
    // stretches between its crossings taken in pairs. A body of pieces that
    // overlap (limbs pushed into the trunk, clothes over the skin, shells
    // doubled) is seen so by its outline: a surface buried in another piece
    // is no part of it. An open piece (a skirt, a lock of hair, a body with a
    // hole) encloses nothing on the lines that cross it an odd number of
    // times. Limbs of one piece that touch keep their surfaces between them.
    void FindPieces(double side)
    {
        // Pieces: the triangles' corners joined, as a forest of vertices.
        std::vector<uint32_t> parent(vertices_.size());
        for (uint32_t v = 0; v < parent.size(); ++v)
            parent[v] = v;
        auto root = [&](uint32_t v) {
            while (parent[v] != v)
                v = parent[v] = parent[parent[v]];
            return v;
        };
        for (const auto& t : tris_)
            for (int k = 1; k < 3; ++k)
                parent[root(uint32_t(t[size_t(k)]))] = root(uint32_t(t[0]));
        piece_.resize(tris_.size());
        for (size_t t = 0; t < tris_.size(); ++t)
            piece_[t] = root(uint32_t(tris_[t][0]));

        // The lines: within kMaxColumns, however flat or vast the plan; off
        // the grid's round numbers, so that they seldom run through an edge.
        const D3 extent = high_ - low_;
        for (;;) {
            columns_[0] = Within(std::ceil(extent.x / side) + 1, 1, 4096);
            columns_[1] = Within(std::ceil(extent.y / side) + 1, 1, 4096);
            if (double(columns_[0]) * columns_[1] <= kMaxColumns)
                break;
            side *= 1.25;
        }
        side_ = side;
        // Where each line crosses each triangle, in two passes: counted by
        // line, then filed by line. False past kMaxLineWork.
        struct Entry {
            uint32_t piece;
            float z;
        };
        auto crossings = [&](auto&& f) {
            uint64_t work = 0;
            for (size_t t = 0; t < tris_.size(); ++t) {
                const Tri tri = Triangle(tris_[t]);
                const D3 b = tri.a + tri.e1, c = tri.a + tri.e2;
                const double area = tri.e1.x * tri.e2.y - tri.e1.y * tri.e2.x;
                if (std::fabs(area) < 1e-300)
                    continue;
                const double x0 = (std::min({tri.a.x, b.x, c.x}) - low_.x) / side_ - kLineX;
                const double x1 = (std::max({tri.a.x, b.x, c.x}) - low_.x) / side_ - kLineX;
                const double y0 = (std::min({tri.a.y, b.y, c.y}) - low_.y) / side_ - kLineY;
                const double y1 = (std::max({tri.a.y, b.y, c.y}) - low_.y) / side_ - kLineY;
                const int i0 = Within(std::ceil(x0), 0, columns_[0]), i1 = Within(x1, 0, columns_[0] - 1);
                const int j0 = Within(std::ceil(y0), 0, columns_[1]), j1 = Within(y1, 0, columns_[1] - 1);
                work += uint64_t(std::max(i1 - i0 + 1, 0)) * uint64_t(std::max(j1 - j0 + 1, 0));
                if (work > kMaxLineWork)
                    return false;
                for (int j = j0; j <= j1; ++j)
                    for (int i = i0; i <= i1; ++i) {
                        const double qx = low_.x + (i + kLineX) * side_ - tri.a.x;
                        const double qy = low_.y + (j + kLineY) * side_ - tri.a.y;
                        const double u = (qx * tri.e2.y - qy * tri.e2.x) / area;
                        const double v = (tri.e1.x * qy - tri.e1.y * qx) / area;
                        if (u >= 0.0 && v >= 0.0 && u + v <= 1.0)
                            f(size_t(j) * size_t(columns_[0]) + size_t(i),
                              Entry{piece_[t], float(tri.a.z + tri.e1.z * u + tri.e2.z * v)});
                    }
            }
            return true;
        };
        const size_t lines = size_t(columns_[0]) * size_t(columns_[1]);
        std::vector<uint32_t> start(lines + 1, 0);
        if (!crossings([&](size_t c, const Entry&) { ++start[c + 1]; }))
            return;
        for (size_t c = 0; c < lines; ++c)
            start[c + 1] += start[c];
        std::vector<Entry> sorted(start[lines]);
        {
            std::vector<uint32_t> next(start.begin(), start.end() - 1);
            crossings([&](size_t c, const Entry& e) { sorted[next[c]++] = e; });
        }
        lineStart_.assign(lines + 1, 0);
        openLine_.assign(lines, 0);
        for (size_t c = 0; c < lines; ++c) {
            auto first = sorted.begin() + start[c], last = sorted.begin() + start[c + 1];
            std::sort(first, last, [](const Entry& a, const Entry& b) {
                return a.piece != b.piece ? a.piece < b.piece : a.z < b.z;
            });
            for (auto run = first; run != last;) {
                auto end = run;
                while (end != last && end->piece == run->piece)
                    ++end;
                if ((end - run) % 2 != 0)
                    openLine_[c] = 1;
                else
                    for (auto k = run; k != end; k += 2)
                        stretches_.push_back({run->piece, k->z, (k + 1)->z});
                run = end;
            }
            lineStart_[c + 1] = uint32_t(stretches_.size());
        }
    }

    // Whether p, on the surface of piece, lies within another piece on the
    // four lines round it, clear of its ends: a surface buried there.
    bool Buried(D3 p, uint32_t piece) const
    {
        if (lineStart_.empty())
            return false;
        const double margin = 0.5 * side_;
        const double u = (p.x - low_.x) / side_ - kLineX, v = (p.y - low_.y) / side_ - kLineY;
        for (int dj = 0; dj < 2; ++dj)
            for (int di = 0; di < 2; ++di) {
                const double i = std::floor(u) + di, j = std::floor(v) + dj;
                if (!(i >= 0.0 && j >= 0.0 && i < columns_[0] && j < columns_[1]))
                    return false;
                const size_t c = size_t(j) * size_t(columns_[0]) + size_t(i);
                bool within = false;
                for (uint32_t k = lineStart_[c]; k < lineStart_[c + 1] && !within; ++k) {
                    const Stretch& s = stretches_[k];
                    within = s.piece != piece && p.z > s.from + margin && p.z < s.to - margin;
                }
                if (!within)
                    return false;
            }
        return true;
    }

    // 1 when some piece encloses p on the line nearest it, 0 when none does
    // and the line crosses no open piece or some closed one (garments open
    // at their ends enclose nothing of a body whole under them), -1 when that
    // cannot be told.
    int Enclosed(D3 p) const
    {
        if (lineStart_.empty())
            return -1;
        const double u = (p.x - low_.x) / side_ - kLineX + 0.5, v = (p.y - low_.y) / side_ - kLineY + 0.5;
        if (!(u >= 0.0 && v >= 0.0 && u < columns_[0] && v < columns_[1]))
            return 0;
        const size_t c = size_t(v) * size_t(columns_[0]) + size_t(u);
        for (uint32_t k = lineStart_[c]; k < lineStart_[c + 1]; ++k)
            if (p.z > stretches_[k].from && p.z < stretches_[k].to)
                return 1;
        return openLine_[c] && lineStart_[c] == lineStart_[c + 1] ? -1 : 0;
    }

    // The stretches of the ray within the body: between the crossings of the
    // outline (of crossings, the ray's), where the middle is inside.
    std::vector<std::pair<double, double>> OutlineSpans(D3 origin, D3 dir, const std::vector<Crossing>& crossings,
                                                        double tolerance) const
    {
        // A character's outline is crossed a few dozen times at most.
        std::vector<double> ends{0.0};
        for (const Crossing& c : crossings)
            if (ends.size() < 64 && c.at - ends.back() > tolerance && !Buried(origin + dir * c.at, piece_[c.triangle]))
                ends.push_back(c.at);
        std::vector<std::pair<double, double>> spans;
        for (size_t k = 0; k + 1 < ends.size(); ++k) {
            if (!Inside(origin + dir * (0.5 * (ends[k] + ends[k + 1]))))
                continue;
            if (!spans.empty() && spans.back().second == ends[k])
                spans.back().second = ends[k + 1];
            else
                spans.emplace_back(ends[k], ends[k + 1]);
        }
        return spans;
    }

    // Whether the rays cast so far have had more triangles to test than a
    // character of any size could need: the answers are then worthless.
    bool Exhausted() const { return tests_ > kMaxTests; }

  private:
    struct Tri {
        D3 a, e1, e2; // a corner and the two edges from it
    };

    // Calls f(point, area, triangle) for points spread about spacing apart
    // over the surface (more widely when it is vast: at most kMaxSamples).
    template <class F> void ForSamples(double spacing, F&& f) const
    {
        double area = 0.0;
        for (const auto& corners : tris_) {
            const Tri t = Triangle(corners);
            area += 0.5 * Norm(Cross(t.e1, t.e2));
        }
        spacing = std::max(spacing, std::sqrt(2.0 * area / kMaxSamples));
        for (uint32_t k = 0; k < tris_.size(); ++k) {
            const Tri t = Triangle(tris_[k]);
            const double longest = std::max({Norm(t.e1), Norm(t.e2), Norm(t.e2 - t.e1)});
            const int n = Within(std::ceil(longest / spacing), 1, 64);
            const double w = 0.5 * Norm(Cross(t.e1, t.e2)) / double(n * n);
            // The centres of the n x n small triangles the edges' divisions make.
            for (int i = 0; i < n; ++i)
                for (int j = 0; i + j < n; ++j) {
                    f(t.a + t.e1 * ((i + 1.0 / 3.0) / n) + t.e2 * ((j + 1.0 / 3.0) / n), w, k);
                    if (i + j + 1 < n)
                        f(t.a + t.e1 * ((i + 2.0 / 3.0) / n) + t.e2 * ((j + 2.0 / 3.0) / n), w, k);
                }
        }
    }

    D3 Corner(int32_t i) const { return FromVec(vertices_[size_t(i)]); }
    Tri Triangle(const std::array<int32_t, 3>& t) const
    {
        const D3 a = Corner(t[0]);
        return {a, Corner(t[1]) - a, Corner(t[2]) - a};
    }

    void Add(int32_t a, int32_t b, int32_t c)
    {
        const Tri t = Triangle({a, b, c});
        if (Norm(Cross(t.e1, t.e2)) > 0.0)
            tris_.push_back({a, b, c});
    }

    // Moeller-Trumbore. sign: +1 where the ray leaves the polygon's outside
    // (the document's face normal is (c2 - c0) x (c1 - c0)), -1 where it enters.
    static bool Intersect(const Tri& t, D3 o, D3 d, double& s, int* sign)
    {
        const D3 p = Cross(d, t.e2);
        const double det = Dot(t.e1, p);
        if (std::fabs(det) < 1e-300)
            return false;
        const double inv = 1.0 / det;
        const D3 tv = o - t.a;
        const double u = Dot(tv, p) * inv;
        if (u < 0.0 || u > 1.0)
            return false;
        const D3 q = Cross(tv, t.e1);
        const double v = Dot(d, q) * inv;
        if (v < 0.0 || u + v > 1.0)
            return false;
        s = Dot(t.e2, q) * inv;
        if (!(s > 0.0))
            return false;
        if (sign)
            *sign = det > 0.0 ? 1 : -1;
        return true;
    }

    // False when the triangles would fill the grid's cells beyond
    // kMaxEntries (huge polygons over and over): no character is made so.
    bool BuildGrid()
    {
        const D3 extent = high_ - low_;
        const double largest = std::max({extent.x, extent.y, extent.z});
        // About 8 triangles a cell, at most 64 cells along the longest side.
        const double volume = std::max(extent.x, largest * 1e-3) * std::max(extent.y, largest * 1e-3) *
                              std::max(extent.z, largest * 1e-3);
        cell_ = std::max(std::cbrt(volume * 8.0 / double(tris_.size())), largest / 64.0);
        for (int i = 0; i < 3; ++i)
            n_[i] = Within(std::ceil((i == 0 ? extent.x : i == 1 ? extent.y : extent.z) / cell_), 1, 256);
        const size_t cells = size_t(n_[0]) * size_t(n_[1]) * size_t(n_[2]);
        // The cells each triangle's box overlaps.
        auto range = [&](const std::array<int32_t, 3>& corners, int lo[3], int hi[3]) {
            const Tri t = Triangle(corners);
            const D3 b = t.a + t.e1, c = t.a + t.e2;
            const double mins[3] = {std::min({t.a.x, b.x, c.x}), std::min({t.a.y, b.y, c.y}),
                                    std::min({t.a.z, b.z, c.z})};
            const double maxs[3] = {std::max({t.a.x, b.x, c.x}), std::max({t.a.y, b.y, c.y}),
                                    std::max({t.a.z, b.z, c.z})};
            const double origin[3] = {low_.x, low_.y, low_.z};
            for (int i = 0; i < 3; ++i) {
                lo[i] = Within((mins[i] - origin[i]) / cell_, 0, n_[i] - 1);
                hi[i] = Within((maxs[i] - origin[i]) / cell_, 0, n_[i] - 1);
            }
        };
        auto forCells = [&](const std::array<int32_t, 3>& corners, auto&& f) {
            int lo[3], hi[3];
            range(corners, lo, hi);
            for (int k = lo[2]; k <= hi[2]; ++k)
                for (int j = lo[1]; j <= hi[1]; ++j)
                    for (int i = lo[0]; i <= hi[0]; ++i)
                        f((size_t(k) * size_t(n_[1]) + size_t(j)) * size_t(n_[0]) + size_t(i));
        };
        uint64_t entries = 0;
        for (const auto& t : tris_) {
            int lo[3], hi[3];
            range(t, lo, hi);
            entries += uint64_t(hi[0] - lo[0] + 1) * uint64_t(hi[1] - lo[1] + 1) * uint64_t(hi[2] - lo[2] + 1);
        }
        if (entries > kMaxEntries)
            return false;
        std::vector<uint32_t> count(cells + 1, 0);
        for (const auto& t : tris_)
            forCells(t, [&](size_t c) { ++count[c + 1]; });
        for (size_t c = 0; c < cells; ++c)
            count[c + 1] += count[c];
        cellStart_ = count;
        cellTris_.resize(count[cells]);
        for (uint32_t i = 0; i < tris_.size(); ++i)
            forCells(tris_[i], [&](size_t c) { cellTris_[count[c]++] = i; });
        stamp_.assign(tris_.size(), 0);
        return true;
    }

    template <class F> void ForTriangles(int cell, F&& f) const
    {
        const uint32_t end = cellStart_[size_t(cell) + 1];
        tests_ += end - cellStart_[size_t(cell)];
        if (Exhausted())
            return;
        for (uint32_t k = cellStart_[size_t(cell)]; k < end; ++k) {
            const uint32_t i = cellTris_[k];
            if (stamp_[i] == ray_)
                continue;
            stamp_[i] = ray_;
            f(i, Triangle(tris_[i]));
        }
    }

    // Visits the grid's cells along the ray, in order, while visit returns
    // true; visit gets the cell and where the ray leaves it.
    template <class F> void Walk(D3 o, D3 d, double reach, F&& visit) const
    {
        if (++ray_ == 0) {
            std::fill(stamp_.begin(), stamp_.end(), 0);
            ray_ = 1;
        }
        const double origin[3] = {low_.x, low_.y, low_.z};
        const double po[3] = {o.x, o.y, o.z}, pd[3] = {d.x, d.y, d.z};
        double t0 = 0.0, t1 = reach;
        for (int i = 0; i < 3; ++i) {
            const double lo = origin[i], hi = origin[i] + n_[i] * cell_;
            if (std::fabs(pd[i]) < 1e-15) {
                if (po[i] < lo || po[i] > hi)
                    return;
                continue;
            }
            double a = (lo - po[i]) / pd[i], b = (hi - po[i]) / pd[i];
            if (a > b)
                std::swap(a, b);
            t0 = std::max(t0, a);
            t1 = std::min(t1, b);
        }
        if (!(t0 <= t1))
            return;
        int c[3], step[3];
        double next[3], delta[3];
        for (int i = 0; i < 3; ++i) {
            const double p = po[i] + pd[i] * t0;
            c[i] = Within((p - origin[i]) / cell_, 0, n_[i] - 1);
            step[i] = pd[i] > 0 ? 1 : -1;
            if (std::fabs(pd[i]) < 1e-15) {
                next[i] = kInf;
                delta[i] = kInf;
            } else {
                const double boundary = origin[i] + (c[i] + (pd[i] > 0 ? 1 : 0)) * cell_;
                next[i] = (boundary - po[i]) / pd[i];
                delta[i] = cell_ / std::fabs(pd[i]);
            }
        }
        for (;;) {
            const int axis = next[0] < next[1] ? (next[0] < next[2] ? 0 : 2) : (next[1] < next[2] ? 1 : 2);
            const int cell = (c[2] * n_[1] + c[1]) * n_[0] + c[0];
            if (!visit(cell, next[axis]) || next[axis] > t1)
                return;
            c[axis] += step[axis];
            if (c[axis] < 0 || c[axis] >= n_[axis])
                return;
            next[axis] += delta[axis];
        }
    }

    const std::vector<Vec3>& vertices_;
    // The vertical lines through the floor plan, kLineX and kLineY of a side
    // off the grid's corners: the stretches each encloses, and whether an open
    // piece crosses it. A piece per triangle.
    struct Stretch {
        uint32_t piece;
        float from, to;
    };
    static constexpr double kLineX = 0.5123, kLineY = 0.4871;
    double side_ = 1.0;
    int columns_[2] = {0, 0};
    std::vector<uint32_t> lineStart_, piece_;
    std::vector<Stretch> stretches_;
    std::vector<uint8_t> openLine_;
    std::vector<std::array<int32_t, 3>> tris_;
    D3 low_, high_;
    double cell_ = 1.0;
    int n_[3] = {1, 1, 1};
    std::vector<uint32_t> cellStart_, cellTris_;
    mutable std::vector<uint32_t> stamp_;
    mutable uint32_t ray_ = 0;
    mutable uint64_t tests_ = 0;
};

// A cross-section of a limb or of the trunk, found by rays from a point
// inside it, square to its axis.
struct Section {
    static constexpr int kRays = 16;
    D3 centre;
    std::array<double, kRays> reach{}; // from centre, infinity where nothing was hit
    std::array<D3, kRays> dir{};
    double radius = 0.0; // mean reach of the rays that hit
    int hits = 0;

    // The widest span across, over the pairs of opposite rays.
    double Width() const
    {
        double w = 0.0;
        for (int k = 0; k < kRays / 2; ++k)
            if (std::isfinite(reach[size_t(k)]) && std::isfinite(reach[size_t(k + kRays / 2)]))
                w = std::max(w, reach[size_t(k)] + reach[size_t(k + kRays / 2)]);
        return w;
    }
    // Widest over narrowest span: a hand or a sheet is flat, an arm round.
    double Flatness() const
    {
        double thinnest = kInf;
        for (int k = 0; k < kRays / 2; ++k)
            thinnest = std::min(thinnest, reach[size_t(k)] + reach[size_t(k + kRays / 2)]);
        return Width() / thinnest;
    }
    // Reach along the ray nearest direction d; the mean reach when that ray
    // found nothing (a gap between a robot's parts).
    double Toward(D3 d) const
    {
        int best = 0;
        for (int k = 1; k < kRays; ++k)
            if (Dot(dir[size_t(k)], d) > Dot(dir[size_t(best)], d))
                best = k;
        return std::isfinite(reach[size_t(best)]) ? reach[size_t(best)] : radius;
    }
};

// Where a standing character's parts are, from the feet up. Heights are
// measured up from the lowest point of the mesh.
class ShapeFitter {
  public:
    explicit ShapeFitter(const CBodyDoc& doc) : mesh_(doc) {}

    bool Fit(FigureFit& fit)
    {
        if (mesh_.Empty())
            return false;
        floor_ = mesh_.High().z;
        height_ = mesh_.High().z - mesh_.Low().z;
        if (!(height_ > 0.0) || !std::isfinite(height_))
            return false;
        mesh_.FindPieces(height_ / 300.0);
        mesh_.Sample(height_ / 150.0, points_, weights_, level_);
        return (FindFeet(false) || (FindBase() && FindFeet(false)) || FindFeet(true)) && FindCrotch() && TraceLegs() && FindCrease() && TraceTrunk() && FindFacing() && TraceArms() &&
               Place(fit) && !mesh_.Exhausted();
    }

  private:
    double UpOf(D3 p) const { return floor_ - p.z; }
    D3 AtHeight(D3 p, double up) const { return {p.x, p.y, floor_ - up}; }
    double H(double share) const { return share * height_; }

    // A plane the rays of a cut stop at, as if it were the surface: between
    // two legs, so that thighs that meet are cut apart.
    struct Wall {
        D3 at, normal; // normal away from the side cut; none when 0
        double Limit(D3 from, D3 dir) const
        {
            const double towards = Dot(dir, normal);
            return towards > 1e-9 ? std::max(Dot(at - from, normal), 0.0) / towards : kInf;
        }
    };

    // Section square to axis through (about) p: rays out to reach (or to the
    // wall), then the centre moved to the middle of the opposite hits, twice.
    Section Cut(D3 p, D3 axis, double reach, const Wall& wall = {}) const
    {
        axis = Unit(axis);
        const D3 helper = std::fabs(axis.z) < 0.9 ? kUp : D3{1.0, 0.0, 0.0};
        const D3 u = Unit(Cross(axis, helper)), v = Cross(axis, u);
        Section s;
        s.centre = p;
        for (int pass = 0; pass < 3; ++pass) {
            s.hits = 0;
            double sum = 0.0;
            for (int k = 0; k < Section::kRays; ++k) {
                const double a = 2.0 * kPi * k / Section::kRays;
                s.dir[size_t(k)] = u * std::cos(a) + v * std::sin(a);
                const double limit = wall.Limit(s.centre, s.dir[size_t(k)]);
                s.reach[size_t(k)] = mesh_.FirstHit(s.centre, s.dir[size_t(k)], std::min(reach, limit));
                if (!std::isfinite(s.reach[size_t(k)]) && limit < reach)
                    s.reach[size_t(k)] = limit;
                if (std::isfinite(s.reach[size_t(k)])) {
                    ++s.hits;
                    sum += s.reach[size_t(k)];
                }
            }
            s.radius = s.hits ? sum / s.hits : 0.0;
            if (pass == 2)
                break;
            D3 shift;
            int pairs = 0;
            for (int k = 0; k < Section::kRays / 2; ++k) {
                const double a = s.reach[size_t(k)], b = s.reach[size_t(k + Section::kRays / 2)];
                if (std::isfinite(a) && std::isfinite(b)) {
                    shift = shift + s.dir[size_t(k)] * (0.5 * (a - b));
                    ++pairs;
                }
            }
            if (pairs < 3)
                break;
            s.centre = s.centre + shift * (1.0 / pairs);
        }
        return s;
    }

    bool FindBase();
    // together: feet whose prints touch are looked for too, by the shins.
    bool FindFeet(bool together);
    bool FindCrotch();
    bool TraceLegs();
    bool FindCrease();
    bool FindFacing();
    bool TraceTrunk();
    bool TraceArms();
    bool Place(FigureFit& fit);

    struct Leg {
        D3 foot;                   // the footprint's centre on the floor
        std::vector<Section> cuts; // up the leg, a hundredth of the height apart, from the floor
        size_t ankleLevel = 0;     // the cut just above the foot
        D3 hip, knee, ankle;
    };
    struct Arm {
        std::vector<Section> cuts; // from the hand's tip in, to the armpit
        std::vector<double> arcs;  // the cuts' distances from the first, along the arm
        D3 line;                   // the upper arm's direction, inwards
        D3 shoulder, elbow, wrist;
    };
    // Cuts square to the vertical, level by level from first towards last,
    // each about where the last one was; stored by level. Returns the last
    // level cut.
    int Climb(D3 from, int first, int last, int dir, int hits, double reach,
              const std::function<void(int, const Section&)>& store, const Wall& wall = {}) const;
    bool TraceArm(D3 tip, D3 towards, D3 out, D3 axis, double hipWidth, Arm& arm) const;
    bool TraceHangingArm(int side, D3 out, D3 axis, double hipWidth, Arm& arm) const;
    bool ArmLike(const Arm& arm) const;
    void PlaceArm(Arm& arm) const;

    RayMesh mesh_;
    double floor_ = 0.0, height_ = 0.0;
    std::vector<D3> points_;
    std::vector<double> weights_;
    std::vector<uint8_t> level_;
    bool onBase_ = false; // floor_ is the top of a base, the base below it left out
    std::array<Leg, 2> legs_{}; // [0] and [1] until the facing tells left from right
    double crotch_ = 0.0;
    D3 across_, forwards_;       // the character's left and facing, horizontal
    std::vector<Section> trunk_; // from the crotch up, a hundredth of the height apart
    double neck_ = 0.0, top_ = 0.0;
    std::array<Arm, 2> arms_{}; // left, right
};

bool ShapeFitter::FindBase()
{
    // A character on a base: low down, a wide level top with little standing
    // on it; the feet are looked for again on that top.
    const double bin = H(0.005);
    constexpr int kBins = 50;
    std::array<double, kBins + 1> area{}, height{};
    for (size_t i = 0; i < points_.size(); ++i) {
        const int k = Within(UpOf(points_[i]) / bin, 0, kBins);
        if (level_[i] && k < kBins) {
            area[size_t(k)] += weights_[i];
            height[size_t(k)] += weights_[i] * UpOf(points_[i]);
        }
    }
    const double cell = H(1.0 / 80.0);
    for (int k = kBins - 2; k >= 1; --k) {
        const double top = area[size_t(k)] + area[size_t(k + 1)];
        if (top < H(0.15) * H(0.15))
            continue;
        const double up = (height[size_t(k)] + height[size_t(k + 1)]) / top;
        // What stands on it: the floor plan's cells a little above it.
        std::vector<int64_t> cells;
        for (const D3& p : points_)
            if (UpOf(p) > up + H(0.01) && UpOf(p) < up + H(0.04))
                cells.push_back(int64_t(Within((p.x - mesh_.Low().x) / cell, 0, 1 << 30)) << 31 |
                                int64_t(Within((p.y - mesh_.Low().y) / cell, 0, 1 << 30)));
        std::sort(cells.begin(), cells.end());
        const double standing = double(std::unique(cells.begin(), cells.end()) - cells.begin()) * cell * cell;
        if (4.0 * standing > top)
            continue;
        floor_ -= up;
        height_ -= up;
        onBase_ = true;
        return height_ > 0.0;
    }
    return false;
}

bool ShapeFitter::FindFeet(bool together)
{
    // The footprint: the surface within a thin band over the lowest point,
    // on a raster of the floor.
    const double band = H(0.03), cell = H(1.0 / 80.0);
    const D3 low = mesh_.Low(), high = mesh_.High();
    const int nx = Within((high.x - low.x) / cell + 1, 1, 512);
    const int ny = Within((high.y - low.y) / cell + 1, 1, 512);
    auto index = [&](D3 p) {
        const int i = Within((p.x - low.x) / cell, 0, nx - 1);
        const int j = Within((p.y - low.y) / cell, 0, ny - 1);
        return size_t(j) * size_t(nx) + size_t(i);
    };
    auto centreOf = [&](size_t c) {
        return D3{low.x + (double(c % size_t(nx)) + 0.5) * cell, low.y + (double(c / size_t(nx)) + 0.5) * cell, floor_};
    };
    // The surface's area between two heights, by cell.
    auto raster = [&](double from, double to) {
        std::vector<double> mass(size_t(nx) * size_t(ny), 0.0);
        for (size_t i = 0; i < points_.size(); ++i) {
            const double up = UpOf(points_[i]);
            if (up > from && up <= to && !(onBase_ && level_[i]))
                mass[index(points_[i])] += weights_[i];
        }
        return mass;
    };
    struct Print {
        double weight = 0.0;
        D3 centre;
    };
    // The cells that touch, as prints, the six largest first; label (if
    // given) gets each cell's print, numbered as found.
    auto printsOf = [&](const std::vector<double>& mass, std::vector<int>* labels = nullptr) {
        std::vector<Print> prints;
        std::vector<int> label(mass.size(), -1), stack;
        for (size_t start = 0; start < mass.size(); ++start) {
            if (mass[start] <= 0.0 || label[start] >= 0)
                continue;
            Print print;
            label[start] = int(prints.size());
            stack.assign(1, int(start));
            while (!stack.empty()) {
                const int c = stack.back();
                stack.pop_back();
                const int ci = c % nx, cj = c / nx;
                print.weight += mass[size_t(c)];
                print.centre = print.centre + centreOf(size_t(c)) * mass[size_t(c)];
                for (int dj = -1; dj <= 1; ++dj)
                    for (int di = -1; di <= 1; ++di) {
                        const int i = ci + di, j = cj + dj;
                        if (i < 0 || j < 0 || i >= nx || j >= ny)
                            continue;
                        const size_t n = size_t(j) * size_t(nx) + size_t(i);
                        if (mass[n] > 0.0 && label[n] < 0) {
                            label[n] = label[start];
                            stack.push_back(int(n));
                        }
                    }
            }
            print.centre = print.centre * (1.0 / print.weight);
            prints.push_back(print);
        }
        if (labels)
            *labels = std::move(label);
        std::sort(prints.begin(), prints.end(), [](const Print& a, const Print& b) { return a.weight > b.weight; });
        prints.resize(std::min<size_t>(prints.size(), 6));
        return prints;
    };
    // The most alike pair of the largest prints, as a and b; false if none.
    auto pairOf = [](const std::vector<Print>& prints, size_t& a, size_t& b) {
        double best = 0.0;
        for (size_t i = 0; i < prints.size(); ++i)
            for (size_t j = i + 1; j < prints.size(); ++j) {
                const double alike = prints[j].weight / prints[i].weight;
                const double score = alike * std::sqrt(prints[j].weight / prints[0].weight);
                if (alike > 0.3 && score > best) {
                    best = score;
                    a = i;
                    b = j;
                }
            }
        return best > 0.0;
    };
    // Four feet or more of a size: an animal, a table, a vehicle.
    auto manyFeet = [](const std::vector<Print>& prints, size_t a, size_t b) {
        const double smaller = std::min(prints[a].weight, prints[b].weight);
        return std::count_if(prints.begin(), prints.end(), [&](const Print& p) { return p.weight > 0.4 * smaller; }) >= 4;
    };
    const std::vector<double> mass = raster(onBase_ ? H(0.003) : -kInf, band);
    std::vector<int> label;
    std::vector<Print> prints = printsOf(mass, &label);
    size_t a = 0, b = 0;
    bool found = pairOf(prints, a, b);
    if (found ? manyFeet(prints, a, b) : !together)
        return false;
    // The shins a little higher up tell the feet apart when their prints
    // touch, and gather each foot's prints (a heel on a post, the toes) when
    // they do not: each print near a shin goes to the nearer, or, when the
    // feet touch, each cell of theirs.
    for (double up = 0.06; up < 0.15; up += 0.04) {
        const std::vector<Print> shins = printsOf(raster(H(up), H(up + 0.02)));
        size_t l = 0, r = 0;
        if (!pairOf(shins, l, r) || std::min(shins[l].weight, shins[r].weight) < 0.6 * std::max(shins[l].weight, shins[r].weight))
            continue;
        if (!found && manyFeet(shins, l, r))
            return false;
        const D3 shin[2] = {{shins[l].centre.x, shins[l].centre.y, floor_}, {shins[r].centre.x, shins[r].centre.y, floor_}};
        // Each cell's shin (0 or 1), -1 for none: the nearer, within reach of a foot.
        auto nearer = [&](size_t c) {
            const double a = Norm(centreOf(c) - shin[0]), b = Norm(centreOf(c) - shin[1]);
            return std::min(a, b) > H(0.13) ? -1 : a < b ? 0 : 1;
        };
        // A print goes whole to a shin when all its cells do.
        std::vector<int> owner(found ? mass.size() : 0, -2);
        for (size_t c = 0; c < owner.size(); ++c)
            if (label[c] >= 0) {
                int& o = owner[size_t(label[c])];
                o = o == -2 || o == nearer(c) ? nearer(c) : -1;
            }
        std::vector<Print> feet(2);
        for (size_t c = 0; c < mass.size(); ++c) {
            const int to = mass[c] <= 0.0 ? -1 : found ? owner[size_t(label[c])] : nearer(c);
            if (to < 0)
                continue;
            feet[size_t(to)].weight += mass[c];
            feet[size_t(to)].centre = feet[size_t(to)].centre + centreOf(c) * mass[c];
        }
        if (!(feet[0].weight > 0.0 && feet[1].weight > 0.0))
            continue;
        for (Print& foot : feet)
            foot.centre = foot.centre * (1.0 / foot.weight);
        prints = feet;
        a = 0;
        b = 1;
        found = true;
        break;
    }
    if (!found)
        return false;
    const double apart = Norm(prints[a].centre - prints[b].centre);
    if (apart < H(0.03) || apart > H(0.6))
        return false;
    legs_[0].foot = prints[a].centre;
    legs_[1].foot = prints[b].centre;
    across_ = Unit(legs_[1].foot - legs_[0].foot);
    forwards_ = Cross(across_, kUp);
    return true;
}

bool ShapeFitter::FindCrotch()
{
    // Straight up from under the floor between the feet, the crotch is where
    // the ray enters the trunk: the longest stretch inside, or one under it
    // that the legs do not go on over (a robot's pelvis apart from its
    // trunk). A skirt's hem is open, a cape hangs behind, and calves or knees
    // that touch have the thighs over them.
    const D3 middle = Lerp(legs_[0].foot, legs_[1].foot, 0.5);
    const double step = H(0.01);
    std::vector<std::array<double, 2>> sides(size_t(height_ / step) + 1, {0.0, 0.0});
    for (size_t i = 0; i < points_.size(); ++i) {
        const double across = Dot(points_[i] - middle, across_), up = UpOf(points_[i]);
        const D3 flat{points_[i].x - middle.x, points_[i].y - middle.y, 0.0};
        if (up >= 0.0 && std::fabs(across) > H(0.01) && Norm(flat) < H(0.2))
            sides[std::min(size_t(up / step), sides.size() - 1)][across < 0.0 ? 0 : 1] += weights_[i];
    }
    auto legsOver = [&](double up) {
        std::array<double, 2> mass{0.0, 0.0};
        for (size_t k = size_t(up / step) + 1; k < std::min(sides.size(), size_t(up / step) + 3); ++k)
            for (int side = 0; side < 2; ++side)
                mass[size_t(side)] += sides[k][size_t(side)];
        return std::min(mass[0], mass[1]) > 0.3 * std::max(mass[0], mass[1]);
    };
    std::vector<double> found;
    for (double f : {-0.02, -0.01, 0.0, 0.01, 0.02}) {
        const D3 start = AtHeight(middle + forwards_ * H(f), -H(0.01));
        double longest = 0.0, crotch = -1.0, first = -1.0;
        for (const auto& [in, out] : mesh_.InsideSpans(start, kUp, false, H(1e-5)))
            if (out - in > longest) {
                longest = out - in;
                crotch = in - H(0.01);
            }
        for (const auto& [in, out] : mesh_.InsideSpans(start, kUp, false, H(1e-5)))
            if (first < 0.0 && in - H(0.01) < crotch && out - in > step && !legsOver(out - H(0.01)))
                first = in - H(0.01);
        if (first > 0.0 || crotch > 0.0)
            found.push_back(first > 0.0 ? first : crotch);
    }
    if (found.size() < 3)
        return false;
    std::nth_element(found.begin(), found.begin() + long(found.size() / 2), found.end());
    crotch_ = found[found.size() / 2];
    return crotch_ > H(0.12) && crotch_ < H(0.75);
}

bool ShapeFitter::TraceLegs()
{
    const double step = H(0.01);
    const int top = int(crotch_ / step) - 1;
    const double start = std::min(H(0.1), 0.5 * crotch_);
    const int first = int(start / step);
    for (int k = 0; k < 2; ++k) {
        Leg& leg = legs_[size_t(k)];
        const D3 other = legs_[size_t(1 - k)].foot;
        // The leg's surface about this height, nearer this foot than the other.
        D3 sum;
        double mass = 0.0;
        for (size_t i = 0; i < points_.size(); ++i) {
            const D3 p = points_[i];
            if (std::fabs(UpOf(p) - first * step) > step)
                continue;
            const D3 flat{p.x, p.y, floor_};
            if (Norm(flat - leg.foot) > Norm(flat - other) || Norm(flat - leg.foot) > H(0.12))
                continue;
            sum = sum + flat * weights_[i];
            mass += weights_[i];
        }
        if (mass <= 0.0)
            return false;
        leg.cuts.assign(size_t(top + 1), Section{});
        const double reach = H(0.15);
        // Halfway between the feet the other leg begins.
        const Wall wall{Lerp(leg.foot, other, 0.5), Unit(other - leg.foot)};
        Section s = Cut(AtHeight(sum * (1.0 / mass), first * step), kUp, reach, wall);
        if (s.hits < 8)
            return false;
        leg.cuts[size_t(first)] = s;
        // Up to the crotch, then down to the floor.
        const auto store = [&](int h, const Section& c) { leg.cuts[size_t(h)] = c; };
        // A thigh may hang a little under the pelvis (a robot's): the last
        // levels below the crotch are then the thigh's top drawn on up.
        const int reached = Climb(s.centre, first + 1, top, 1, 8, reach, store, wall);
        if (reached < top - 4)
            return false;
        for (int h = reached + 1; h <= top; ++h) {
            leg.cuts[size_t(h)] = leg.cuts[size_t(reached)];
            leg.cuts[size_t(h)].centre = AtHeight(leg.cuts[size_t(reached)].centre, h * step);
        }
        Climb(s.centre, first - 1, 0, -1, 8, reach, store, wall);
    }
    return true;
}

bool ShapeFitter::FindCrease()
{
    // Thighs that meet down to the knees (or trousers or a body fused round
    // both) leave a crease between the legs, not a gap: the crotch is a
    // little under where the body gets nearly as deep between the legs as
    // through them.
    const double step = H(0.01);
    auto centreAt = [&](const Leg& leg, double up) { return AtHeight(leg.cuts.back().centre, up); };
    auto depth = [&](D3 p) {
        if (!mesh_.Inside(p))
            return 0.0;
        const double d = mesh_.FirstHit(p, forwards_, H(0.3)) + mesh_.FirstHit(p, forwards_ * -1.0, H(0.3));
        return std::isfinite(d) ? d : 0.0;
    };
    double crease = crotch_;
    for (int k = 1; k <= 35 && crease == crotch_; ++k) {
        const double up = crotch_ + k * step;
        const D3 a = centreAt(legs_[0], up), b = centreAt(legs_[1], up);
        const double legs = 0.5 * (depth(a) + depth(b)), between = depth(Lerp(a, b, 0.5));
        if (legs > 0.0 && between >= 0.9 * legs)
            crease = up;
    }
    // Between legs apart the body gets so deep within four hundredths of the
    // height over the crotch.
    if (crease - crotch_ <= H(0.05) || crease > H(0.75))
        return true;
    crotch_ = crease - step;
    return TraceLegs();
}

int ShapeFitter::Climb(D3 from, int first, int last, int dir, int hits, double reach,
                       const std::function<void(int, const Section&)>& store, const Wall& wall) const
{
    const double step = H(0.01);
    D3 at = from, before = from;
    Section previous;
    int reached = first - dir;
    for (int h = first; dir > 0 ? h <= last : h >= last; h += dir) {
        const D3 guess = at + (at - before) * 0.5;
        Section c = Cut(AtHeight(guess, h * step), kUp, reach, wall);
        // A level or two without the surface all round (a gap between a shoe
        // and a trouser leg, a neck open under a head apart) is bridged.
        int gap = 0;
        while (c.hits < hits && gap < 3 && (dir > 0 ? h + (gap + 1) * dir <= last : h + (gap + 1) * dir >= last)) {
            ++gap;
            c = Cut(AtHeight(guess, (h + gap * dir) * step), kUp, reach, wall);
        }
        if (c.hits < hits)
            break;
        for (int g = 0; g < gap; ++g) {
            previous.centre = AtHeight(Lerp(at, c.centre, (g + 1.0) / (gap + 1.0)), (h + g * dir) * step);
            store(h + g * dir, previous);
        }
        h += gap * dir;
        store(h, c);
        reached = h;
        previous = c;
        before = at;
        at = c.centre;
    }
    return reached;
}

bool ShapeFitter::FindFacing()
{
    const double step = H(0.01);
    // Feet point forwards: each footprint lies ahead of the ankle above it.
    // The foot ends, going up, where the cut stops being much longer than wide.
    double feet = 0.0;
    for (Leg& leg : legs_) {
        size_t k = size_t(std::min(H(0.1), 0.5 * crotch_) / step);
        auto lengthwise = [&](const Section& s) {
            const double length = s.Toward(forwards_) + s.Toward(forwards_ * -1.0);
            const double width = s.Toward(across_) + s.Toward(across_ * -1.0);
            return length > 1.4 * width;
        };
        while (k > 0 && leg.cuts[k - 1].hits > 0 && !lengthwise(leg.cuts[k - 1]))
            --k;
        leg.ankleLevel = k;
        feet += Dot(leg.foot - leg.cuts[std::min(k + 1, leg.cuts.size() - 1)].centre, forwards_);
    }
    // The face stands out in front of the neck, the skull hardly behind it.
    const Section& neck = trunk_[size_t((neck_ - crotch_) / step) - 1];
    const Section& face = trunk_[std::min(size_t((neck_ + 0.3 * (top_ - neck_) - crotch_) / step), trunk_.size() - 1)];
    const double offset = Dot(face.centre - neck.centre, forwards_);
    const double jaw = (offset + face.Toward(forwards_)) - (face.Toward(forwards_ * -1.0) - offset);
    // The feet decide unless they hardly point, then the face; failing both,
    // the way nearer the front the mesh already faces.
    const double front = std::fabs(feet) > H(0.015) ? feet : std::fabs(jaw) > H(0.008) ? jaw : -forwards_.y;
    if (front < 0.0)
        forwards_ = forwards_ * -1.0;
    // The character's left is up x forwards; legs_[0] is the left leg.
    across_ = Cross(kUp, forwards_);
    if (Dot(legs_[1].foot - legs_[0].foot, across_) > 0.0)
        std::swap(legs_[0], legs_[1]);
    return true;
}

bool ShapeFitter::TraceTrunk()
{
    const double step = H(0.01), reach = H(0.7);
    const int first = int(crotch_ / step) + 1;
    Climb(Lerp(legs_[0].cuts.back().centre, legs_[1].cuts.back().centre, 0.5), first, int(height_ / step), 1, 12, reach,
          [&](int h, const Section& c) {
              trunk_.resize(size_t(h - first + 1));
              trunk_.back() = c;
          });
    if (trunk_.size() < 10)
        return false;
    top_ = crotch_ + step * double(trunk_.size());
    // The neck: the narrowest cut between the chest and the head, with the
    // head wider above it.
    std::vector<double> widestAbove(trunk_.size() + 1, 0.0);
    for (size_t k = trunk_.size(); k-- > 0;)
        widestAbove[k] = std::max(widestAbove[k + 1], trunk_[k].radius);
    size_t neck = 0;
    double narrowest = kInf;
    for (size_t k = trunk_.size() * 2 / 5; k + 3 < trunk_.size(); ++k)
        if (trunk_[k].radius < narrowest && widestAbove[k + 1] > 1.25 * trunk_[k].radius) {
            narrowest = trunk_[k].radius;
            neck = k;
        }
    if (neck != 0) {
        // A neck of one girth (a tube) has its middle taken, whatever the cuts' noise.
        size_t low = neck, high = neck;
        while (low > 0 && trunk_[low - 1].radius < 1.05 * narrowest)
            --low;
        while (high + 4 < trunk_.size() && trunk_[high + 1].radius < 1.05 * narrowest)
            ++high;
        neck = (low + high) / 2;
    }
    // A head narrower than the shoulders on no neck (a robot's): the neck is
    // where the trunk's girth falls away, a head's height under the top.
    for (size_t k = trunk_.size() / 2; neck == 0 && k + 3 < trunk_.size(); ++k) {
        const double head = double(trunk_.size() - k) * step;
        if (trunk_[k + 1].radius < 0.75 * trunk_[k].radius && head > H(0.06) && head < H(0.25))
            neck = k;
    }
    if (neck == 0)
        return false;
    neck_ = crotch_ + step * double(neck + 1);
    return true;
}

bool ShapeFitter::TraceArm(D3 tip, D3 towards, D3 out, D3 axis, double hipWidth, Arm& arm) const
{
    // Start from the middle of the surface round the tip: inside a flat hand.
    D3 sum;
    double mass = 0.0;
    for (size_t i = 0; i < points_.size(); ++i)
        if (Norm(points_[i] - tip) < H(0.03)) {
            sum = sum + points_[i] * weights_[i];
            mass += weights_[i];
        }
    D3 along = Unit(towards - tip);
    D3 p = sum * (1.0 / mass);
    for (int n = 0, gap = 0; n < 150; ++n) {
        const Section c = Cut(p, along, H(0.15));
        if (arm.cuts.empty() && (c.hits < 8 || !mesh_.Inside(c.centre))) {
            if (n >= 12)
                return false;
            p = p + along * H(0.005); // not yet in the hand
            continue;
        }
        // A gap or two between the parts of a jointed limb is stepped over.
        if (c.hits < 8 && gap < 3) {
            ++gap;
            p = p + along * H(0.01);
            continue;
        }
        gap = 0;
        // Lost, or a cut much wider than the arm before it: the chest's. A
        // hanging arm ends so; one held out must have reached its armpit
        // first, or end in the air, far from the hand (a robot's, apart from
        // its trunk).
        const bool steep = std::fabs(Dot(arm.line, kUp)) > 0.75;
        if (c.hits < 8)
            return (steep || arm.arcs.back() > H(0.25)) && arm.arcs.back() > H(0.2) && ArmLike(arm);
        if (Dot(c.centre - axis, out) < 0.5 * hipWidth)
            return steep && arm.arcs.back() > H(0.2) && ArmLike(arm);
        if (arm.arcs.size() > 3 && arm.arcs.back() > H(0.12) && c.radius > 1.6 * arm.cuts.back().radius)
            return (steep || arm.arcs.back() > H(0.2)) && ArmLike(arm);
        // A hanging arm against the trunk's side: the cut swells as it takes the
        // trunk in; the line of the arm clear of it goes on up to the shoulder.
        if (steep && arm.arcs.back() > H(0.12)) {
            std::vector<double> round;
            for (size_t i = arm.cuts.size(); i-- > 0 && arm.arcs.back() - arm.arcs[i] < H(0.08);)
                if (arm.cuts[i].Flatness() < 1.5)
                    round.push_back(arm.cuts[i].radius);
            if (round.size() >= 3) {
                std::nth_element(round.begin(), round.begin() + long(round.size() / 2), round.end());
                if (c.radius > 1.25 * round[round.size() / 2])
                    return ArmLike(arm);
            }
        }
        arm.arcs.push_back(arm.cuts.empty() ? 0.0 : arm.arcs.back() + Norm(c.centre - arm.cuts.back().centre));
        arm.cuts.push_back(c);
        const size_t count = arm.cuts.size();
        if (count >= 4) {
            const D3 seen = c.centre - arm.cuts[count - 4].centre;
            if (Norm(seen) > 0.0)
                along = Unit(along * 0.5 + Unit(seen) * 0.5);
        }
        if (arm.arcs.back() > H(0.12)) {
            // The upper arm's line, over the last tenth of the height.
            size_t back = count - 1;
            while (back > 0 && arm.arcs.back() - arm.arcs[back] < H(0.1))
                --back;
            arm.line = Unit(c.centre - arm.cuts[back].centre);
            // The armpit: the body just under the arm, square to it (down for
            // a T, in for arms hanging).
            D3 inwards = Unit(Cross(arm.line, forwards_));
            if (Dot(inwards, kUp) + Dot(inwards, out) > 0.0)
                inwards = inwards * -1.0;
            // Something under the arm far out beside the hips is no chest (a
            // hanging sleeve, a strand of hair).
            if (std::fabs(Dot(arm.line, kUp)) <= 0.75 && Dot(c.centre - axis, out) < 1.8 * hipWidth &&
                mesh_.Inside(c.centre + inwards * (c.radius * 1.3 + H(0.005))))
                return ArmLike(arm);
        }
        p = c.centre + along * H(0.01);
    }
    return false;
}

bool ShapeFitter::TraceArms()
{
    const double step = H(0.01);
    const Section& hips = trunk_[std::min<size_t>(4, trunk_.size() - 1)];
    const double hipWidth = 0.5 * (hips.Toward(across_) + hips.Toward(across_ * -1.0));
    const D3 axis = trunk_[size_t((neck_ - crotch_) / step) - 1].centre;
    std::array<bool, 2> traced{};
    for (int k = 0; k < 2; ++k) {
        Arm& arm = arms_[size_t(k)];
        const D3 out = k == 0 ? across_ : across_ * -1.0;
        // Arms held out: the hand's tip is the farthest point out between the
        // thighs (long legs in an A pose) and the neck, within the chest's
        // depth (wings and capes spread behind). What is traced from there may be a blade or a ribbon rather
        // than an arm: then the farthest point away from it is tried.
        const Section& chest = trunk_[size_t(std::max(0.0, neck_ - H(0.1) - crotch_) / step)];
        const double depth = 1.5 * std::max(chest.Toward(forwards_), chest.Toward(forwards_ * -1.0));
        std::vector<D3> tried;
        bool spread = false;
        while (!spread && tried.size() < 3) {
            double farthest = -kInf;
            D3 tip;
            for (size_t i = 0; i < points_.size(); ++i) {
                const D3 p = points_[i];
                const double up = UpOf(p), d = Dot(p - axis, out);
                if (up > std::max(crotch_ - H(0.15), 0.6 * crotch_) && up < neck_ && d > farthest &&
                    std::fabs(Dot(p - axis, forwards_)) < depth &&
                    std::none_of(tried.begin(), tried.end(), [&](D3 t) { return Norm(t - p) < H(0.1); })) {
                    farthest = d;
                    tip = p;
                }
            }
            if (!(farthest > 2.2 * hipWidth && farthest > H(0.2)))
                break;
            tried.push_back(tip);
            arm = Arm{};
            spread = TraceArm(tip, AtHeight(axis + out * (1.3 * hipWidth), neck_ - H(0.06)), out, axis, hipWidth, arm);
        }
        traced[size_t(k)] = spread || TraceHangingArm(k, out, axis, hipWidth, arm);
        if (traced[size_t(k)])
            PlaceArm(arm);
    }
    // An arm lost in what it holds (a shield, a weapon grown into the hand)
    // is taken to mirror the other.
    if (traced[0] == traced[1])
        return traced[0];
    const Arm& from = arms_[traced[0] ? 0 : 1];
    Arm& to = arms_[traced[0] ? 1 : 0];
    auto mirrored = [&](D3 p) { return p - across_ * (2.0 * Dot(p - axis, across_)); };
    to.shoulder = mirrored(from.shoulder);
    to.elbow = mirrored(from.elbow);
    to.wrist = mirrored(from.wrist);
    return true;
}

bool ShapeFitter::TraceHangingArm(int side, D3 out, D3 axis, double hipWidth, Arm& arm) const
{
    // Arms down: the hand is the lowest thing standing clear of the body's
    // side, beside the hips or the thighs.
    const double step = H(0.01);
    // Beside the body: out past the leg or the trunk at the same height, and
    // within the trunk's depth, or a little ahead of it (arms swung
    // forwards; a cape hangs behind). Per level of height:
    // the centre, how far out the body reaches, and its depth.
    struct Level {
        D3 centre;
        double reach = kInf, depth = 0.0;
    };
    const size_t levels = size_t(neck_ / step) + 1;
    std::vector<Level> level(levels);
    for (size_t k = 0; k < levels; ++k) {
        const double up = double(k) * step;
        const Section& trunk = trunk_[std::min(size_t(std::max(up - crotch_, 0.0) / step), trunk_.size() - 1)];
        const Leg& leg = legs_[size_t(side)];
        const Section& s = up < crotch_ ? leg.cuts[std::min(k, leg.cuts.size() - 1)] : trunk;
        if (s.hits > 0)
            level[k] = {s.centre, Dot(s.centre, out) + s.Toward(out),
                        0.5 * (trunk.Toward(forwards_) + trunk.Toward(forwards_ * -1.0))};
        level[k].centre = trunk.centre;
    }
    // The reach the widest of the levels round each: a cut that misses the
    // side of a knee or a joint between parts leaves the leg no narrower.
    std::vector<double> widest(levels, -kInf);
    for (size_t k = 0; k < levels; ++k)
        for (size_t n = k >= 3 ? k - 3 : 0; n < std::min(levels, k + 4); ++n)
            widest[k] = std::max(widest[k], std::isfinite(level[n].reach) ? level[n].reach : -kInf);
    for (size_t k = 0; k < levels; ++k)
        level[k].reach = std::max(level[k].reach, widest[k]);
    std::vector<std::pair<double, size_t>> clear;
    for (size_t i = 0; i < points_.size(); ++i) {
        const double up = UpOf(points_[i]);
        if (up < crotch_ - H(0.25) || up > neck_ - H(0.1))
            continue;
        const Level& l = level[std::min(size_t(std::max(up, 0.0) / step), levels - 1)];
        const double ahead = Dot(points_[i] - l.centre, forwards_);
        if (Dot(points_[i], out) > l.reach + H(0.015) && ahead >= -l.depth && ahead <= l.depth + H(0.1))
            clear.emplace_back(up, i);
    }
    std::sort(clear.begin(), clear.end());
    // The lowest that leads up an arm: a skirt's hem or a strand of hair does not.
    std::vector<D3> tried;
    for (const auto& [up, i] : clear) {
        const D3 tip = points_[i];
        if (tried.size() >= 3)
            break;
        if (std::any_of(tried.begin(), tried.end(), [&](D3 t) { return Norm(t - tip) < H(0.15); }))
            continue;
        tried.push_back(tip);
        arm = Arm{};
        if (TraceArm(tip, AtHeight(tip - out * H(0.03), up + H(0.3)), out, axis, hipWidth, arm))
            return true;
    }
    return false;
}

bool ShapeFitter::ArmLike(const Arm& arm) const
{
    // Past the hand an arm is round and thick: not a cape's edge or a ribbon.
    std::vector<double> flatness;
    for (size_t i = 0; i < arm.cuts.size(); ++i)
        if (arm.arcs[i] > 0.5 * arm.arcs.back()) {
            if (arm.cuts[i].radius < H(0.01))
                return false;
            flatness.push_back(arm.cuts[i].Flatness());
        }
    if (flatness.empty())
        return false;
    std::nth_element(flatness.begin(), flatness.begin() + long(flatness.size() / 2), flatness.end());
    return flatness[flatness.size() / 2] < 2.0;
}

void ShapeFitter::PlaceArm(Arm& arm) const
{
    const Section& pit = arm.cuts.back();
    const double r = pit.radius;
    const double sine = std::fabs(Dot(arm.line, kUp));
    double in = 0.0;
    if (sine < 0.75) {
        // Held out: the shoulder stands in from the armpit, the more so the
        // steeper the arm.
        const double cosine = std::sqrt(1.0 - sine * sine);
        in = std::min((kArmpitIn * r + (1.3 * r + H(0.005)) * sine) / cosine, 3.0 * r);
    } else {
        // Hanging: the shoulder is under the top of the shoulder, up the arm's line.
        const auto spans = mesh_.InsideSpans(pit.centre, arm.line, true, H(1e-5));
        if (!spans.empty())
            in = std::max(spans.front().second - r, 0.0);
    }
    arm.shoulder = pit.centre + arm.line * in;
    const double length = arm.arcs.back() + in;
    // Points along the arm from the tip, the traced cuts and then the line on.
    auto at = [&](double arc) {
        if (arc >= arm.arcs.back())
            return pit.centre + arm.line * (arc - arm.arcs.back());
        size_t i = 0;
        while (arm.arcs[i + 1] < arc)
            ++i;
        const double span = arm.arcs[i + 1] - arm.arcs[i];
        return Lerp(arm.cuts[i].centre, arm.cuts[i + 1].centre, span > 0.0 ? (arc - arm.arcs[i]) / span : 0.0);
    };

    // The wrist: where the flat hand (past round fingers, if any) turns into
    // the round forearm.
    size_t wrist = 0;
    bool flat = false;
    while (wrist + 1 < arm.cuts.size() && arm.arcs[wrist] < 0.45 * length &&
           (!flat || arm.cuts[wrist].Flatness() > 1.5)) {
        flat = flat || arm.cuts[wrist].Flatness() > 1.6;
        ++wrist;
    }
    const double wristArc =
        arm.arcs[wrist] < 0.45 * length ? arm.arcs[wrist] + kWristIn * arm.cuts[wrist].radius : 0.25 * length;
    arm.wrist = at(wristArc);
    // The elbow a little short of halfway from the wrist to the shoulder.
    arm.elbow = at(wristArc + 0.47 * (length - wristArc));
}

bool ShapeFitter::Place(FigureFit& fit)
{
    const double step = H(0.01);
    fit = FigureFit{};
    auto set = [&](int joint, D3 p) {
        fit.joint[size_t(joint)] = Vec3::FromDouble(p.x, p.y, p.z);
        fit.placed.set(size_t(joint));
    };
    // Legs: the ankle at the top of the foot, the hip over the crotch on the
    // line of the thigh, the knee halfway between.
    for (int k = 0; k < 2; ++k) {
        Leg& leg = legs_[size_t(k)];
        const size_t last = leg.cuts.size() - 1;
        leg.ankle = leg.cuts[std::min(leg.ankleLevel, last)].centre;
        // The thigh's depth a little under the crotch, where nothing else is cut.
        const size_t below = size_t(std::max(0.0, crotch_ - H(0.03)) / step);
        const Section& thigh = leg.cuts[std::min(below, last)];
        const double depth = thigh.Toward(forwards_) + thigh.Toward(forwards_ * -1.0);
        const double hipUp = crotch_ + kHipUp * depth;
        const double kneeUp = 0.5 * (hipUp + UpOf(leg.ankle));
        const size_t kneeLevel = std::min(size_t(kneeUp / step), last);
        leg.knee = AtHeight(leg.cuts[kneeLevel].centre, kneeUp);
        // The hip on the thigh's line from the knee, drawn up from clear of the crotch.
        const size_t upper = std::min(size_t(std::max(0.0, crotch_ - H(0.06)) / step), last);
        const D3 from = leg.cuts[upper].centre;
        const double span = UpOf(from) - UpOf(leg.knee);
        leg.hip = span > H(0.02) ? Lerp(leg.knee, from, (hipUp - UpOf(leg.knee)) / span) : AtHeight(from, hipUp);
    }
    for (size_t s = 0; s < 2; ++s) {
        const int* joints = kLimbJoints[s];
        for (const auto& [k, at] : {std::pair{0, arms_[s].shoulder}, {1, arms_[s].elbow}, {2, arms_[s].wrist},
                                    {3, legs_[s].hip}, {4, legs_[s].knee}, {5, legs_[s].ankle}})
            set(joints[k], at);
    }
    auto trunkAt = [&](double up) {
        const size_t k = size_t(std::clamp((up - crotch_) / step - 1.0, 0.0, double(trunk_.size() - 1)));
        return AtHeight(trunk_[k].centre, up);
    };
    const double shoulders = 0.5 * (UpOf(arms_[0].shoulder) + UpOf(arms_[1].shoulder));
    const double hips = 0.5 * (UpOf(legs_[0].hip) + UpOf(legs_[1].hip));
    set(kWaist, trunkAt(hips + 0.45 * (shoulders - hips)));
    set(kNeck, trunkAt(std::max(shoulders, neck_ - H(0.02))));
    set(kHead, trunkAt(neck_ + 0.35 * (top_ - neck_)));

    // The left-right line from the pairs of joints, the longest counting most.
    D3 left;
    for (auto [l, r] :
         {std::pair{kHandNeg, kHandPos}, std::pair{kElbowNeg, kElbowPos}, std::pair{kShoulderNeg, kShoulderPos},
          std::pair{kHipNeg, kHipPos}, std::pair{kKneeNeg, kKneePos}})
        left = left + (FromVec(fit.joint[size_t(l)]) - FromVec(fit.joint[size_t(r)]));
    left.z = 0.0;
    if (Dot(left, across_) <= 0.0)
        return false;
    const D3 facing = Cross(Unit(left), kUp);
    fit.turn = -0.5 * kPi - std::atan2(facing.y, facing.x);
    while (fit.turn > kPi)
        fit.turn -= 2.0 * kPi;
    while (fit.turn <= -kPi)
        fit.turn += 2.0 * kPi;
    return true;
}

} // namespace

bool FitFromShape(const CBodyDoc& doc, FigureFit& fit)
{
    return ShapeFitter(doc).Fit(fit);
}

} // namespace qm
