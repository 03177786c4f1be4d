#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FormatFixtures.h"
#include "SceneFixtures.h"
#include "formats/DxfExport.h"
#include "formats/DxfImport.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::ExpectDefaultRestPose;
using test::ExpectIndicesInside;
using test::ImportDxfText;

using Point = std::array<double, 3>;

// One 3DFACE the way the export writes it; corners past the fourth reuse code 13.
std::string Face(const std::vector<Point>& corners, std::optional<int> colour = std::nullopt)
{
    std::string s = "3DFACE\n8\nbody2\n";
    if (colour)
        s += "62\n" + std::to_string(*colour) + "\n";
    for (size_t i = 0; i < corners.size(); ++i) {
        char buffer[160];
        const int k = static_cast<int>(std::min<size_t>(i, 3));
        std::snprintf(buffer, sizeof buffer, "1%d\n%g\n2%d\n%g\n3%d\n%g\n", k, corners[i][0], k, corners[i][1], k,
                      corners[i][2]);
        s += buffer;
    }
    return s + "0\n";
}

std::string Dxf(const std::string& faces)
{
    return "0\nSECTION\n2\nENTITIES\n0\n" + faces + "ENDSEC\n0\nEOF\n";
}

void ExpectNear(const Vec3& v, double x, double y, double z, double tolerance = 1e-5)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

class DxfTest : public ::testing::Test {
  protected:
    DxfTest() { doc.ResetScene(); }
    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(DxfTest, ImportConvertsAxesFitsTheViewAndWelds)
{
    doc.AddFigure(); // a second figure, which the import leaves alone
    const Vec3 secondWaist = JointNode(doc.figures[1], kWaist).restPosition;
    doc.colourTable[3] = {0.1f, 0.1f, 0.1f};

    // Two quads sharing the edge (2,0,0)-(2,4,2).
    // The second repeats two corners of the first, one of them a little off.
    const std::string text = Dxf(Face({{0, 0, 0}, {2, 0, 0}, {2, 4, 2}, {0, 4, 2}}) +
                                 Face({{2, 0, 0}, {2, 0, 0}, {2, 4, 2}, {2, 3.9999, 2}}));
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(doc.ViewState().groupBinding);

    // Stored as (-x, y, -z): box (-2, 0, -2) to (0, 4, 0), centre (-1, 2, -1),
    // diagonal sqrt(24) scaled to 30. The second quad's corners merge with the first's.
    const double s = 30.0 / std::sqrt(24.0);
    ASSERT_EQ(doc.vertexCount, 4);
    ASSERT_EQ(doc.polygonCount, 2);
    // Descending x, then y, then z.
    ExpectNear(doc.restVertices[0], 1 * s, 2 * s, -1 * s);
    ExpectNear(doc.restVertices[1], 1 * s, -2 * s, 1 * s);
    ExpectNear(doc.restVertices[2], -1 * s, 2 * s, -1 * s);
    ExpectNear(doc.restVertices[3], -1 * s, -2 * s, 1 * s);
    EXPECT_NEAR(Distance(doc.restVertices[0], doc.restVertices[3]), 30.0, 1e-4);
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{1, 3, 2, 0}));
    // (3, 3, 2, 2) is turned to (2, 3, 2, 3), (2, 2, 3, 3), (3, 2, 3, 2): with
    // only two points there is always a repeat, so the turning stops after three.
    EXPECT_EQ(doc.polygonCorners[1], (PolygonCorners{3, 2, 3, 2}));
    ExpectIndicesInside(doc);

    EXPECT_NEAR(doc.ViewState().cameraTarget.z, 16.0 - s, 1e-5);
    EXPECT_EQ(doc.ViewState().cameraTarget.x, 0.0f);
    ExpectDefaultRestPose(doc);
    EXPECT_EQ(JointNode(doc.figures[1], kWaist).restPosition, secondWaist);
    EXPECT_NEAR(doc.faceNormals[0].Length(), 1.0, 1e-6);

    // No face carried a colour: entry 0 is skin, the rest are defaults again.
    EXPECT_EQ(doc.colourTable[0], (Rgb{1.0f, 0.8f, 0.7f}));
    EXPECT_EQ(doc.colourTable[3], DefaultColour(3));
}

