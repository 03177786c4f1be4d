#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "scene/BodyDoc.h"
#include "tools/P3.h"

namespace qm::tubes {

using namespace sketch;

constexpr double kPi = 3.14159265358979323846;

// One cross-section of a part: its centre and its half-sizes along the part's
// "across" direction and along the third direction.
struct Key {
    P3 centre;
    double across = 0.0;
    double other = 0.0;
};

// A closed tube swept through its keys, with rounded ends (or, open, without
// them: a sleeve or a skirt).
struct Part {
    std::vector<Key> keys;
    P3 across;  // made square to the path at every ring
    struct Grid {
        int sides, rings;  // rings along the path, both end keys included
        int capRings;      // steps of each rounded end, from the end ring to its pole
    } grid{16, 8, 4};
    struct Caps {
        double start, end;  // how far each rounded end reaches beyond its key
    } caps{0.2, 0.2};
    double squareness = 2.0;  // 2 gives ellipses, more gives rounded boxes
    bool open = false;
    std::function<int32_t(const P3& ringCentre)> group;
    std::function<int32_t(const P3& polygonCentre)> colour;
};

struct Mesh {
    std::vector<P3> vertices;
    std::vector<int32_t> groups;
    std::vector<PolygonCorners> polygons;
    std::vector<int32_t> colours;
};

void AddPart(Mesh& mesh, const Part& part);

} // namespace qm::tubes
