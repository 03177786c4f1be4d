// Frames drawn by OSMesa and read back.
#include "RenderFixture.h"
#include "render/MeshDrawing.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::kHeight;
using test::kWidth;
using test::Pixel;
using test::RenderTest;

TEST_F(RenderTest, ClearsToBackColourAndOverlaysCounts)
{
    Set("BackColorR", "1");
    Set("BackColorG", "0");
    Set("BackColorB", "0.5");
    Set("DrawCount", "1");
    Draw();
    const Pixel bg = At(kWidth - 5, kHeight - 5);
    EXPECT_TRUE(bg.r == 255 && bg.g == 0 && std::abs(bg.b - 128) <= 1) << bg.r << "," << bg.g << "," << bg.b;
    EXPECT_GT(BlackPixels(10, 10, 120, 24), 40);  // black text in the band at the top left
    for (int frame = 3; frame <= 20; ++frame) {
        clock.now += 10;
        Draw(1);
    }
    EXPECT_EQ(BlackPixels(10, 40, 120, 54), 0) << "no frame rate before the twenty-first frame";
    clock.now += 10;
    Draw(1);
    EXPECT_GT(BlackPixels(10, 40, 120, 54), 0);

    Set("DrawCount", "0");
    Draw();
    EXPECT_EQ(BlackPixels(10, 10, 120, 24), 0);
}

TEST_F(RenderTest, MeshFollowsNodeZeroExceptInSkeletonEditMode)
{
    Set("ShowSkeleton", "0");  // the mesh alone, without the skeleton drawn over it
    AddSquare(Vec3(0, 0, 0), 1.0f, 1);
    doc.BindMeshToNodes();
    auto shownAt = [&](float x) {
        Draw();
        EXPECT_EQ(AtScene(Vec3(5 - x, 0, 0)).Sum(), At(kWidth - 5, kHeight - 5).Sum()) << "background";
        return AtScene(Vec3(x, 0, 0));
    };
    EXPECT_GT(shownAt(0).r, 100);
    doc.pools.nodes[0].position += Vec3(5, 0, 0);
    EXPECT_GT(shownAt(5).r, 100);
    Set("UseCameraTrace", "1");
    Draw(1);
    EXPECT_GT(view().cameraTarget.x, 0.0f) << "the camera follows the figure";
    Set("UseCameraTrace", "0");
    view().cameraTarget = Vec3(0, 0, 0);

    // In skeleton edit mode the mesh stays where it was modelled, in joint colours.
    view().skeletonEditMode = true;
    EXPECT_GT(shownAt(0).Sum(), 0);
    for (int v = 0; v < 4; ++v)
        doc.boundNode[size_t(v)] = kShoulderPos;  // red (1, 0, 0)
    const Pixel red = shownAt(0);
    EXPECT_GT(red.r, 100);
    EXPECT_EQ(red.g + red.b, 0);
}

// The mesh is drawn from arrays kept between frames: every kind of change
// must show in the next frame all the same.
TEST_F(RenderTest, MeshChangesShowInTheNextFrame)
{
    AddSquare(Vec3(0, 0, 0), 1.0f, 1);  // red
    doc.RecomputeNormals();
    Draw();
    EXPECT_GT(AtScene(Vec3(0, 0, 0)).r, 100);
    doc.colourTable[1] = {0, 0, 1};  // a loaded colour table, then the load's rebuild
    doc.RecomputeNormals();
    Draw();
    EXPECT_GT(AtScene(Vec3(0, 0, 0)).b, 100);

    const Pixel background = AtScene(Vec3(3, 0, 0));
    view().modelScale = 4.0f;  // a Ctrl drag's release bakes the scale into the mesh
    doc.ApplyModelScale();
    Draw();
    EXPECT_FALSE(AtScene(Vec3(3, 0, 0)) == background);  // the square now reaches x = 3

    doc.ResetScene();  // a new scene: no polygons left to draw
    Draw();
    EXPECT_EQ(AtScene(Vec3(0, 0, 0)), background);
}

// Two squares meeting at a ridge: flat shading gives each one colour, smooth
// shading blends across the ridge. Turned away from the eye and the light,
// they show lit only when both sides are drawn, by their reversed normals.
TEST_F(RenderTest, FlatSmoothAndTwoSidedShading)
{
    const int a = AddVertex(doc, Vec3(-4, 3, -2)), b = AddVertex(doc, Vec3(-4, 3, 2));
    const int c = AddVertex(doc, Vec3(0, 0, 2)), d = AddVertex(doc, Vec3(0, 0, -2));
    const int e = AddVertex(doc, Vec3(4, 3, 2)), f = AddVertex(doc, Vec3(4, 3, -2));
    AddPolygon(doc, a, b, c, d, 0);
    AddPolygon(doc, d, c, e, f, 0);
    doc.RecomputeNormals();
    view().lightPosition = Vec3(-1000, -1000, 0);  // lights the left face more
    const Vec3 left(-3.0f, 2.25f, 0), mid(-0.5f, 0.375f, 0);

    Draw();
    const Pixel smoothLeft = AtScene(left), smoothMid = AtScene(mid);
    Set("UseFlatShade", "1");
    Draw();
    EXPECT_NEAR(AtScene(left).Sum(), AtScene(mid).Sum(), 6);  // one colour per polygon
    EXPECT_GT(AtScene(left).Sum(), AtScene(Vec3(3.0f, 2.25f, 0)).Sum() + 30);
    EXPECT_GT(std::abs(smoothLeft.Sum() - smoothMid.Sum()), 15);  // shading varies across it

    doc.FlipAllPolygons();
    view().lightPosition = Vec3(0, -1000, 0);
    Draw();
    const int single = AtScene(left).Sum();
    Set("DrawDoublePlane", "1");
    for (const char* flat : {"1", "0"}) {
        Set("UseFlatShade", flat);
        Draw();
        EXPECT_GT(AtScene(left).Sum(), single + 120) << flat;
    }
}

TEST_F(RenderTest, CameraLooksAtItsTargetWithMinusZUpAndPicksBack)
{
    view().cameraTarget = Vec3(1, 2, 3);
    Draw(1);
    const Vec3 centre = Renderer().ProjectPoint(view().cameraTarget);
    EXPECT_NEAR(centre.x, kWidth / 2.0, 0.5);
    EXPECT_NEAR(centre.y, kHeight / 2.0, 0.5);
    EXPECT_LT(Renderer().ProjectPoint(Vec3(1, 2, 2)).y, centre.y);  // smaller z is higher on screen
    for (const Vec3& p : {Vec3(0, 0, 0), Vec3(1.5f, -2, 4)})
        test::ExpectNear(Renderer().UnprojectPoint(Renderer().ProjectPoint(p)), p.x, p.y, p.z, 1e-3);
}

} // namespace
} // namespace qm