TEST_F(DxfTest, WeldMergesNearPointsAndTurnsRepeatedCorners)
{
    // a, b, c and a near-copy of a (closer than 0.001), and one just too far from b.
    const int a = AddVertex(doc, Vec3(0, 0, 0));
    const int b = AddVertex(doc, Vec3(1, 0, 0));
    const int c = AddVertex(doc, Vec3(1, 1, 0));
    const int a2 = AddVertex(doc, Vec3(0.0005f, 0, 0));
    const int farB = AddVertex(doc, Vec3(1, 0, 0.0011f));
    const int b2 = AddVertex(doc, Vec3(1, 0, 0));
    AddPolygon(doc, a, b, c, c);     // triangle with its last corner repeated: kept
    AddPolygon(doc, a, a2, b, c);    // first two coincide: (b, a, c, a) after one turn
    AddPolygon(doc, farB, b2, c, a); // different points within the first three
    ASSERT_TRUE(WeldVertices(doc));

    // Sorted descending by x, y, z, ties by index: (1,1,0), (1,0,0.0011), (1,0,0) [b, b2], (0.0005,0,0) [a2, a].
    ASSERT_EQ(doc.vertexCount, 4);
    EXPECT_EQ(doc.restVertices[0], Vec3(1, 1, 0));
    EXPECT_EQ(doc.restVertices[1], Vec3(1, 0, 0.0011f));
    EXPECT_EQ(doc.restVertices[2], Vec3(1, 0, 0));
    EXPECT_EQ(doc.restVertices[3], Vec3(0.0005f, 0, 0)); // the group keeps its first point's position
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{3, 2, 0, 0}));
    EXPECT_EQ(doc.polygonCorners[1], (PolygonCorners{2, 3, 0, 3}));
    EXPECT_EQ(doc.polygonCorners[2], (PolygonCorners{1, 2, 0, 3}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DxfTest, WeldKeepsAnOrderWhenCoordinatesAreNotNumbers)
{
    const float nan = std::nanf("");
    for (Vec3 v : {Vec3(nan, 0, 0), Vec3(1, nan, 2), Vec3(-0.0f, 1, 0), Vec3(0, 1, 0), Vec3(nan, 0, 0)})
        AddVertex(doc, v);
    AddPolygon(doc, 0, 1, 2, 3);
    AddPolygon(doc, 4, 3, 2, 1);
    ASSERT_TRUE(WeldVertices(doc));
    // -0 and +0 are the same point; each NaN stays a vertex of its own.
    EXPECT_EQ(doc.vertexCount, 4);
    ExpectIndicesInside(doc);
}

TEST_F(DxfTest, ColoursFollowCode62)
{
    ASSERT_EQ(
        ImportDxfText(doc, Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, 256) +
                               Face({{0, 0, 1}, {1, 0, 1}, {1, 1, 1}}, -3) + Face({{0, 0, 2}, {1, 0, 2}, {1, 1, 2}}))),
        ExchangeResult::kOk);
    ASSERT_EQ(doc.polygonCount, 3);
    // Stored as read; whatever reads the table keeps inside it.
    EXPECT_EQ(doc.polygonColour[0], 256);
    EXPECT_EQ(doc.polygonColour[1], -3);
    EXPECT_EQ(doc.polygonColour[2], 0);
    EXPECT_EQ(doc.colourTable[0], DefaultColour(0)) << "a file with colours keeps white";
    EXPECT_EQ(doc.GetColour(doc.polygonColour[0]), DefaultColour(0));
    const std::string out = FormatDxf(doc);
    EXPECT_EQ(out.find("62\n256\n"), std::string::npos);
    EXPECT_EQ(out.find("62\n-3\n"), std::string::npos);
}

TEST_F(DxfTest, ScanPassesOverOtherEntitiesAndStopsAtEof)
{
    const std::string text = "0\nSECTION\n2\nENTITIES\n"
                             "0\nLINE\n8\n0\n10\n5\n20\n5\n30\n5\n11\n6\n21\n6\n31\n6\n"
                             "0\n3DFACE\n8\nwall\n5\n2A\n100\nAcDbFace\n62\n3\n"
                             "10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n13\n0\n23\n1\n33\n0\n"
                             "70\n0\n0\nENDSEC\n0\nEOF\n" +
                             Face({{9, 9, 9}, {8, 9, 9}, {8, 8, 9}, {9, 8, 9}});
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    EXPECT_EQ(doc.polygonCount, 1);
    EXPECT_EQ(doc.vertexCount, 4);
    EXPECT_EQ(doc.polygonColour[0], 3);
}

TEST_F(DxfTest, LineEndingsReadAlike)
{
    const std::string lf = Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5}, {0, 1, 0.5}}, 4) +
                               Face({{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0.5}}));
    ASSERT_EQ(ImportDxfText(doc, lf), ExchangeResult::kOk);
    const std::vector<Vec3> vertices(doc.restVertices.begin(), doc.restVertices.begin() + doc.vertexCount);
    const std::vector<PolygonCorners> corners(doc.polygonCorners.begin(), doc.polygonCorners.begin() + 2);

    for (const char* ending : {"\r\n", "\r"}) {
        std::string text;
        for (char ch : lf)
            text += ch == '\n' ? std::string(ending) : std::string(1, ch);
        CBodyDoc other(messages);
        other.ResetScene();
        ASSERT_EQ(ImportDxfText(other, text), ExchangeResult::kOk);
        ASSERT_EQ(other.vertexCount, static_cast<int>(vertices.size())) << int(ending[1]);
        EXPECT_EQ(std::vector<Vec3>(other.restVertices.begin(), other.restVertices.begin() + other.vertexCount),
                  vertices);
        EXPECT_EQ(std::vector<PolygonCorners>(other.polygonCorners.begin(), other.polygonCorners.begin() + 2), corners);
        EXPECT_EQ(other.polygonColour[0], 4);
    }
}

