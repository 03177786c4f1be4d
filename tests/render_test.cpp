// Frames drawn by OSMesa and read back.
#include "RenderFixture.h"
#include "render/MeshDrawing.h"
#include "view/Animation.h"

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
    Draw();
    const Pixel bg = At(kWidth - 5, kHeight - 5);
    EXPECT_EQ(bg.r, 255);
    EXPECT_EQ(bg.g, 0);
    EXPECT_NEAR(bg.b, 128, 1);

    // Black text in the band at the top left, nowhere else.
    int black = 0;
    for (int y = 10; y < 24; ++y)
        for (int x = 10; x < 120; ++x)
            black += At(x, y).Sum() == 0;
    EXPECT_GT(black, 40);
    EXPECT_GT(At(5, 5).Sum(), 0);

    settings.Write("View", "DrawCount", "0");
    renderer.reset();
    Draw();
    for (int y = 10; y < 24; ++y)
        for (int x = 10; x < 120; ++x)
            ASSERT_GT(At(x, y).Sum(), 0) << x << "," << y;
}

TEST_F(RenderTest, FrameRateLineAppearsFromTheTwentyFirstFrame)
{
    auto fpsBandIsClear = [&] {
        for (int y = 40; y < 54; ++y)
            for (int x = 10; x < 120; ++x)
                if (At(x, y).Sum() == 0)
                    return false;
        return true;
    };
    for (int frame = 1; frame <= 20; ++frame) {
        clock.now += 10;
        Draw(1);
        ASSERT_TRUE(fpsBandIsClear()) << "frame " << frame;
    }
    clock.now += 10;
    Draw(1);
    EXPECT_FALSE(fpsBandIsClear());
    // 10 ms a frame; the stamp 19 frames back is read over 20 frames' worth.
    EXPECT_NEAR(Renderer().LastStats().fps, 1000.0 / (190 * 0.05), 1e-9);

    // A clock that did not move over 20 frames has no rate to show.
    for (int frame = 0; frame < 21; ++frame)
        Draw(1);
    EXPECT_FALSE(Renderer().LastStats().hasFps);
    EXPECT_TRUE(fpsBandIsClear());
}

TEST_F(RenderTest, MeshFollowsNodeZeroExceptInSkeletonEditMode)
{
    Set("ShowSkeleton", "0");  // the mesh alone, without the skeleton drawn over it
    AddSquare(1.0f, 1);
    doc.RecomputeNormals();
    doc.BindMeshToNodes();
    Draw();
    EXPECT_GT(AtScene(Vec3(0, 0, 0)).r, 100);
    EXPECT_EQ(AtScene(Vec3(5, 0, 0)).Sum(), At(kWidth - 5, kHeight - 5).Sum());

    doc.pools.nodes[0].position += Vec3(5, 0, 0);
    Draw();
    EXPECT_GT(AtScene(Vec3(5, 0, 0)).r, 100);
    EXPECT_EQ(AtScene(Vec3(0, 0, 0)).Sum(), At(kWidth - 5, kHeight - 5).Sum());

    // In skeleton edit mode the mesh stays where it was modelled, in joint colours.
    view.skeletonEditMode = true;
    Draw();
    EXPECT_GT(AtScene(Vec3(0, 0, 0)).Sum(), 0);
    EXPECT_EQ(AtScene(Vec3(5, 0, 0)).Sum(), At(kWidth - 5, kHeight - 5).Sum());
    for (int v = 0; v < 4; ++v)
        doc.boundNode[static_cast<size_t>(v)] = kShoulderPos;  // red (1, 0, 0)
    Draw();
    const Pixel red = AtScene(Vec3(0, 0, 0));
    EXPECT_GT(red.r, 100);
    EXPECT_EQ(red.g, 0);
    EXPECT_EQ(red.b, 0);
}

// Two squares meeting at a ridge: flat shading gives each one colour, smooth
// shading blends across the ridge.
TEST_F(RenderTest, FlatAndSmoothShadingDifferAtARidge)
{
    const int a = AddVertex(doc, Vec3(-4, 3, -2)), b = AddVertex(doc, Vec3(-4, 3, 2));
    const int c = AddVertex(doc, Vec3(0, 0, 2)), d = AddVertex(doc, Vec3(0, 0, -2));
    const int e = AddVertex(doc, Vec3(4, 3, 2)), f = AddVertex(doc, Vec3(4, 3, -2));
    AddPolygon(doc, a, b, c, d, 0);
    AddPolygon(doc, d, c, e, f, 0);
    doc.RecomputeNormals();
    view.lightPosition = Vec3(-1000, -1000, 0);  // lights the left face more

    Draw();
    const Pixel smoothLeft = AtScene(Vec3(-3.0f, 2.25f, 0)), smoothMid = AtScene(Vec3(-0.5f, 0.375f, 0));
    Set("UseFlatShade", "1");
    renderer.reset();
    Draw();
    const Pixel flatLeft = AtScene(Vec3(-3.0f, 2.25f, 0)), flatMid = AtScene(Vec3(-0.5f, 0.375f, 0));
    const Pixel flatRight = AtScene(Vec3(3.0f, 2.25f, 0));

    EXPECT_NEAR(flatLeft.Sum(), flatMid.Sum(), 6);  // one colour per polygon
    EXPECT_GT(flatLeft.Sum(), flatRight.Sum() + 30);
    EXPECT_GT(std::abs(smoothLeft.Sum() - smoothMid.Sum()), 15);  // shading varies across it
}

