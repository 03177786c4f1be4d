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

void ExpectRgb(const Rgb& c, float r, float g, float b, const char* what)
{
    EXPECT_FLOAT_EQ(c.r, r) << what;
    EXPECT_FLOAT_EQ(c.g, g) << what;
    EXPECT_FLOAT_EQ(c.b, b) << what;
}

void ExpectNear(const Vec3& v, double x, double y, double z)
{
    EXPECT_NEAR(v.x, x, 1e-6);
    EXPECT_NEAR(v.y, y, 1e-6);
    EXPECT_NEAR(v.z, z, 1e-6);
}

class SceneTest : public ::testing::Test {
protected:
    SceneTest() { doc.ResetScene(); }
    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(SceneTest, DefaultColourTable)
{
    const auto& t = doc.colourTable;
    ExpectRgb(t[0], 1, 1, 1, "0 white");
    ExpectRgb(t[1], 1, 0, 0, "1 red");
    ExpectRgb(t[4], 0, 1, 1, "4 cyan");
    ExpectRgb(t[6], 1, 0, 1, "6 magenta");
    ExpectRgb(t[10], 1, 1, 1, "7-10 white");
    ExpectRgb(t[11], 1, 0, 0, "hue 1 full");
    ExpectRgb(t[12], 1, 0.5f, 0.5f, "hue 1 full, paler");
    ExpectRgb(t[13], 0.8f, 0, 0, "hue 1 at 0.8");
    ExpectRgb(t[20], 0.2f, 0.1f, 0.1f, "entry 20 is hue 1, paler, at 0.2");
    ExpectRgb(t[21], 1, 0.25f, 0, "hue 2 full");
    ExpectRgb(t[131], 0, 1, 1, "hue 13 full");
    ExpectRgb(t[250], 0.2f, 0.1f, 0.125f, "entry 250 is hue 24, paler, at 0.2");
    ExpectRgb(t[251], 1.0f / 6, 1.0f / 6, 1.0f / 6, "first grey");
    ExpectRgb(t[255], 5.0f / 6, 5.0f / 6, 5.0f / 6, "last grey");

    // The table belongs to the scene's look, not its reset.
    doc.colourTable[40] = {0.1f, 0.2f, 0.3f};
    doc.ResetScene();
    ExpectRgb(doc.colourTable[40], 0.1f, 0.2f, 0.3f, "kept across reset");
    ExpectRgb(doc.GetColour(300), 1, 1, 1, "outside the table reads entry 0");
    ExpectRgb(doc.GetColour(-1), 1, 1, 1, "outside the table reads entry 0");
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
    EXPECT_EQ(doc.vertexReserve, 40);
    EXPECT_EQ(doc.polygonReserve, 10);
    EXPECT_EQ(doc.PolygonCapacity(), 2010);
    EXPECT_EQ(int(doc.polygonCorners.size()), 510);

    for (int i = 0; i < 40; ++i)
        AddVertex(doc, Vec3(float(i), 0, 0), i);
    EXPECT_EQ(doc.vertexReserve, 40);  // equal to the reserve: no growth
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
    doc.polygonCount = kMaxMeshEntries + 1;  // a count no memory could hold
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
    const int a = AddVertex(doc, Vec3(0, 0, 0));
    const int b = AddVertex(doc, Vec3(1, 0, 0));
    const int c = AddVertex(doc, Vec3(1, 1, 0));
    const int d = AddVertex(doc, Vec3(0, 1, 0));
    const int e = AddVertex(doc, Vec3(2, 0, 0));
    const int f = AddVertex(doc, Vec3(3, 0, 0));
    AddPolygon(doc, a, b, c, d);
    AddPolygon(doc, b, e, f, f);  // all on the x axis: no normal
    doc.RecomputeNormals();

    // (p2 - p0) x (p1 - p0) points to -z for this winding.
    ExpectNear(doc.faceNormals[0], 0, 0, -1);
    ExpectNear(doc.vertexNormals[static_cast<size_t>(a)], 0, 0, -1);
    ExpectNear(doc.reversedNormals[static_cast<size_t>(a)], 0, 0, 1);
    // b is in both; the degenerate polygon adds nothing (not even NaN).
    ExpectNear(doc.vertexNormals[static_cast<size_t>(b)], 0, 0, -1);
    // e and f are only in the degenerate polygon.
    ExpectNear(doc.vertexNormals[static_cast<size_t>(e)], 1, 0, 0);
    ExpectNear(doc.reversedNormals[static_cast<size_t>(f)], -1, 0, 0);
}

TEST_F(SceneTest, RepeatedCornerCountsTwice)
{
    // Vertex c is shared by a triangle (a, b, c, c) facing -z and a quad facing +x.
    const int a = AddVertex(doc, Vec3(0, 0, 0));
    const int b = AddVertex(doc, Vec3(1, 0, 0));
    const int c = AddVertex(doc, Vec3(0, 1, 0));
    const int d = AddVertex(doc, Vec3(0, 1, 1));
    const int e = AddVertex(doc, Vec3(0, 0, 1));
    AddPolygon(doc, a, b, c, c);
    AddPolygon(doc, c, a, e, d);
    doc.RecomputeNormals();
    ExpectNear(doc.faceNormals[0], 0, 0, -1);
    const Vec3 n2 = doc.faceNormals[1];
    ASSERT_NEAR(std::fabs(n2.x), 1.0, 1e-6);
    // 2 x (0, 0, -1) + (+-1, 0, 0), normalised.
    ExpectNear(doc.vertexNormals[static_cast<size_t>(c)], n2.x / std::sqrt(5.0), 0, -2 / std::sqrt(5.0));
}

TEST_F(SceneTest, CornersOutsideTheMeshAreIgnored)
{
    const int a = AddVertex(doc, Vec3(0, 0, 0));
    AddVertex(doc, Vec3(1, 0, 0));
    AddVertex(doc, Vec3(1, 1, 0));
    AddPolygon(doc, a, 1, 2, 99999);
    AddPolygon(doc, -5, 1, 2, 2);
    doc.RecomputeNormals();
    EXPECT_EQ(doc.faceNormals[0], Vec3());
    ExpectNear(doc.vertexNormals[static_cast<size_t>(a)], 1, 0, 0);
}

TEST_F(SceneTest, FlippingTwiceRestoresCornersAndNormals)
{
    for (Vec3 v : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0)})
        AddVertex(doc, v);
    AddPolygon(doc, 0, 1, 2, 3);
    doc.RecomputeNormals();
    const Vec3 n = doc.faceNormals[0];

    doc.FlipAllPolygons();
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{2, 1, 0, 3}));
    ExpectNear(doc.faceNormals[0], -n.x, -n.y, -n.z);
    doc.FlipAllPolygons();
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{0, 1, 2, 3}));
    ExpectNear(doc.faceNormals[0], n.x, n.y, n.z);
}