TEST_F(DxfTest, FacesWithoutFourCornersStayInsideTheMesh)
{
    std::vector<Point> many;
    for (int i = 0; i < 3000; ++i) // more corners than the arrays' surplus
        many.push_back({double(i), double(i % 7), 1});
    const std::string text = Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}) + Face({{5, 5, 5}}) + Face({}, 9) +
                                 Face({{0, 0, 3}, {1, 0, 3}, {1, 1, 3}, {0, 1, 3}, {7, 7, 7}}) + Face(many));
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    // The face without corners is dropped, and its colour goes with it.
    ASSERT_EQ(doc.polygonCount, 4);
    EXPECT_EQ(doc.polygonColour[2], 0);
    ExpectIndicesInside(doc);
    const PolygonCorners& triangle = doc.polygonCorners[0];
    EXPECT_EQ(triangle[2], triangle[3]) << "a triangle repeats its last corner";
    const PolygonCorners& point = doc.polygonCorners[1];
    EXPECT_TRUE(point[0] == point[1] && point[1] == point[2] && point[2] == point[3]);
    // The fifth corner of the pentagon is a vertex no polygon uses.
    EXPECT_EQ(doc.vertexCount, 3 + 1 + 4 + 1 + 3000);

    // A file cut off inside a corner.
    const std::string cut = Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})).substr(0, 60);
    ASSERT_EQ(ImportDxfText(doc, cut), ExchangeResult::kOk);
    ExpectIndicesInside(doc);
}

TEST_F(DxfTest, MeshWithoutExtentIsCentredButNotScaled)
{
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{3, 4, 5}, {3, 4, 5}, {3, 4, 5}, {3, 4, 5}}))), ExchangeResult::kOk);
    ASSERT_EQ(doc.vertexCount, 1);
    EXPECT_EQ(doc.restVertices[0], Vec3(0, 0, 0));
    EXPECT_EQ(doc.ViewState().cameraTarget, Vec3(0, 0, 16));
    EXPECT_EQ(doc.vertexNormals[0], Vec3(1, 0, 0));

    // Coordinates that are not finite leave the rest as they were instead of turning them all to NaN.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{1, 2, 3}, {HUGE_VAL, 2, 3}, {1, 2, 3}}))), ExchangeResult::kOk);
    EXPECT_EQ(doc.vertexCount, 2);
    ExpectIndicesInside(doc);
    for (int v = 0; v < doc.vertexCount; ++v)
        EXPECT_FALSE(std::isnan(doc.restVertices[static_cast<size_t>(v)].y));

    ASSERT_EQ(ImportDxfText(doc, Dxf("")), ExchangeResult::kOk);
    EXPECT_EQ(doc.vertexCount, 0);
    EXPECT_EQ(doc.polygonCount, 0);
}

TEST_F(DxfTest, UnreadableFileChangesOnlyTheBindingFlag)
{
    AddVertex(doc, Vec3(1, 2, 3));
    AddPolygon(doc, 0, 0, 0, 0);
    doc.ViewState().groupBinding = true;
    const std::string missing = ::testing::TempDir() + "no/such.dxf";
    EXPECT_EQ(ImportDxf(doc, missing), ExchangeResult::kCannotOpen);
    EXPECT_EQ(ImportDxf(doc, ::testing::TempDir()), ExchangeResult::kCannotOpen); // a folder
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0], missing + "が開けません");
    EXPECT_EQ(doc.vertexCount, 1);
    EXPECT_EQ(doc.polygonCount, 1);
    EXPECT_FALSE(doc.ViewState().groupBinding);
}

// ---------------------------------------------------------------------------
// Export

constexpr char kOpening[] = "0\nSECTION\n2\nENTITIES\n999\nCreated by Quillomark\n0\n";
constexpr char kClosing[] = "ENDSEC\n0\nEOF\n";