TEST_F(RenderTest, DoublePlaneLightsBackFacesWithReversedNormals)
{
    AddSquare(2.0f, 0);
    doc.FlipAllPolygons();  // now facing away from the eye and the light
    Draw();
    const Pixel single = AtScene(Vec3(0, 0, 0));
    Set("DrawDoublePlane", "1");
    renderer.reset();
    Draw();
    const Pixel both = AtScene(Vec3(0, 0, 0));
    EXPECT_GT(both.Sum(), single.Sum() + 150);

    Set("UseFlatShade", "1");
    renderer.reset();
    Draw();
    EXPECT_NEAR(AtScene(Vec3(0, 0, 0)).Sum(), both.Sum(), 6);
}

TEST_F(RenderTest, CameraLooksFromItsAnglesWithMinusZUp)
{
    view.cameraElevation = 0.0f;
    view.cameraAzimuth = 0.0f;
    view.cameraTarget = Vec3(1, 2, 3);
    view.cameraDistance = 10.0f;
    const Vec3 eye = CameraEyeFor(view);
    EXPECT_NEAR(eye.x, 11, 1e-5);
    EXPECT_NEAR(eye.y, 2, 1e-5);
    EXPECT_NEAR(eye.z, 3, 1e-5);

    Draw(1);
    const Vec3 centre = Renderer().ProjectPoint(view.cameraTarget);
    EXPECT_NEAR(centre.x, kWidth / 2.0, 0.5);
    EXPECT_NEAR(centre.y, kHeight / 2.0, 0.5);
    EXPECT_LT(Renderer().ProjectPoint(Vec3(1, 2, 2)).y, centre.y);  // smaller z is higher on screen

    for (const Vec3& p : {Vec3(0, 0, 0), Vec3(1.5f, -2, 4), Vec3(-3, 3, 3)}) {
        const Vec3 back = Renderer().UnprojectPoint(Renderer().ProjectPoint(p));
        EXPECT_NEAR(back.x, p.x, 1e-3);
        EXPECT_NEAR(back.y, p.y, 1e-3);
        EXPECT_NEAR(back.z, p.z, 1e-3);
    }
}

TEST(RenderMath, TextureSizesAndCameraTrace)
{
    EXPECT_EQ(TextureSizeFor(640), 1024);
    EXPECT_EQ(TextureSizeFor(480), 512);
    EXPECT_EQ(TextureSizeFor(512), 1024);
    EXPECT_EQ(TextureSizeFor(1), 2);

    Vec3 target(0, 0, 0);
    CameraTraceStep(target, Vec3(10, 0, 0));
    EXPECT_NEAR(target.x, 2.0, 1e-5);
    target = Vec3(0, 0, 0);
    CameraTraceStep(target, Vec3(0, 30, 0));
    EXPECT_NEAR(target.y, 12.0, 1e-5);
}

TEST(RenderMath, ResizesAreRememberedUntilTheNextFrame)
{
    MemorySettings settings;
    RecordingMessages messages;
    ManualClock clock;
    SceneViewState view;
    CBodyDoc doc(messages);
    doc.ResetScene();
    OsMesaSurface surface(640, 480);
    const ViewOptions options(settings);
    FrameRenderer renderer(surface, clock, messages, doc, options, view);
    EXPECT_EQ(renderer.TextureWidth(), 1024);
    EXPECT_EQ(renderer.TextureHeight(), 512);
    ASSERT_EQ(renderer.RenderFrame(), FrameRenderer::FrameResult::Drawn);
    EXPECT_FALSE(renderer.NeedsReinit());

    renderer.OnSize(0, 0);  // minimised: nothing changes
    EXPECT_FALSE(renderer.NeedsReinit());
    EXPECT_EQ(renderer.ClientWidth(), 640);
    renderer.OnSize(300, 200);
    renderer.OnSize(512, 512);
    EXPECT_TRUE(renderer.NeedsReinit());
    EXPECT_EQ(renderer.TextureWidth(), 1024);
    EXPECT_EQ(renderer.TextureHeight(), 1024);
    EXPECT_FALSE(renderer.TexturesAllocated());
}

TEST(Animation, CameraGlidesAndStaysWithinItsDistances)
{
    SceneViewState view;
    CameraMotion motion;
    IntegrateCamera(view, motion);  // the initial 300 is out of range
    EXPECT_EQ(view.cameraDistance, 200.0f);

    motion.distanceSpeed = -10.0f;  // Page Up held: 2 units a frame once steady
    for (int i = 0; i < 200; ++i) {
        motion.distanceSpeed = static_cast<float>(motion.distanceSpeed - 10.0);
        IntegrateCamera(view, motion);
    }
    EXPECT_EQ(view.cameraDistance, 1.0f);
    EXPECT_EQ(motion.distanceSpeed, 0.0f);

    motion.azimuthRate = 1.0f;
    const float azimuth = view.cameraAzimuth;
    for (int i = 0; i < 200; ++i)
        IntegrateCamera(view, motion);
    EXPECT_NEAR(view.cameraAzimuth - azimuth, 1.0, 1e-4);  // the glide adds up to the rate at release

    view.lightAzimuth = 0.0f;
    view.lightElevation = float(-M_PI / 2);
    PlaceLightFromAngles(view);
    EXPECT_NEAR(view.lightPosition.z, -1000.0, 1e-3);
    EXPECT_NEAR(view.lightPosition.x, 0.0, 1e-3);
}

} // namespace
} // namespace qm
