// The floor, the shadow, the anime bands and the outline: the band split on
// its own, and frames drawn by OSMesa and read back.
#include <algorithm>
#include <set>
#include <vector>

#include "RenderFixture.h"
#include "render/AnimeShading.h"
#include "render/GroundShadow.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::kHeight;
using test::kWidth;
using test::Pixel;

struct Piece {
    std::vector<Vec3> points;
    int band, colour;
};

class RecordedPieces final : public BandPieceSink {
public:
    void DrawBandPolygon(const Vec3* points, int count, int band, int colourIndex) override
    {
        pieces.push_back({std::vector<Vec3>(points, points + count), band, colourIndex});
    }
    std::vector<Piece> pieces;
};

const AnimeShadeThresholds kThresholds{0.0f, 0.1f, 0.8f};

// The pieces of a quad whose corners see intensities d under a light from
// above (the normals need not be unit vectors for that).
std::vector<Piece> Split(const Vec3 (&p)[4], const double (&d)[4])
{
    Vec3 normals[4];
    for (int i = 0; i < 4; ++i)
        normals[i] = Vec3::FromDouble(0.1, 0.2, -d[i]);
    RecordedPieces sink;
    BandSplitter(kThresholds, Vec3(0, 0, -1000), sink).SplitQuadIntoBands(p, normals, 7);
    return sink.pieces;
}

// Positive when wound as the quads below, counterclockwise in the plane z = 0.
double Area(const std::vector<Vec3>& p)
{
    double sum = 0;
    for (size_t i = 1; i + 1 < p.size(); ++i)
        sum += Cross(p[i] - p[0], p[i + 1] - p[0]).z;
    return 0.5 * sum;
}

TEST(BandSplit, BandsAndAQuadWithinOneBand)
{
    // Perpendicular to the light, T1 itself, is band 1.
    const double t2 = 0.1f, t3 = 0.8f;
    for (const auto& [intensity, band] :
         {std::pair{-1e-9, 0}, {0.0, 1}, {t2, 1}, {t2 + 1e-9, 2}, {t3, 2}, {t3 + 1e-9, 3}})
        EXPECT_EQ(BandOf(intensity, kThresholds), band) << intensity;

    // Within one band the piece is the quad itself, flat or not.
    const Vec3 skew[4] = {Vec3(0, 0, 1), Vec3(3, 0, 2), Vec3(4, 5, 0), Vec3(-1, 4, 1)};
    const auto pieces = Split(skew, {0.3, 0.5, 0.7, 0.79});
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].band, 2);
    EXPECT_EQ(pieces[0].colour, 7);
    EXPECT_EQ(pieces[0].points, std::vector<Vec3>(std::begin(skew), std::end(skew)));
}

// Convex quads under intensities linear across them: one piece per band
// reached, none for the others, each in the band of its middle with its
// corners between that band's thresholds, wound as the quad, together
// covering it.
TEST(BandSplit, PiecesTileTheQuadWithinTheirBands)
{
    const double bounds[] = {-2, 0, double(0.1f), double(0.8f), 2};
    uint32_t seed = 12345;
    auto random = [&seed](double lo, double hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * double(seed >> 8) / double(1u << 24);
    };
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        Vec3 p[4];
        for (int i = 0; i < 4; ++i) {
            const double angle = (i + random(0.1, 0.9)) * M_PI / 2, radius = random(2, 10);
            p[i] = Vec3::FromDouble(radius * std::cos(angle), radius * std::sin(angle), 0);
        }
        bool convex = true;
        for (int i = 0; i < 4; ++i)
            convex = convex && Cross(p[(i + 1) % 4] - p[i], p[(i + 2) % 4] - p[(i + 1) % 4]).z > 0;
        const double a = random(-0.1, 0.1), b = random(-0.1, 0.1), c = random(-0.3, 0.9);
        auto f = [&](const Vec3& q) { return a * q.x + b * q.y + c; };
        if (!convex)
            continue;
        const double d[4] = {f(p[0]), f(p[1]), f(p[2]), f(p[3])};
        const auto pieces = Split(p, d);
        const auto [lo, hi] = std::minmax({BandOf(d[0], kThresholds), BandOf(d[1], kThresholds),
                                          BandOf(d[2], kThresholds), BandOf(d[3], kThresholds)});
        ASSERT_EQ(pieces.size(), size_t(hi - lo + 1));
        double area = 0;
        for (const Piece& piece : pieces) {
            Vec3 middle;
            for (const Vec3& q : piece.points) {
                middle += q * (1.0 / double(piece.points.size()));
                EXPECT_GE(f(q), bounds[piece.band] - 1e-5);
                EXPECT_LE(f(q), bounds[piece.band + 1] + 1e-5);
            }
            EXPECT_EQ(BandOf(f(middle), kThresholds), piece.band);
            EXPECT_GT(Area(piece.points), 0);
            area += Area(piece.points);
        }
        EXPECT_NEAR(area, Area({p[0], p[1], p[2], p[3]}), 1e-3);
    }
}

