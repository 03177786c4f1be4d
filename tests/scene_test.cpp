#include <cmath>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::CountLinksInUse;
using test::CountNodesInUse;
using test::ExpectNear;

class SceneTest : public ::testing::Test {
  protected:
    SceneTest() { doc.ResetScene(); }
    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(SceneTest, DefaultColourTable)
{
    // 0-10 fixed, then 24 hues of 10 shades each (full, paler, and at 0.8 to
    // 0.2 of both), then five greys.
    const struct {
        int entry;
        Rgb colour;
    } rows[] = {
        {0, {1, 1, 1}},
        {1, {1, 0, 0}},
        {4, {0, 1, 1}},
        {6, {1, 0, 1}},
        {10, {1, 1, 1}},
        {11, {1, 0, 0}},
        {12, {1, 0.5f, 0.5f}},
        {13, {0.8f, 0, 0}},
        {20, {0.2f, 0.1f, 0.1f}},
        {21, {1, 0.25f, 0}},
        {131, {0, 1, 1}},
        {250, {0.2f, 0.1f, 0.125f}},
        {251, {1.0f / 6, 1.0f / 6, 1.0f / 6}},
        {255, {5.0f / 6, 5.0f / 6, 5.0f / 6}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(doc.colourTable[static_cast<size_t>(row.entry)], row.colour) << "entry " << row.entry;

    // The table belongs to the scene's look, not its reset.
    doc.colourTable[40] = {0.1f, 0.2f, 0.3f};
    doc.ResetScene();
    EXPECT_EQ(doc.colourTable[40], (Rgb{0.1f, 0.2f, 0.3f}));
    doc.colourTable[0] = {0.5f, 0.5f, 0.5f};
    EXPECT_EQ(doc.GetColour(300), doc.colourTable[0]) << "outside the table reads entry 0";
    EXPECT_EQ(doc.GetColour(-1), doc.colourTable[0]);
}

TEST_F(SceneTest, ResetLeavesOnlyFigureZero)
{
    AddVertex(doc, Vec3(1, 2, 3));
    doc.AddFigure();
    const int extra = AllocNode(doc.pools);
    doc.pools.nodes[static_cast<size_t>(extra)].selected = 1;
    doc.sheets[3].active = 1;

    doc.ResetScene();
    EXPECT_EQ(doc.vertexCount, 0);
    EXPECT_EQ(doc.polygonCount, 0);
    EXPECT_EQ(CountNodesInUse(doc), 30);
    EXPECT_EQ(CountLinksInUse(doc), 25);
    EXPECT_EQ(doc.pools.nodes[static_cast<size_t>(extra)].selected, 0);
    EXPECT_EQ(doc.figures[1].active, 0);
    EXPECT_EQ(doc.sheets[3].active, 0);
    EXPECT_EQ(doc.VertexCapacity(), kInitialVertexReserve + kArraySurplus);
}

TEST_F(SceneTest, GrowMeshGrowsOnlyPastTheReserveAndKeepsContents)
{
    for (int i = 0; i < kInitialVertexReserve; ++i)
        AddVertex(doc, Vec3(float(i), 0, 0), i);
    EXPECT_EQ(doc.VertexCapacity(), kInitialVertexReserve + kArraySurplus) << "equal to the reserve: no growth";
    AddVertex(doc, Vec3(40, 0, 0), 40);
    EXPECT_EQ(doc.vertexReserve, 1041);
    EXPECT_EQ(doc.VertexCapacity(), 3041);
    EXPECT_EQ(doc.restVertices[39], Vec3(39, 0, 0));
    EXPECT_EQ(doc.vertexGroup[39], 39);

    for (int i = 0; i < 11; ++i)
        AddPolygon(doc, 0, 1, 2, 3, i);
    EXPECT_EQ(doc.polygonReserve, 1011);
    EXPECT_EQ(int(doc.polygonCorners.size()), 1511);
    EXPECT_EQ(doc.polygonColour[9], 9);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SceneTest, GrowMeshOutOfMemoryDiscardsTheMeshAndSaysSo)
{
    AddVertex(doc, Vec3(1, 1, 1));
    doc.polygonCount = kMaxMeshEntries + 1; // a count no memory could hold
    EXPECT_TRUE(doc.GrowMesh());
    EXPECT_EQ(doc.vertexCount, 0);
    EXPECT_EQ(doc.polygonCount, 0);
    EXPECT_EQ(doc.vertexReserve, 40);
    EXPECT_EQ(doc.PolygonCapacity(), 2010);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], strings::kOutOfMemory);
}

TEST_F(SceneTest, NormalsFollowCornerOrderAndSkipDegeneratePolygons)
{
    // Square in the z = 0 plane, corners counter-clockwise seen from +z.
    for (Vec3 p : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0), Vec3(2, 0, 0), Vec3(3, 0, 0)})
        AddVertex(doc, p);
    AddPolygon(doc, 0, 1, 2, 3);
    AddPolygon(doc, 1, 4, 5, 5);     // all on the x axis: no normal
    AddPolygon(doc, 0, 1, 2, 99999); // corners outside the mesh: ignored
    AddPolygon(doc, -5, 1, 2, 2);
    doc.RecomputeNormals();

    // (p2 - p0) x (p1 - p0) points to -z for this winding.
    ExpectNear(doc.faceNormals[0], 0, 0, -1);
    EXPECT_EQ(doc.faceNormals[2], Vec3());
    ExpectNear(doc.vertexNormals[0], 0, 0, -1);
    ExpectNear(doc.reversedNormals[0], 0, 0, 1);
    // 1 is in both; the degenerate polygon adds nothing (not even NaN).
    ExpectNear(doc.vertexNormals[1], 0, 0, -1);
    // 4 and 5 are only in the degenerate polygon.
    ExpectNear(doc.vertexNormals[4], 1, 0, 0);
    ExpectNear(doc.reversedNormals[5], -1, 0, 0);

    doc.FlipAllPolygons();
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{2, 1, 0, 3}));
    ExpectNear(doc.faceNormals[0], 0, 0, 1);
    ExpectNear(doc.vertexNormals[0], 0, 0, 1);
}

