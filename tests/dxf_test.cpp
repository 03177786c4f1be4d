#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "TempFolder.h"
#include "formats/DxfExport.h"
#include "formats/DxfImport.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::ExpectIndicesInside;
using test::ExpectNear;
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

class DxfTest : public ::testing::Test {
  protected:
    DxfTest() { doc.ResetScene(); }
    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(DxfTest, ImportConvertsAxesFitsTheViewAndWelds)
{
    TranslateFigure(doc.FirstFigure(), 1, 2, 3);
    doc.colourTable[3] = {0.1f, 0.1f, 0.1f};

    // Two quads sharing the edge (2,0,0)-(2,4,2); the second repeats two
    // corners of the first, one of them a little off.
    const std::string text = Dxf(Face({{0, 0, 0}, {2, 0, 0}, {2, 4, 2}, {0, 4, 2}}) +
                                 Face({{2, 0, 0}, {2, 0, 0}, {2, 4, 2}, {2, 3.9999, 2}}));
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(doc.ViewState().groupBinding);

    // Stored as (-x, y, -z), centred, the diagonal scaled to 30, sorted by descending x, y, z.
    const double s = 30.0 / std::sqrt(24.0);
    ASSERT_EQ(doc.vertexCount, 4);
    ASSERT_EQ(doc.polygonCount, 2);
    ExpectNear(doc.restVertices[0], 1 * s, 2 * s, -1 * s);
    ExpectNear(doc.restVertices[3], -1 * s, -2 * s, 1 * s);
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{1, 3, 2, 0}));
    EXPECT_EQ(doc.polygonCorners[1], (PolygonCorners{3, 2, 3, 2}));

    EXPECT_NEAR(doc.ViewState().cameraTarget.z, 16.0 - s, 1e-5);
    test::ExpectDefaultRestPose(doc);
    // No face carried a colour: entry 0 is skin, the rest are defaults again.
    EXPECT_EQ(doc.colourTable[0], (Rgb{1.0f, 0.8f, 0.7f}));
    EXPECT_EQ(doc.colourTable[3], DefaultColour(3));
}

// Points closer than 0.001 become one; a polygon whose first corners then
// coincide is turned until they differ, so that its normal stays defined.
TEST_F(DxfTest, WeldMergesNearPointsAndTurnsRepeatedCorners)
{
    for (Vec3 p :
         {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0.0005f, 0, 0), Vec3(1, 0, 0.0011f), Vec3(1, 0, 0)})
        AddVertex(doc, p);
    AddPolygon(doc, 0, 1, 2, 2);
    AddPolygon(doc, 0, 3, 1, 2);
    ASSERT_TRUE(WeldVertices(doc));
    ASSERT_EQ(doc.vertexCount, 4);
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{3, 2, 0, 0}));
    EXPECT_EQ(doc.polygonCorners[1], (PolygonCorners{2, 3, 0, 3}));

    // -0 and +0 are the same point, even with a point sorted after one of them;
    // each NaN stays a vertex of its own.
    const float nan = std::nanf("");
    doc.ResetMesh(true);
    for (Vec3 v :
         {Vec3(nan, 0, 0), Vec3(1, nan, 2), Vec3(-0.0f, 1, 0), Vec3(0, 1, 0), Vec3(nan, 0, 0), Vec3(0, 0.5f, 0)})
        AddVertex(doc, v);
    AddPolygon(doc, 0, 1, 2, 3);
    AddPolygon(doc, 4, 3, 2, 1);
    ASSERT_TRUE(WeldVertices(doc));
    EXPECT_EQ(doc.vertexCount, 5);
    ExpectIndicesInside(doc);
}

TEST_F(DxfTest, ScanReadsColoursPassesOverOtherEntitiesAndStopsAtEof)
{
    const std::string text = "0\nSECTION\n2\nENTITIES\n"
                             "0\nLINE\n8\n0\n10\n5\n20\n5\n30\n5\n11\n6\n21\n6\n31\n6\n"
                             "0\n3DFACE\n8\nwall\n5\n2A\n100\nAcDbFace\n62\n3\n"
                             "10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n13\n0\n23\n1\n33\n0\n"
                             "70\n0\n0\n" +
                             Face({{0, 0, 1}, {1, 0, 1}, {1, 1, 1}}, 256) +
                             Face({{0, 0, 2}, {1, 0, 2}, {1, 1, 2}}, -3) + Face({{0, 0, 3}, {1, 0, 3}, {1, 1, 3}}) +
                             "ENDSEC\n0\nEOF\n" + Face({{9, 9, 9}, {8, 9, 9}, {8, 8, 9}, {9, 8, 9}});
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    ASSERT_EQ(doc.polygonCount, 4);
    EXPECT_EQ(doc.vertexCount, 4 + 3 * 3);
    EXPECT_EQ(std::vector<int32_t>(doc.polygonColour.begin(), doc.polygonColour.begin() + 4),
              (std::vector<int32_t>{3, 256, -3, 0}));  // as read, even outside the table
    EXPECT_EQ(doc.colourTable[0], DefaultColour(0)) << "a file with colours keeps white";
}

