// The floor, the shadow, the anime bands and the outline, drawn by OSMesa and
// read back.
#include <algorithm>
#include <set>
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

    void AddSphere(const Vec3& centre, float radius, int colour)
    {
        constexpr int kRings = 16, kSegments = 32;
        const int first = doc.vertexCount;
        for (int r = 0; r <= kRings; ++r)
            for (int s = 0; s < kSegments; ++s) {
                const double th = M_PI * r / kRings, ph = 2 * M_PI * s / kSegments;
                AddVertex(doc, centre + Vec3::FromDouble(radius * std::sin(th) * std::cos(ph),
                                                         radius * std::sin(th) * std::sin(ph), radius * std::cos(th)));
            }
        for (int i = first; i < first + kRings * kSegments; ++i) {
            const int next = (i - first) % kSegments == kSegments - 1 ? i + 1 - kSegments : i + 1;
            AddPolygon(doc, i, next, next + kSegments, i + kSegments, colour);
        }
        doc.RecomputeNormals();
    }

    bool IsShadow(const Vec3& p) { return AtScene(p).Sum() == 0; }

    // The light on the -x side, so that the shadow falls sideways in the view.
    void SetLightElevation(double degrees)
    {
        const double e = degrees * M_PI / 180;
        view().lightPosition = Vec3::FromDouble(-1000 * std::cos(e), 0, -1000 * std::sin(e));
    }

    // The width of the black run where the line of pixels from (x, y) in
    // steps (dx, dy) enters the silhouette.
    int RimWidth(int x, int y, int dx, int dy) const
    {
        const Pixel background = At(x, y);
        auto step = [&](auto inRun) {
            int n = 0;
            for (; x >= 0 && y >= 0 && x < kWidth && y < kHeight && inRun(At(x, y)); x += dx, y += dy)
                ++n;
            return n;
        };
        step([&](const Pixel& p) { return p == background; });
        return step([](const Pixel& p) { return p.Sum() == 0; });
    }
};

TEST_F(StylesTest, FloorTilesAlternateAtTheirOwnScaleSeenFromAbove)
{
    Set("DrawGround", "1");
    for (const char* key : {"GroundColor1G", "GroundColor1B", "GroundColor2R", "GroundColor2G"})
        Set(key, "0");
    Set("BackColorB", "0.5");   // grey
    Set("GroundColor1R", "1");  // red
    Set("GroundColor2B", "1");  // blue, like the tile at the -x, -y corner
    LookDownAtFloor();
    // At model scale 2 points are in model units: the tiles stay put. From
    // below (elevation 0.6) the floor is not drawn.
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

// The shadow falls along the light; a light too low casts none, nor does a
// polygon that reaches the height where the shadow is cut.
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
    view().cameraElevation = 0.6f;  // from under the floor
    Draw();
    EXPECT_EQ(BlackPixels(), 0);
    view().cameraElevation = -0.6f;
    // At model scale 2 the cut is at 8 model units (seen without the floor).
    Set("DrawGround", "0");
    for (int v = 0; v < doc.vertexCount; ++v)
        doc.restVertices[size_t(v)] = doc.restVertices[size_t(v)] * 0.5;
    view().modelScale = 2.0f;
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

// Each polygon colour shows at most four tones: exactly its colour at the
// four brightnesses, give or take the rasteriser's rounding of a half.
TEST_F(StylesTest, AnimeShadingShowsFourTonesPerColour)
{
    view().lightPosition = Vec3(-1000, -1000, -500);
    AddSphere(Vec3(-3.5f, 0, 0), 3, 20);
    AddSphere(Vec3(3.5f, 0, 0), 3, 300);  // outside the table: shown as entry 0
    doc.colourTable[20] = {0.8f, 0.4f, 1.0f};
    doc.colourTable[0] = {0.2f, 1.0f, 0.6f};
    Set("AnimeShade", "1");
    auto tonesShown = [&] {
        std::vector<Pixel> tones;
        for (const Rgb& c : {doc.colourTable[20], doc.colourTable[0]})
            for (float b : {0.45f, 0.7f, 0.95f, 1.0f})
                tones.push_back({int(c.r * b * 255), int(c.g * b * 255), int(c.b * b * 255)});
        std::set<long> shown;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Pixel p = At(x, y);
                if (p == At(0, 0))
                    continue;
                const auto t = std::find_if(tones.begin(), tones.end(), [&](const Pixel& e) {
                    return std::abs(e.r - p.r) <= 1 && std::abs(e.g - p.g) <= 1 && std::abs(e.b - p.b) <= 1;
                });
                EXPECT_NE(t, tones.end()) << p.r << "," << p.g << "," << p.b << " at " << x << "," << y;
                shown.insert(t - tones.begin());
            }
        return shown;
    };
    Draw();
    EXPECT_GE(tonesShown().size(), 6u);
    // No light direction: band 1 everywhere, in a colour changed since the last frame.
    view().lightPosition = Vec3(0, 0, 0);
    doc.colourTable[20] = {0.3f, 0.9f, 0.1f};
    Draw();
    EXPECT_EQ(tonesShown(), (std::set<long>{1, 5}));

    // Normals turning across a square: the bands meet where the light crosses
    // the thresholds, at x = -2, -1.6 and 1.2.
    doc.ResetMesh(true);
    AddSquare(Vec3(0, 0, 0), 4.0f, 0);
    doc.vertexNormals[0] = doc.vertexNormals[1] = Vec3(0, 0.5f, 0);
    doc.vertexNormals[2] = doc.vertexNormals[3] = Vec3(0, -1.5f, 0);
    view().lightPosition = Vec3(0, -1000, 0);
    Draw();
    for (const auto& [x, bright] : {std::pair{-3.0f, 0.45}, {-1.8f, 0.7}, {-1.4f, 0.95}, {1.0f, 0.95}, {1.4f, 1.0}})
        EXPECT_NEAR(AtScene(Vec3(x, 0, 0)).g, 255 * bright, 1) << x;
}

TEST_F(StylesTest, OutlineIsABlackRimOfSteadyWidthAtAnyDistance)
{
    AddSphere(Vec3(0, 0, 0), 3, 1);
    Set("EdgeWidth", "0.02");  // about 4 pixels at this size
    Set("UseEdge", "1");
    std::vector<int> widths;
    for (const char* doublePlane : {"0", "1"})
        for (float distance : {20.0f, 40.0f}) {
            Set("DrawDoublePlane", doublePlane);  // a new start: a first frame, before any step sets the width
            view().cameraDistance = distance;
            Draw();
            const Vec3 c = Renderer().ProjectPoint(Vec3(0, 0, 0));
            const int cx = int(std::lround(c.x)), cy = int(std::lround(c.y));
            for (int w : {RimWidth(0, cy, 1, 0), RimWidth(kWidth - 1, cy, -1, 0), RimWidth(cx, 0, 0, 1),
                          RimWidth(cx, kHeight - 1, 0, -1)}) {
                EXPECT_GE(w, 3);
                EXPECT_LE(w, 5);
                widths.push_back(w);
            }
            EXPECT_GT(At(cx, cy).Sum(), 0) << "the mesh itself shows";
        }
    for (size_t i = 4; i < widths.size(); ++i)
        EXPECT_NEAR(widths[i], widths[i % 4], 1);
}

} // namespace
} // namespace qm
