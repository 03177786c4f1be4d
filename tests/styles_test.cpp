// The floor and the shadow: frames drawn by OSMesa and read back.
#include <vector>

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
    StylesTest() { Set("DrawCount", "0"); }

    // From the -y side, down at the middle of the floor, the light above it.
    void LookDownAtFloor()
    {
        view.cameraTarget = Vec3(0, 0, kFloorZ);
        view.cameraDistance = 40.0f;
        view.cameraElevation = -0.6f;
        view.lightPosition = Vec3(0, 0, -1000);
    }

    // A horizontal square at height z; lift raises corner 2.
    void AddFlatSquare(float x, float h, float z, float lift = 0)
    {
        const int a = AddVertex(doc, Vec3(x - h, -h, z)), b = AddVertex(doc, Vec3(x + h, -h, z));
        const int c = AddVertex(doc, Vec3(x + h, h, z + lift)), d = AddVertex(doc, Vec3(x - h, h, z));
        AddPolygon(doc, a, b, c, d, 1);
        doc.RecomputeNormals();
    }

    int BlackPixels()
    {
        int n = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                n += At(x, y).Sum() == 0;
        return n;
    }
    bool IsShadow(const Vec3& p) { return AtScene(p).Sum() == 0; }

    // The light on the -x side, so that the shadow falls sideways in the view.
    void SetLightElevation(double degrees)
    {
        const double e = degrees * M_PI / 180;
        view.lightPosition = Vec3::FromDouble(-1000 * std::cos(e), 0, -1000 * std::sin(e));
    }
};

TEST_F(StylesTest, FloorTilesAlternateAtTheirOwnScaleSeenFromAbove)
{
    Set("DrawGround", "1");
    for (const char* key : {"GroundColor1G", "GroundColor1B", "GroundColor2R", "GroundColor2G"})
        Set(key, "0");
    Set("BackColorB", "0.5");  // grey
    Set("GroundColor1R", "1");  // red
    Set("GroundColor2B", "1");  // blue, like the tile at the -x, -y corner
    auto colour = [&](float x, float y) {
        const Pixel p = AtScene(Vec3(x, y, kFloorZ / view.modelScale));
        return p.r > p.b + 20 ? 1 : p.b > p.r + 20 ? 2 : 0;
    };
    LookDownAtFloor();
    Draw();
    EXPECT_EQ(colour(-5, -5), 2);
    EXPECT_EQ(colour(5, -5), 1);
    EXPECT_EQ(colour(5, 5), 2);
    EXPECT_EQ(colour(15, 5), 1);
    view.modelScale = 2.0f;  // points in model units: the tiles stay put
    Draw();
    EXPECT_EQ(colour(2.5f, 2.5f), 2);
    EXPECT_EQ(colour(7.5f, 2.5f), 1);
    view.modelScale = 1.0f;
    view.cameraElevation = 0.6f;  // from below
    Draw();
    EXPECT_EQ(colour(5, 5), 0);
}

TEST_F(StylesTest, ShadowFallsAlongTheLightOnTheFloor)
{
    Set("DrawGround", "1");
    Set("DrawShadow", "1");
    AddFlatSquare(0, 2, 8);
    LookDownAtFloor();
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(0, 0, kShadowZ)));
    EXPECT_TRUE(IsShadow(Vec3(1.5f, -1.5f, kShadowZ)));
    EXPECT_FALSE(IsShadow(Vec3(3, 0, kFloorZ)));
    // At 45 degrees a point 8.2 above the shadow plane lands 8.2 away from the light.
    view.lightPosition = Vec3(-1000, 0, -1000);
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(8.2f, 0, kShadowZ)));
    EXPECT_FALSE(IsShadow(Vec3(0, 0, kFloorZ)));
    view.lightPosition = Vec3(0, 1000, -1000);
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(0, -8.2f, kShadowZ)));
}

TEST_F(StylesTest, NoShadowFromAnEyeAtFloorHeightALowLightOrPolygonsAtTheCut)
{
    Set("DrawGround", "1");
    Set("DrawShadow", "1");
    AddFlatSquare(0, 3, 14);
    LookDownAtFloor();
    SetLightElevation(15);
    Draw();
    EXPECT_GT(BlackPixels(), 100);
    SetLightElevation(10);  // light z / |light| = -0.17, above -0.2
    Draw();
    EXPECT_EQ(BlackPixels(), 0);
    view.lightPosition = Vec3(0, 0, 0);
    Draw();
    EXPECT_EQ(BlackPixels(), 0);

    // Level with the shadow, 8 units before it.
    view.lightPosition = Vec3(0, 0, -1000);
    view.cameraElevation = 0.0f;
    view.cameraDistance = 8.0f;
    view.cameraTarget = Vec3(0, 0, 15.9f);
    Draw();
    EXPECT_GT(BlackPixels(), 20);
    view.cameraTarget = Vec3(0, 0, 16.0f);
    Draw();
    EXPECT_EQ(BlackPixels(), 0);
}

TEST_F(StylesTest, PolygonReachingTheCutHeightCastsNothing)
{
    Set("DrawShadow", "1");
    AddFlatSquare(-4, 1.5f, 8);
    AddFlatSquare(4, 1.5f, 8, 8);  // one corner at 16
    LookDownAtFloor();
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(-4, 0, kShadowZ)));
    EXPECT_FALSE(IsShadow(Vec3(3, -1, kShadowZ)));
    // At model scale 2 the cut is at 8 model units, the shadow at 8.1.
    for (int v = 0; v < doc.vertexCount; ++v)
        doc.restVertices[size_t(v)] = doc.restVertices[size_t(v)] * 0.5;
    view.modelScale = 2.0f;
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(-2, 0, kShadowZ / 2)));
    EXPECT_FALSE(IsShadow(Vec3(1.5f, -0.5f, kShadowZ / 2)));
}

} // namespace
} // namespace qm