TEST(BandSplit, BandColoursKeepStrayIndicesInTheTable)
{
    std::array<Rgb, kColourCount> colours{};
    colours[0] = {1.0f, 0.5f, 0.25f};
    colours[255] = {0.5f, 1.0f, 0.0f};
    ViewParameters p{};
    p.animeShadeBright1 = 0.25f;
    p.animeShadeBright2 = 0.5f;
    BandColourTable table;
    UpdateBandColours(table, colours, p);
    EXPECT_EQ(BandColour(table, 255, 1), (Rgb{0.25f, 0.5f, 0.0f}));
    for (int stray : {-1, 256, 1 << 30})
        EXPECT_EQ(BandColour(table, stray, 0), (Rgb{0.25f, 0.125f, 0.0625f})) << stray;
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
    } cases[] = {{1, -0.6f, -5, -5, 2},    {1, -0.6f, 5, -5, 1},    {1, -0.6f, 5, 5, 2}, {1, -0.6f, 15, 5, 1},
                 {2, -0.6f, 2.5f, 2.5f, 2}, {2, -0.6f, 7.5f, 2.5f, 1}, {1, 0.6f, 5, 5, 0}};
    for (const auto& c : cases) {
        view().modelScale = c.scale;
        view().cameraElevation = c.elevation;
        Draw();
        const Pixel p = AtScene(Vec3(c.x, c.y, kFloorZ / c.scale));
        EXPECT_EQ(p.r > p.b + 20 ? 1 : p.b > p.r + 20 ? 2 : 0, c.colour) << c.x << "," << c.y << " x" << c.scale;
    }
}

TEST_F(StylesTest, ShadowFallsAlongTheLightOnTheFloor)
{
    Set("DrawGround", "1");
    Set("DrawShadow", "1");
    AddFlatSquare(0, 2, 8);
    LookDownAtFloor();
    // At 45 degrees a point 8.2 above the shadow plane lands 8.2 away from the light.
    const struct {
        Vec3 light, shadow, lit;
    } cases[] = {{Vec3(0, 0, -1000), Vec3(1.5f, -1.5f, kShadowZ), Vec3(3, 0, kFloorZ)},
                 {Vec3(-1000, 0, -1000), Vec3(8.2f, 0, kShadowZ), Vec3(0, 0, kFloorZ)},
                 {Vec3(0, 1000, -1000), Vec3(0, -8.2f, kShadowZ), Vec3(0, 0, kFloorZ)}};
    for (const auto& c : cases) {
        view().lightPosition = c.light;
        Draw();
        EXPECT_TRUE(IsShadow(c.shadow)) << c.light.x << "," << c.light.y;
        EXPECT_FALSE(IsShadow(c.lit)) << c.light.x << "," << c.light.y;
    }
}

TEST_F(StylesTest, NoShadowFromALowLightOrAnEyeAtFloorHeight)
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
    view().lightPosition = Vec3(0, 0, 0);
    Draw();
    EXPECT_EQ(BlackPixels(), 0);

    // Level with the shadow, 8 units before it.
    view().lightPosition = Vec3(0, 0, -1000);
    view().cameraElevation = 0.0f;
    view().cameraDistance = 8.0f;
    view().cameraTarget = Vec3(0, 0, 15.9f);
    Draw();
    EXPECT_GT(BlackPixels(), 20);
    view().cameraTarget = Vec3(0, 0, 16.0f);
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
    view().modelScale = 2.0f;
    Draw();
    EXPECT_TRUE(IsShadow(Vec3(-2, 0, kShadowZ / 2)));
    EXPECT_FALSE(IsShadow(Vec3(1.5f, -0.5f, kShadowZ / 2)));
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

    // The back of a polygon is banded by its reversed normals only when both
    // sides are drawn; otherwise by its own, which face away from the light.
    doc.ResetMesh(true);
    AddSquare(Vec3(0, 0, 0), 2.0f, 0);
    doc.FlipAllPolygons();
    doc.colourTable[0] = {1.0f, 1.0f, 1.0f};
    view().lightPosition = Vec3(0, -1000, 0);
    Draw();
    EXPECT_NEAR(AtScene(Vec3(0, 0, 0)).r, 0.45 * 255, 1);
    Set("DrawDoublePlane", "1");
    Draw();
    EXPECT_NEAR(AtScene(Vec3(0, 0, 0)).r, 255, 1);
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
