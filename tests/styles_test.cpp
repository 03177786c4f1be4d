// The floor, the shadow, the anime bands and the outline, drawn by OSMesa and
// read back.
#include "RenderFixture.h"
#include "render/GroundShadow.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::kHeight;
using test::kWidth;
using test::Pixel;

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

    // The light on the -x side, so that the shadow falls sideways in the view.
    void SetLightElevation(double degrees)
    {
        const double e = degrees * M_PI / 180;
        view().lightPosition = Vec3::FromDouble(-1000 * std::cos(e), 0, -1000 * std::sin(e));
    }
};

// Red and blue tiles (blue at the -x, -y corner) at their own scale in model
// units; from below the floor is not drawn.
TEST_F(StylesTest, FloorTilesAlternateAtTheirOwnScaleSeenFromAbove)
{
    Set("DrawGround", "1");
    for (const char* key : {"GroundColor1G", "GroundColor1B", "GroundColor2R", "GroundColor2G"})
        Set(key, "0");
    Set("BackColorB", "0.5");
    Set("GroundColor1R", "1");
    Set("GroundColor2B", "1");
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
    Set("DrawGround", "1");
    Set("DrawShadow", "1");
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
        EXPECT_TRUE(IsShadow(c.shadow)) << c.light.y;
        EXPECT_FALSE(IsShadow(c.lit)) << c.light.y;
        EXPECT_FALSE(IsShadow(Vec3(-9, 0, kShadowZ))) << c.light.y;
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
    EXPECT_TRUE(IsShadow(Vec3(0, 0, kShadowZ / 2)));
    EXPECT_FALSE(IsShadow(Vec3(-4, 0, kShadowZ / 2)));

    view().modelScale = 1.0f;
    doc.ResetMesh(true);
    AddFlatSquare(0, 3, 14);
    SetLightElevation(15);
    Draw();
    EXPECT_GT(BlackPixels(), 100);
    SetLightElevation(10);  // light z / |light| = -0.17, above -0.2
    Draw();
    EXPECT_EQ(BlackPixels(), 0);
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
        EXPECT_NEAR(p.g, 255 * bright, 1) << x;
        EXPECT_NEAR(p.r, 0.2 * 255 * bright, 1) << x;
    }
    view().lightPosition = Vec3(0, 0, 0);
    doc.colourTable[0] = {1.0f, 0.0f, 0.0f};
    Draw();
    EXPECT_NEAR(AtScene(Vec3(-3, 0, 0)).r, 0.7 * 255, 1);
    EXPECT_NEAR(AtScene(Vec3(3, 0, 0)).r, 0.7 * 255, 1);
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
