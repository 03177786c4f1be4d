// Frames drawn by OSMesa and read back: the plain frame, the display styles
// and the accumulation effects.
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "RenderFixture.h"
#include "render/GroundShadow.h"
#include "render/MeshDrawing.h"

namespace qm {
namespace {

using namespace test;

TEST_F(RenderTest, ClearsToBackColourAndOverlaysCounts)
{
    for (const auto& [key, value] :
         {std::pair{"BackColorR", "1"}, {"BackColorG", "0"}, {"BackColorB", "0.5"}, {"DrawCount", "1"}})
        Set(key, value);
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
}

// The start-up hint: in the middle of a view without a mesh, never in its picture.
TEST_F(RenderTest, StartHintShowsUntilThereIsAMeshAndStaysOutOfPictures)
{
    Renderer().SetStartHint(OverlayPicture{4, 2, Image(4 * 2 * 4, 255)});
    const auto middle = [&](const Image& rgb) {
        const size_t at = (size_t(kHeight / 2) * kWidth + kWidth / 2) * 3;
        return Pixel{rgb[at], rgb[at + 1], rgb[at + 2]};
    };
    const Image picture = Renderer().RenderFrameToRgb();
    const Pixel bg = At(0, 0);
    EXPECT_EQ(middle(picture), bg);
    EXPECT_EQ(middle(surface->ReadRgb()).Sum(), 3 * 255) << "white, over the background";
    AddSquare(Vec3(5, 0, 5), 0.5f, 1);  // away from the middle
    EXPECT_EQ(middle(Draw()), bg);
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
    EXPECT_LT(Renderer().ProjectPoint(Vec3(0, 0, -1)).y, kHeight / 2) << "smaller z is higher on screen";
    doc.pools.nodes[0].position += Vec3(5, 0, 0);
    EXPECT_GT(shownAt(5).r, 100);

    // In skeleton edit mode the mesh stays where it was modelled, in joint colours.
    view().skeletonEditMode = true;
    for (int v = 0; v < 4; ++v)
        doc.boundNode[size_t(v)] = kShoulderPos;  // red (1, 0, 0)
    const Pixel red = shownAt(0);
    EXPECT_TRUE(red.r > 100 && red.g + red.b == 0);

    Set("UseCameraTrace", "1");
    Draw(1);
    EXPECT_GT(view().cameraTarget.x, 0.0f) << "the camera follows the figure";
}

// The mesh is drawn from arrays kept between frames: every kind of change
// must show in the next frame all the same.
TEST_F(RenderTest, MeshChangesShowInTheNextFrame)
{
    AddSquare(Vec3(0, 0, 0), 1.0f, 300);  // outside the table: entry 0
    doc.colourTable[0] = {1, 0, 0};
    doc.RecomputeNormals();
    Draw();
    EXPECT_TRUE(AtScene(Vec3(0, 0, 0)).r > 100 && AtScene(Vec3(0, 0, 0)).b == 0);
    doc.colourTable[0] = {0, 0, 1};  // a loaded colour table, then the load's rebuild
    doc.RecomputeNormals();
    Draw();
    EXPECT_TRUE(AtScene(Vec3(0, 0, 0)).b > 100 && AtScene(Vec3(0, 0, 0)).r == 0);

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
    Draw();  // one colour per polygon:
    EXPECT_NEAR(AtScene(left).Sum(), AtScene(mid).Sum(), 6);
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

template <class Expected> double MaxDifference(const Image& image, const Expected& expected)
{
    double most = 0.0;
    for (size_t i = 0; i < image.size(); ++i)
        most = std::max(most, std::abs(double(image[i]) - expected[i]));
    return most;
}

// Pixels of image whose colour appears nowhere in reference: the mixed
// colours of softened edges.
int NewColours(const Image& image, const Image& reference)
{
    std::set<std::tuple<int, int, int>> known;
    for (size_t i = 0; i < reference.size(); i += 3)
        known.insert({reference[i] / 8, reference[i + 1] / 8, reference[i + 2] / 8});
    int count = 0;
    for (size_t i = 0; i < image.size(); i += 3)
        count += known.count({image[i] / 8, image[i + 1] / 8, image[i + 2] / 8}) == 0;
    return count;
}

// A red square with a nearer green one over its corner, drawn first, so that
// only the depth test keeps the green in front. Both methods soften the edges
// alike; without an accumulation buffer the texture copies stand in.
TEST_F(RenderTest, AntiAliasingShowsTheMeanOfEightJitteredPassesEitherWay)
{
    AddSquare(Vec3(1.5f, -2, 1), 1.2f, 3);
    AddSquare(Vec3(0, 0, 0), 2.0f, 1);
    const Image plain = Draw();
    Set("UseAntiEdge", "1");
    const Image fast = Draw();
    const Vec3 fastCorner = renderer->ProjectPoint(Vec3(2, 0, 2));

    Set("UseFastBlower", "0");
    const Image accumulated = Draw();
    EXPECT_LE(MaxDifference(accumulated, fast), 2.0);
    // Picking sees the last pass's camera, not the quads' projection.
    EXPECT_EQ(renderer->ProjectPoint(Vec3(2, 0, 2)), fastCorner);
    // The perimeters of both squares are a few hundred pixels.
    EXPECT_TRUE(NewColours(fast, plain) > 100 && NewColours(accumulated, plain) > 100);

    Start(0);  // no accumulation buffer
    EXPECT_EQ(Draw(), fast);

    for (const auto& [w, h] : {std::pair{0, 0}, {100, 60}, {kWidth, kHeight}}) {  // minimised, smaller, back
        renderer->OnSize(w, h);
        Draw(1);
    }
    EXPECT_LE(MaxDifference(surface->ReadRgb(), fast), 1.0);
}

// The target plane, a nearer and a farther square, apart on screen: the
// pixels on either side of a left edge stay as they were only for the first.
TEST_F(RenderTest, DepthOfFieldKeepsTheTargetPlaneSharp)
{
    const std::pair<Vec3, float> squares[] = {{Vec3(0, 0, 0), 1.5f}, {Vec3(-3, -8, 0), 0.8f}, {Vec3(9, 15, 0), 2.0f}};
    for (const auto& [centre, h] : squares)
        AddSquare(centre, h, 1);
    auto edges = [&] {
        Draw();
        std::vector<int> sums;
        for (const auto& [centre, h] : squares) {
            const Vec3 w = renderer->ProjectPoint(centre - Vec3(h, 0, 0));
            for (int dx : {-1, 1})
                sums.push_back(At(int(std::lround(w.x)) + dx, int(std::lround(w.y))).Sum());
        }
        return sums;
    };
    const std::vector<int> sharp = edges();
    Set("UseDepth", "1");
    for (const char* fast : {"1", "0"}) {
        Set("UseFastBlower", fast);
        const std::vector<int> now = edges();
        for (size_t k = 0; k < now.size(); k += 2)
            EXPECT_EQ(std::abs(now[k] - sharp[k]) > 6 || std::abs(now[k + 1] - sharp[k + 1]) > 6, k > 0)
                << "fast " << fast << ", square " << k / 2;
    }
}

// A square moving right by a fifth of its width a frame.
class MotionBlurTest : public RenderTest {
protected:
    MotionBlurTest() { AddSquare(Vec3(0, 0, 0), 2.0f, 1); }

    void MoveTo(int step) { doc.pools.nodes[0].position = rest + Vec3(0.8f * step, 0, 0); }

    // Frames at steps first.. of a blur that starts now: the current image
    // for warmUp frames, then half the last result and half the current image.
    void ExpectBlur(const std::vector<Image>& plain, int first, int count, int warmUp)
    {
        std::vector<double> result;  // unrounded
        for (int n = 0; n < count; ++n) {
            MoveTo(first + n);
            const Image& current = plain[size_t(first + n)];
            result.resize(current.size());
            for (size_t i = 0; i < current.size(); ++i)
                result[i] = n < warmUp ? current[i] : (result[i] + current[i]) / 2;
            EXPECT_LE(MaxDifference(Draw(1), result), 2.0) << "frame " << n << " at step " << first + n;
        }
    }

    const Vec3 rest = doc.pools.nodes[0].position;
};

TEST_F(MotionBlurTest, EachFrameIsHalfThePreviousResultAndHalfTheCurrentImage)
{
    std::vector<Image> plain;
    for (int step = 0; step < 8; ++step) {
        MoveTo(step);
        plain.push_back(Draw());
    }
    ASSERT_TRUE(body->Execute(kCmdMotionBlur));
    ExpectBlur(plain, 0, 4, 1);
    // The accumulation buffer has only old images: it starts again, and
    // keeps the first two frames as they are.
    ASSERT_TRUE(body->Execute(kCmdFastEffects));
    ExpectBlur(plain, 4, 4, 2);
    // So do the textures, which still hold the blur of before.
    ASSERT_TRUE(body->Execute(kCmdFastEffects));
    ExpectBlur(plain, 0, 4, 1);
}

class StylesTest : public test::RenderTest {
protected:
    // From the -y side, down at the middle of the floor, the light above it.
    void LookDownAtFloor()
    {
        view().cameraTarget = Vec3(0, 0, kFloorZ);
        view().cameraDistance = 40.0f;
        view().cameraElevation = -0.6f;
        view().lightPosition = Vec3(0, 0, -1000);
    }

    // A horizontal square at height z; lift raises corner 2.
    void AddFlatSquare(float x, float h, float z, float lift = 0)
    {
        const int a = AddVertex(doc, Vec3(x - h, -h, z)), b = AddVertex(doc, Vec3(x + h, -h, z));
        const int c = AddVertex(doc, Vec3(x + h, h, z + lift)), d = AddVertex(doc, Vec3(x - h, h, z));
        AddPolygon(doc, a, b, c, d, 1);
        doc.RecomputeNormals();
    }

    bool IsShadow(const Vec3& p) { return AtScene(p).Sum() == 0; }
};

// Red and blue tiles (blue at the -x, -y corner) at their own scale in model
// units; from below the floor is not drawn.
TEST_F(StylesTest, FloorTilesAlternateAtTheirOwnScaleSeenFromAbove)
{
    for (const char* key : {"GroundColor1G", "GroundColor1B", "GroundColor2R", "GroundColor2G"})
        Set(key, "0");
    for (const char* key : {"DrawGround", "GroundColor1R", "GroundColor2B"})
        Set(key, "1");
    Set("BackColorB", "0.5");
    LookDownAtFloor();
    const struct {
        float scale, elevation, x, y;
        int colour;  // 1 red, 2 blue, 0 neither
    } cases[] = {{1, -0.6f, -5, -5, 2}, {1, -0.6f, 5, -5, 1}, {2, -0.6f, 2.5f, 2.5f, 2}, {2, -0.6f, 7.5f, 2.5f, 1},
                 {1, 0.6f, 5, 5, 0}};
    for (const auto& c : cases) {
        view().modelScale = c.scale;
        view().cameraElevation = c.elevation;
        Draw();
        const Pixel p = AtScene(Vec3(c.x, c.y, kFloorZ / c.scale));
        EXPECT_EQ(p.r > p.b + 20 ? 1 : p.b > p.r + 20 ? 2 : 0, c.colour) << c.x << "," << c.y << " x" << c.scale;
    }
}

// The shadow falls along the light; none from a light too low, from under
// the floor, or of a polygon that reaches the height where it is cut.
TEST_F(StylesTest, ShadowFallsAlongTheLightOnTheFloor)
{
    for (const char* key : {"DrawGround", "DrawShadow"})
        Set(key, "1");
    AddFlatSquare(0, 2, 8);
    AddFlatSquare(-8, 1.5f, 8, 8);  // one corner at 16
    LookDownAtFloor();
    // At 45 degrees a point 8.2 above the shadow plane lands 8.2 away from the light.
    const struct {
        Vec3 light, shadow, lit;
    } cases[] = {{Vec3(0, 0, -1000), Vec3(1.5f, -1.5f, kShadowZ), Vec3(3, 0, kFloorZ)},
                 {Vec3(0, 1000, -1000), Vec3(0, -8.2f, kShadowZ), Vec3(0, 0, kFloorZ)}};
    for (const auto& c : cases) {
        view().lightPosition = c.light;
        Draw();
        EXPECT_TRUE(IsShadow(c.shadow) && !IsShadow(c.lit) && !IsShadow(Vec3(-9, 0, kShadowZ))) << c.light.y;
    }
    view().cameraElevation = 0.6f;
    Draw();
    EXPECT_EQ(BlackPixels(), 0);

    // At model scale 2 the cut is at 8 model units (seen without the floor).
    Set("DrawGround", "0");
    for (int v = 0; v < doc.vertexCount; ++v)
        doc.restVertices[size_t(v)] = doc.restVertices[size_t(v)] * 0.5;
    view().modelScale = 2.0f;
    view().cameraElevation = -0.6f;
    view().lightPosition = Vec3(0, 0, -1000);
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(0, 0, kShadowZ / 2)) && !IsShadow(Vec3(-4, 0, kShadowZ / 2)));

