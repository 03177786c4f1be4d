#pragma once

#include <initializer_list>

#include <gtest/gtest.h>

#include "scene/BodyDoc.h"

namespace qm::test {

// Appends vertices and polygons the way the importers do: raise the count,
// grow, store.
inline int AddVertex(CBodyDoc& doc, Vec3 p, int group = 0)
{
    const int v = doc.vertexCount++;
    doc.GrowMesh();
    doc.restVertices[static_cast<size_t>(v)] = p;
    doc.vertexGroup[static_cast<size_t>(v)] = group;
    return v;
}

inline int AddPolygon(CBodyDoc& doc, int a, int b, int c, int d, int colour = 0)
{
    const int p = doc.polygonCount++;
    doc.GrowMesh();
    doc.polygonCorners[static_cast<size_t>(p)] = {a, b, c, d};
    doc.polygonColour[static_cast<size_t>(p)] = colour;
    return p;
}

inline void ExpectNear(const Vec3& v, double x, double y, double z, double tolerance = 1e-5)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

inline int CountNodesInUse(const CBodyDoc& doc)
{
    int n = 0;
    for (const SceneNode& node : doc.pools.nodes)
        n += node.inUse ? 1 : 0;
    return n;
}

inline int CountLinksInUse(const CBodyDoc& doc)
{
    int n = 0;
    for (const SceneLink& link : doc.pools.links)
        n += link.inUse ? 1 : 0;
    return n;
}

} // namespace qm::test