TEST_F(DxfTest, ExportWritesTheExactText)
{
    EXPECT_EQ(FormatDxf(doc), std::string(kOpening) + kClosing);

    const int a = AddVertex(doc, Vec3(1, 2, 3));
    const int b = AddVertex(doc, Vec3(0.0078125f, -0.0f, 2.5e-7f));
    const int c = AddVertex(doc, Vec3(-123456.5f, 1e30f, 0));
    AddPolygon(doc, a, b, c, c, 5);
    AddPolygon(doc, a, 99, c, c, 1); // names a vertex the mesh lacks: nothing to write
    auto f = [](double v) {
        char buffer[80];
        std::snprintf(buffer, sizeof buffer, "%f\n", v);
        return std::string(buffer);
    };
    const std::string corner0 = "10\n-1.000000\n20\n2.000000\n30\n-3.000000\n";
    const std::string corner1 = "11\n" + f(-0.0078125) + "21\n" + f(-0.0) + "31\n" + f(-double(2.5e-7f));
    const std::string corner2 = "12\n" + f(123456.5) + "22\n" + f(double(1e30f)) + "32\n" + f(-0.0);
    const std::string corner3 = "13\n" + f(123456.5) + "23\n" + f(double(1e30f)) + "33\n" + f(-0.0);
    EXPECT_EQ(FormatDxf(doc), std::string(kOpening) + "3DFACE\n8\nbody2\n62\n5\n" + corner0 + corner1 + corner2 +
                                  corner3 + "0\n" + kClosing);
}

TEST_F(DxfTest, ExportWritesTheNearestDefaultColourAndKeepsTheTable)
{
    for (int i = 0; i < 4; ++i)
        AddVertex(doc, Vec3(float(i), float(i % 2), 0));
    const int colours[] = {5, 7, 10, 11, 51, 91, 131, 171, 211, 12, 250, 40, 300, -1};
    for (int colour : colours)
        AddPolygon(doc, 0, 1, 2, 3, colour);
    doc.colourTable[40] = {1.0f, 0.8f, 0.7f};
    doc.colourTable[0] = {0.0f, 0.0f, 1.0f}; // what colours outside the table show as
    const auto before = doc.colourTable;

    const std::string out = FormatDxf(doc);
    EXPECT_EQ(doc.colourTable, before);
    std::vector<int> written;
    for (size_t at = out.find("62\n"); at != std::string::npos; at = out.find("62\n", at + 1))
        written.push_back(std::atoi(out.c_str() + at + 3));
    // Equal default colours go to the lowest entry; a changed colour to its
    // nearest default; a number outside the table to what entry 0 maps to.
    EXPECT_EQ(written, (std::vector<int>{5, 0, 0, 1, 2, 3, 4, 5, 6, 12, 250, 32, 5, 5}));
}

TEST_F(DxfTest, ExportedFileImportsBack)
{
    // Already centred with a 30-unit diagonal, so the import's fit changes nothing.
    const double h = 15.0 / std::sqrt(3.0);
    const int a = AddVertex(doc, Vec3::FromDouble(-h, -h, -h));
    const int b = AddVertex(doc, Vec3::FromDouble(h, -h, -h));
    const int c = AddVertex(doc, Vec3::FromDouble(h, h, h));
    AddPolygon(doc, a, b, c, c, 3);
    const std::string path = ::testing::TempDir() + "qm_export_test.dxf";
    std::filesystem::remove(path);
    ASSERT_EQ(ExportDxf(doc, path), ExchangeResult::kOk);

    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, FormatDxf(doc));

    CBodyDoc back(messages);
    back.ResetScene();
    ASSERT_EQ(ImportDxf(back, path), ExchangeResult::kOk);
    ASSERT_EQ(back.vertexCount, 3);
    ExpectNear(back.restVertices[0], h, h, h, 1e-4);
    ExpectNear(back.restVertices[1], h, -h, -h, 1e-4);
    ExpectNear(back.restVertices[2], -h, -h, -h, 1e-4);
    EXPECT_EQ(back.polygonCorners[0], (PolygonCorners{2, 1, 0, 0}));
    EXPECT_EQ(back.polygonColour[0], 3);
    std::filesystem::remove(path);
}

TEST_F(DxfTest, ExportReplacesWholeFilesOrNone)
{
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "qm_export_dir";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "out.dxf").string();
    {
        std::ofstream old(path);
        old << "older and longer content that must not survive in part";
    }
    ASSERT_EQ(ExportDxf(doc, path), ExchangeResult::kOk);
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, std::string(kOpening) + kClosing);

    const std::string nowhere = (dir / "missing" / "out.dxf").string();
    EXPECT_EQ(ExportDxf(doc, nowhere), ExchangeResult::kCannotOpen);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], nowhere + "が開けません");
    EXPECT_EQ(ExportDxf(doc, dir.string()), ExchangeResult::kCannotOpen); // a folder stays a folder
    EXPECT_TRUE(std::filesystem::is_directory(dir));

    // Nothing but the one file: no temporary left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace qm