    view().modelScale = 1.0f;
    doc.ResetMesh(true);
    AddFlatSquare(0, 3, 14);
    for (const double degrees : {15, 10}) {  // the light on the -x side; at 10, z / |light| = -0.17, above -0.2
        const double e = degrees * M_PI / 180;
        view().lightPosition = Vec3::FromDouble(-1000 * std::cos(e), 0, -1000 * std::sin(e));
        Draw();
        EXPECT_TRUE(degrees == 15 ? BlackPixels() > 100 : BlackPixels() == 0) << degrees;
    }
}

// Normals turning across a square: four flat tones of the polygon's colour
// (entry 0 for a number outside the table) meeting where the light crosses
// the thresholds, at x = -2, -1.6 and 1.2; without a light direction, band 1
// in a colour changed since the last frame.
TEST_F(StylesTest, AnimeShadingCutsFourTonesWhereTheLightCrossesTheThresholds)
{
    Set("AnimeShade", "1");
    AddSquare(Vec3(0, 0, 0), 4.0f, 300);
    doc.colourTable[0] = {0.2f, 1.0f, 0.6f};
    doc.vertexNormals[0] = doc.vertexNormals[1] = Vec3(0, 0.5f, 0);
    doc.vertexNormals[2] = doc.vertexNormals[3] = Vec3(0, -1.5f, 0);
    Draw();
    for (const auto& [x, bright] : {std::pair{-3.0f, 0.45}, {-1.8f, 0.7}, {-1.4f, 0.95}, {1.0f, 0.95}, {1.4f, 1.0}}) {
        const Pixel p = AtScene(Vec3(x, 0, 0));
        EXPECT_TRUE(std::abs(p.g - 255 * bright) <= 1 && std::abs(p.r - 0.2 * 255 * bright) <= 1) << x;
    }
    view().lightPosition = Vec3(0, 0, 0);
    doc.colourTable[0] = {1.0f, 0.0f, 0.0f};
    Draw();
    for (float x : {-3.0f, 3.0f})
        EXPECT_NEAR(AtScene(Vec3(x, 0, 0)).r, 0.7 * 255, 1) << x;
}

// A black rim around a sphere, the same width on screen at any distance.
TEST_F(StylesTest, OutlineIsABlackRimOfSteadyWidthAtAnyDistance)
{
    constexpr int kRings = 16, kSegments = 32;
    for (int r = 0; r <= kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const double th = M_PI * r / kRings, ph = 2 * M_PI * s / kSegments;
            AddVertex(doc, Vec3::FromDouble(3 * std::sin(th) * std::cos(ph), 3 * std::sin(th) * std::sin(ph),
                                            3 * std::cos(th)));
        }
    for (int i = 0; i < kRings * kSegments; ++i) {
        const int next = i % kSegments == kSegments - 1 ? i + 1 - kSegments : i + 1;
        AddPolygon(doc, i, next, next + kSegments, i + kSegments, 1);
    }
    doc.RecomputeNormals();
    Set("EdgeWidth", "0.02");  // about 4 pixels at this size
    Set("UseEdge", "1");
    for (const char* doublePlane : {"0", "1"})
        for (float distance : {20.0f, 40.0f}) {
            Set("DrawDoublePlane", doublePlane);  // a new start: a first frame, before any step sets the width
            view().cameraDistance = distance;
            Draw();
            const int cy = int(std::lround(Renderer().ProjectPoint(Vec3(0, 0, 0)).y));
            EXPECT_NEAR(BlackPixels(0, cy, kWidth, cy + 1), 8, 2) << doublePlane << " at " << distance;
            EXPECT_GT(At(kWidth / 2, cy).Sum(), 0) << "the mesh itself shows";
        }
}

} // namespace
} // namespace qm