TEST_F(SceneTest, RepeatedCornerCountsTwice)
{
    // Vertex 2 is shared by a triangle (0, 1, 2, 2) facing -z and a quad facing +x.
    for (Vec3 p : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 1, 1), Vec3(0, 0, 1)})
        AddVertex(doc, p);
    AddPolygon(doc, 0, 1, 2, 2);
    AddPolygon(doc, 2, 0, 4, 3);
    doc.RecomputeNormals();
    ExpectNear(doc.faceNormals[0], 0, 0, -1);
    const Vec3 n2 = doc.faceNormals[1];
    ASSERT_NEAR(std::fabs(n2.x), 1.0, 1e-6);
    // 2 x (0, 0, -1) + (+-1, 0, 0), normalised.
    ExpectNear(doc.vertexNormals[2], n2.x / std::sqrt(5.0), 0, -2 / std::sqrt(5.0));
}

TEST_F(SceneTest, BindingWithoutGroupsTakesNearestNodeInUse)
{
    doc.ViewState().groupBinding = false;
    const int free = AllocNode(doc.pools); // a free node at the origin, index 30
    ASSERT_EQ(free, 30);
    const int v = AddVertex(doc, Vec3(0.01f, 0, 0));
    const int w = AddVertex(doc, Vec3(0, -0.54f, 2.1f)); // exactly on node 0
    doc.BindMeshToNodes();
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], 30);
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(w)], 0);

    // With every candidate out of use, node 0 takes every vertex, in use or not.
    for (SceneNode& n : doc.pools.nodes)
        n.inUse = 0;
    doc.BindMeshToNodes();
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], 0);

    // Ties keep the lower index.
    doc.ResetScene();
    doc.ViewState().groupBinding = false;
    const int a = AllocNode(doc.pools), b = AllocNode(doc.pools);
    doc.pools.nodes[static_cast<size_t>(a)].restPosition = Vec3(100, 1, 0);
    doc.pools.nodes[static_cast<size_t>(b)].restPosition = Vec3(100, -1, 0);
    const int t = AddVertex(doc, Vec3(100, 0, 0));
    doc.BindMeshToNodes();
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(t)], a);
}

TEST_F(SceneTest, GroupBindingUsesCentroidsAndOnlyFigureJoints)
{
    ASSERT_TRUE(doc.ViewState().groupBinding); // the view's initial state
    AllocNode(doc.pools);                      // node 30 at the origin
    // Group 7 is centred by the +x hand (6, 0.137, -0.54); v on its own is nearer the elbow.
    const int v = AddVertex(doc, Vec3(4.5f, 0, -0.5f), 7);
    AddVertex(doc, Vec3(7.5f, 0, -0.5f), 7);
    // Group 300 is outside the table: bound by its own position.
    const int stray = AddVertex(doc, Vec3(0.01f, 0, 0), 300);
    doc.BindMeshToNodes();

    ExpectNear(doc.groupCentroids[7], 6, 0, -0.5);
    EXPECT_EQ(doc.groupCentroids[9], Vec3());
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], kHandPos);
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(stray)], kNeck); // node 30 is no candidate

    doc.ViewState().groupBinding = false;
    doc.BindMeshToNodes();
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], kElbowPos);
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(stray)], 30);
}

TEST_F(SceneTest, ModelScaleIsBakedIntoTheMeshAndReset)
{
    SceneViewState view;
    view.modelScale = 2.5f;
    doc.AttachViewState(&view);
    doc.ApplyModelScale(); // no mesh: only the scale resets
    EXPECT_EQ(view.modelScale, 1.0f);

    AddVertex(doc, Vec3(1, -2, 4));
    const Vec3 node0 = doc.pools.nodes[0].restPosition;
    view.modelScale = 2.0f;
    doc.ApplyModelScale();
    EXPECT_EQ(doc.restVertices[0], Vec3(2, -4, 8));
    EXPECT_EQ(view.modelScale, 1.0f);
    EXPECT_EQ(doc.pools.nodes[0].restPosition, node0);
    doc.AttachViewState(nullptr);
}

} // namespace
} // namespace qm