TEST_F(DxfTest, OddFacesAndValuesStayInsideTheMesh)
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
    EXPECT_EQ(doc.polygonCorners[0][2], doc.polygonCorners[0][3]) << "a triangle repeats its last corner";
    EXPECT_EQ(doc.vertexCount, 3 + 1 + 4 + 1 + 3000) << "the pentagon's fifth corner is a vertex of its own";

    // A file cut off inside a corner.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}})).substr(0, 60)), ExchangeResult::kOk);
    ExpectIndicesInside(doc);

    // A mesh without extent is centred but not scaled.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{3, 4, 5}, {3, 4, 5}, {3, 4, 5}, {3, 4, 5}}))), ExchangeResult::kOk);
    ASSERT_EQ(doc.vertexCount, 1);
    EXPECT_EQ(doc.restVertices[0], Vec3(0, 0, 0));

    // Coordinates that are not finite leave the rest as they were instead of turning them all to NaN.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{1, 2, 3}, {HUGE_VAL, 2, 3}, {1, 2, 3}}))), ExchangeResult::kOk);
    ASSERT_EQ(doc.vertexCount, 2);
    EXPECT_FALSE(std::isnan(doc.restVertices[0].y) || std::isnan(doc.restVertices[1].y));

    // A face without area beside a triangle leaves the triangle's shading alone.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}) + Face({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}))),
              ExchangeResult::kOk);
    const Vec3 n = doc.faceNormals[0];
    for (int32_t c : doc.polygonCorners[0])
        ExpectNear(doc.vertexNormals[size_t(c)], n.x, n.y, n.z);
}

TEST_F(DxfTest, UnreadableFileLeavesTheMesh)
{
    AddVertex(doc, Vec3(1, 2, 3));
    AddPolygon(doc, 0, 0, 0, 0);
    const std::string missing = ::testing::TempDir() + "no/such.dxf";
    EXPECT_EQ(ImportDxf(doc, missing), ExchangeResult::kCannotOpen);
    EXPECT_EQ(ImportDxf(doc, ::testing::TempDir()), ExchangeResult::kCannotOpen);  // a folder
    EXPECT_EQ(messages.shown, (std::vector<std::string>{missing + strings::kCannotOpen,
                                                        ::testing::TempDir() + strings::kCannotOpen}));
    EXPECT_EQ(doc.vertexCount + doc.polygonCount, 2);
}

// ---------------------------------------------------------------------------
// Export

constexpr char kOpening[] = "0\nSECTION\n2\nENTITIES\n999\nCreated by Quillomark\n0\n";
constexpr char kClosing[] = "ENDSEC\n0\nEOF\n";

TEST_F(DxfTest, ExportWritesTheExactText)
{
    EXPECT_EQ(FormatDxf(doc), std::string(kOpening) + kClosing);

    AddVertex(doc, Vec3(1, 2, 3));
    AddVertex(doc, Vec3(0.0078125f, -0.0f, 2.5e-7f));
    AddVertex(doc, Vec3(-123456.5f, 1e30f, 0));
    AddPolygon(doc, 0, 1, 2, 2, 5);
    AddPolygon(doc, 0, 99, 2, 2, 1); // names a vertex the mesh lacks: nothing to write
    auto f = [](double v) {
        char buffer[80];
        std::snprintf(buffer, sizeof buffer, "%f\n", v);
        return std::string(buffer);
    };
    auto far = [&](const std::string& k) {
        return "1" + k + "\n" + f(123456.5) + "2" + k + "\n" + f(double(1e30f)) + "3" + k + "\n" + f(-0.0);
    };
    const std::string corners = "10\n-1.000000\n20\n2.000000\n30\n-3.000000\n11\n" + f(-0.0078125) + "21\n" + f(-0.0) +
                                "31\n" + f(-double(2.5e-7f)) + far("2") + far("3");
    EXPECT_EQ(FormatDxf(doc), std::string(kOpening) + "3DFACE\n8\nbody2\n62\n5\n" + corners + "0\n" + kClosing);
}

TEST_F(DxfTest, ExportWritesTheNearestDefaultColourAndKeepsTheTable)
{
    for (int i = 0; i < 4; ++i)
        AddVertex(doc, Vec3(float(i), float(i % 2), 0));
    for (int colour : {5, 7, 10, 11, 51, 91, 131, 171, 211, 12, 250, 40, 300, -1})
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

TEST_F(DxfTest, ExportReplacesTheFileOrSaysWhy)
{
    AddVertex(doc, Vec3(1, 2, 3));
    AddPolygon(doc, 0, 0, 0, 0, 3);
    test::TempFolder dir;
    const std::string path = dir / "out.dxf";
    test::SetFileText(path, std::string(4000, 'x')); // longer than what replaces it
    ASSERT_EQ(ExportDxf(doc, path), ExchangeResult::kOk);
    EXPECT_EQ(test::FileText(path), FormatDxf(doc));

    const std::string nowhere = dir / "missing/out.dxf";
    EXPECT_EQ(ExportDxf(doc, nowhere), ExchangeResult::kCannotOpen);
    EXPECT_EQ(messages.shown, std::vector<std::string>{nowhere + strings::kCannotOpen});
}

} // namespace
} // namespace qm
