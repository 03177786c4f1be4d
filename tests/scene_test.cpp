#include <cmath>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::ExpectNear;

class SceneTest : public ::testing::Test {
  protected:
    SceneTest() { doc.ResetScene(); }
    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(SceneTest, GrowMeshOutOfMemoryDiscardsTheMeshAndSaysSo)
{
    AddVertex(doc, Vec3(1, 1, 1));
    doc.polygonCount = kMaxMeshEntries + 1;  // a count no memory could hold
    EXPECT_TRUE(doc.GrowMesh());
    EXPECT_EQ(doc.vertexCount + doc.polygonCount, 0);
    EXPECT_EQ(doc.PolygonCapacity(), 2010);
    EXPECT_EQ(messages.shown, std::vector<std::string>{strings::kOutOfMemory});
}

// Normals follow the corner order; polygons without area or with corners
// outside the mesh add nothing, not even NaN.
TEST_F(SceneTest, NormalsFollowCornerOrderAndSkipBadPolygons)
{
    for (Vec3 p : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0), Vec3(2, 0, 0), Vec3(3, 0, 0)})
        AddVertex(doc, p);
    AddPolygon(doc, 0, 1, 2, 3);
    AddPolygon(doc, 1, 4, 5, 5);
    AddPolygon(doc, 0, 1, 2, 99999);
    AddPolygon(doc, -5, 1, 2, 2);
    doc.RecomputeNormals();
    ExpectNear(doc.faceNormals[0], 0, 0, -1);
    EXPECT_EQ(doc.faceNormals[2], Vec3());
    ExpectNear(doc.vertexNormals[1], 0, 0, -1);
    ExpectNear(doc.reversedNormals[1], 0, 0, 1);
    ExpectNear(doc.vertexNormals[4], 1, 0, 0);

    doc.FlipAllPolygons();
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{2, 1, 0, 3}));
    ExpectNear(doc.vertexNormals[0], 0, 0, 1);
}

} // namespace
} // namespace qm