TEST_F(SceneTest, BindingWithoutGroupsTakesNearestNodeInUse)
{
    doc.ViewState().groupBinding = false;
    const int free = AllocNode(doc.pools);  // a free node at the origin, index 30
    ASSERT_EQ(free, 30);
    const int v = AddVertex(doc, Vec3(0.01f, 0, 0));
    const int w = AddVertex(doc, Vec3(0, -0.54f, 2.1f));  // exactly on node 0
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
    ASSERT_TRUE(doc.ViewState().groupBinding);  // the view's initial state
    AllocNode(doc.pools);                       // node 30 at the origin
    // Group 7 is centred by the +x hand (6, 0.137, -0.54); v on its own is nearer the elbow.
    const int v = AddVertex(doc, Vec3(4.5f, 0, -0.5f), 7);
    AddVertex(doc, Vec3(7.5f, 0, -0.5f), 7);
    // Group 300 is outside the table: bound by its own position.
    const int stray = AddVertex(doc, Vec3(0.01f, 0, 0), 300);
    doc.BindMeshToNodes();

    ExpectNear(doc.groupCentroids[7], 6, 0, -0.5);
    EXPECT_EQ(doc.groupCentroids[9], Vec3());
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], kHandPos);
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(stray)], kNeck);  // node 30 is no candidate

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
    doc.ApplyModelScale();  // no mesh: only the scale resets
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
