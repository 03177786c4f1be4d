#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>
#include <tuple>

#include "Fixtures.h"
#include "formats/DxfExport.h"
#include "formats/TextScan.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using namespace test;

using Lines = std::vector<std::string>;

Lines LinesOf(const std::string& text)
{
    std::istringstream in(text);
    LineReader reader(in);
    Lines items;
    std::string_view item;
    while (reader.Next(item))
        items.emplace_back(item);
    return items;
}

// Files from any system: CR, CR LF and LF end lines alike, also where a CR LF
// pair straddles the reader's blocks; a line too long goes on as the next one.
TEST(TextScanTest, LinesEndAlikeOnEverySystemAndLongOnesGoOn)
{
    EXPECT_EQ(LinesOf("a\nb\r\nc\rd\r\r\n\n"), (Lines{"a", "b", "c", "d", "", ""}));
    for (const char* ending : {"\r\n", "\r"}) {
        std::string text;
        for (int i = 0; i < 30000; ++i)
            text += std::to_string(i % 1000) + ending;
        Lines expected;
        for (int i = 0; i < 30000; ++i)
            expected.push_back(std::to_string(i % 1000));
        EXPECT_TRUE(LinesOf(text) == expected) << "ending " << int(ending[1]);
    }
    const std::string head(LineReader::kMaxLine, 'a');
    EXPECT_EQ(LinesOf(head + "bcd\nz\n"), (Lines{head, "bcd", "z"}));
}

// Numbers in exchange files read as the C library reads them, but for
// integers out of range, which saturate instead of wrapping.
TEST(TextScanTest, NumbersReadAsTheCLibraryDoes)
{
    for (const char* s : {"62", "  62", "+7", "-13abc", "abc", "", "0x1A", " \t-0", "-2147483648", "\r\n5"})
        EXPECT_EQ(ParseInt(s), std::atoi(s)) << '"' << s << '"';
    EXPECT_TRUE(ParseInt("99999999999999999999") == INT_MAX && ParseInt("-99999999999999999999") == INT_MIN);
    for (const char* s : {"-2.5", "  3.25e2", ".5", "5.", "-.5e-2", "+-3", "-0x1p3", "1e400", "1e-400", "4.9e-324",
                          "-Infinity", "1.5e+", "abc", "3.14\r", "\t2.5 junk", "0.1", "123456789.123456789", "-0"}) {
        const double expected = std::atof(s), got = ParseReal(s);
        EXPECT_TRUE(got == expected && std::signbit(got) == std::signbit(expected)) << '"' << s << '"';
    }
    EXPECT_TRUE(std::isnan(ParseReal(" -NaN")));
}

using Corner = std::array<double, 3>;

// One 3DFACE the way the export writes it; corners past the fourth reuse code 13.
std::string Face(const std::vector<Corner>& corners, std::optional<int> colour = std::nullopt)
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
class RokTest : public DxfTest {};

TEST_F(DxfTest, ImportConvertsAxesFitsTheViewAndWelds)
{
    TranslateFigure(doc.FirstFigure(), 1, 2, 3);
    doc.colourTable[3] = {0.1f, 0.1f, 0.1f};

    // Two quads sharing the edge (2,0,0)-(2,4,2); the second repeats two
    // corners of the first, one of them a little off.
    const std::string text = Dxf(Face({{0, 0, 0}, {2, 0, 0}, {2, 4, 2}, {0, 4, 2}}) +
                                 Face({{2, 0, 0}, {2, 0, 0}, {2, 4, 2}, {2, 3.9999, 2}}));
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    EXPECT_TRUE(messages.shown.empty() && !doc.ViewState().groupBinding);
    // Stored as (-x, y, -z), centred, the diagonal scaled to 30, sorted by descending x, y, z.
    const double s = 30.0 / std::sqrt(24.0);
    ASSERT_TRUE(doc.vertexCount == 4 && doc.polygonCount == 2);
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
    ASSERT_TRUE(WeldVertices(doc) && doc.vertexCount == 4);
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
    ASSERT_TRUE(doc.polygonCount == 4 && doc.vertexCount == 4 + 3 * 3);
    EXPECT_EQ(std::vector<int32_t>(doc.polygonColour.begin(), doc.polygonColour.begin() + 4),
              (std::vector<int32_t>{3, 256, -3, 0}));  // as read, even outside the table
    EXPECT_EQ(doc.colourTable[0], DefaultColour(0)) << "a file with colours keeps white";
}

TEST_F(DxfTest, OddFacesAndValuesStayInsideTheMesh)
{
    std::vector<Corner> many;
    for (int i = 0; i < 3000; ++i) // more corners than the arrays' surplus
        many.push_back({double(i), double(i % 7), 1});
    const std::string text = Dxf(Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}) + Face({{5, 5, 5}}) + Face({}, 9) +
                                 Face({{0, 0, 3}, {1, 0, 3}, {1, 1, 3}, {0, 1, 3}, {7, 7, 7}}) + Face(many));
    ASSERT_EQ(ImportDxfText(doc, text), ExchangeResult::kOk);
    ASSERT_EQ(doc.polygonCount, 4);
    EXPECT_EQ(doc.polygonColour[2], 0) << "the face without corners is dropped, its colour with it";
    ExpectIndicesInside(doc);
    EXPECT_EQ(doc.polygonCorners[0][2], doc.polygonCorners[0][3]) << "a triangle repeats its last corner";
    EXPECT_EQ(doc.vertexCount, 3 + 1 + 4 + 1 + 3000) << "the pentagon's fifth corner is a vertex of its own";

    // A mesh without extent is centred but not scaled.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{3, 4, 5}, {3, 4, 5}, {3, 4, 5}, {3, 4, 5}}))), ExchangeResult::kOk);
    EXPECT_TRUE(doc.vertexCount == 1 && doc.restVertices[0] == Vec3(0, 0, 0));

    // Coordinates that are not finite leave the rest as they were instead of turning them all to NaN.
    ASSERT_EQ(ImportDxfText(doc, Dxf(Face({{1, 2, 3}, {HUGE_VAL, 2, 3}, {1, 2, 3}}))), ExchangeResult::kOk);
    EXPECT_TRUE(doc.vertexCount == 2 && !std::isnan(doc.restVertices[0].y) && !std::isnan(doc.restVertices[1].y));

    // A face without area beside a triangle leaves the triangle's shading alone.
    const std::string flat = Face({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}) + Face({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    ASSERT_EQ(ImportDxfText(doc, Dxf(flat)), ExchangeResult::kOk);
    const Vec3 n = doc.faceNormals[0];
    for (int32_t c : doc.polygonCorners[0])
        ExpectNear(doc.vertexNormals[size_t(c)], n.x, n.y, n.z);
}

TEST_F(DxfTest, UnreadableFileLeavesTheMeshAndAnUnwritableOneIsSaid)
{
    AddVertex(doc, Vec3(1, 2, 3));
    AddPolygon(doc, 0, 0, 0, 0);
    const std::string missing = ::testing::TempDir() + "no/such.dxf";
    EXPECT_EQ(ImportDxf(doc, missing), ExchangeResult::kCannotOpen);
    EXPECT_EQ(ImportDxf(doc, ::testing::TempDir()), ExchangeResult::kCannotOpen);  // a folder
    EXPECT_EQ(ExportDxf(doc, missing), ExchangeResult::kCannotOpen);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{missing + strings::kCannotOpen,
                                                        ::testing::TempDir() + strings::kCannotOpen,
                                                        missing + strings::kCannotOpen}));
    EXPECT_EQ(doc.vertexCount + doc.polygonCount, 2);
}

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

    test::TempFolder dir;  // the same text in the file, over a longer one
    test::SetFileText(dir / "out.dxf", std::string(4000, 'x'));
    ASSERT_EQ(ExportDxf(doc, dir / "out.dxf"), ExchangeResult::kOk);
    EXPECT_EQ(test::FileText(dir / "out.dxf"), FormatDxf(doc));
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
    EXPECT_TRUE(doc.colourTable == before);
    std::vector<int> written;
    for (size_t at = out.find("62\n"); at != std::string::npos; at = out.find("62\n", at + 1))
        written.push_back(std::atoi(out.c_str() + at + 3));
    // Equal default colours go to the lowest entry; a changed colour to its
    // nearest default; a number outside the table to what entry 0 maps to.
    EXPECT_EQ(written, (std::vector<int>{5, 0, 0, 1, 2, 3, 4, 5, 6, 12, 250, 32, 5, 5}));
}

// A ROK file from its sections; the unused tokens are filled in.
std::string Rok(const std::string& points, const std::string& lines, const std::string& faces,
                const std::string& palette = "")
{
    return "ROKU4\nmodel 1 2\nPOINT\n" + points + "LINE0\n" + lines + "FACE0\n" + faces + "END00\n" + palette;
}

std::string Point(int n, int group, double x, double y, double z)
{
    return std::to_string(n) + " " + std::to_string(group) + " 0 0 0 " + std::to_string(x) + " " + std::to_string(y) +
           " " + std::to_string(z) + "\n";
}

std::string Line(int a, int b)
{
    return std::to_string(a) + " " + std::to_string(b) + " 0 0\n";
}

std::string FaceOf(int colour, const std::vector<int>& lines)
{
    std::string s = std::to_string(lines.size()) + " " + std::to_string(colour) + " 0";
    for (int l : lines)
        s += " " + std::to_string(l);
    return s + "\n";
}

// A square of points 1 to 4 and point 5 off its plane; groups outside 0 to
// 255, so that neither orientation pass turns anything.
std::string SquareAndPoint()
{
    return Rok(Point(1, 300, 0, 0, 0) + Point(2, 300, 2, 0, 0) + Point(3, 300, 2, 0, 4) + Point(4, 300, 0, 0, 4) +
                   Point(5, 301, 0, 2, 0),
               Line(1, 2) + Line(2, 3) + Line(3, 4) + Line(4, 1) + Line(1, 5) + Line(2, 5) + Line(1, 4),
               FaceOf(7, {1, 2, 3, 4}) + FaceOf(2, {1, 6, 5}) + FaceOf(0, {1, 7, 3, 2}),
               "pal 0 0\n255 0 0 1 2 3 x\n0 128 255 1 2 3 x\n10 20");
}

TEST_F(RokTest, ImportReadsPointsLinesFacesAndPalette)
{
    doc.ViewState().groupBinding = false;
    doc.colourTable[20] = {0.5f, 0.5f, 0.5f};
    ASSERT_EQ(ImportRokText(doc, SquareAndPoint()), ExchangeResult::kOk);
    EXPECT_TRUE(messages.shown.empty() && doc.ViewState().groupBinding);
    // Stored as (-x, z, y), centred, the diagonal scaled to 30.
    const double s = 30.0 / std::sqrt(24.0);
    ASSERT_TRUE(doc.vertexCount == 5 && doc.polygonCount == 3);
    ExpectNear(doc.restVertices[2], -1 * s, 2 * s, -1 * s);
    ExpectNear(doc.restVertices[4], 1 * s, -2 * s, 1 * s);
    EXPECT_EQ(doc.vertexGroup[4], 301);
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{0, 1, 2, 3}));
    EXPECT_EQ(doc.polygonCorners[1], (PolygonCorners{0, 1, 4, 0})) << "a triangle repeats its first corner";
    // Lines 1 and 7 share their first point: the list starts at line 1's far
    // end and follows the outline 2-1-4-3 rather than crossing it.
    EXPECT_EQ(doc.polygonCorners[2], (PolygonCorners{1, 0, 3, 2}));
    EXPECT_EQ(doc.polygonColour[1], 2);
    ExpectDefaultRestPose(doc);

    // Two palette records, the cut third keeps its default, as do the rest of
    // the palette's 13; entries past it stay as they were.
    for (const auto& [entry, r, g, b] : {std::tuple{1, 0, 128, 255}, {2, 143, 143, 255}})  // bytes out of 255
        ExpectNear(Vec3(doc.colourTable[size_t(entry)].r, doc.colourTable[size_t(entry)].g,
                        doc.colourTable[size_t(entry)].b), r / 255.0, g / 255.0, b / 255.0, 1e-6);
    EXPECT_EQ(doc.colourTable[20], (Rgb{0.5f, 0.5f, 0.5f}));
}

TEST_F(RokTest, PointsInAnyOrderGrowTheArraysFirst)
{
    ASSERT_EQ(ImportRokText(doc, Rok(Point(7, 0, 1, 1, 1) + Point(1, 0, 0, 0, 0), "", "")), ExchangeResult::kOk);
    EXPECT_EQ(doc.vertexCount, 7);

    // A point far past the arrays' first size, in a file big enough to have that many.
    const std::string text = "ROKU4 " + std::string(80000, ' ') + "POINT\n" + Point(1, 2, 0, 0, 0) +
                             Point(2, 2, 0, 1, 0) + Point(4000, 2, 1, 1, 1) + "LINE0 " + Line(1, 4000) +
                             Line(4000, 2) + Line(2, 1) + "FACE0 " + FaceOf(0, {1, 2, 3}) + "END00";
    ASSERT_TRUE(ImportRokText(doc, text) == ExchangeResult::kOk && doc.vertexCount == 4000);
    EXPECT_EQ(doc.vertexGroup[3999] + doc.vertexGroup[0], 4) << "points read before the arrays grew keep their group";
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{0, 3999, 1, 0}));
    ExpectIndicesInside(doc);
}

TEST_F(RokTest, ContradictionsGiveAnEmptyMesh)
{
    const std::string square =
        Point(1, 0, 0, 0, 0) + Point(2, 0, 1, 0, 0) + Point(3, 0, 1, 1, 0) + Point(4, 0, 0, 1, 0);
    const std::string lines = Line(1, 2) + Line(2, 3) + Line(3, 4) + Line(4, 1) + Line(1, 9);
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"point 0", Rok(Point(0, 0, 1, 1, 1), "", "")},
        {"negative point", Rok(square + Point(-3, 0, 1, 1, 1), "", "")},
        {"point beyond what the file holds", Rok(square + Point(1000000, 0, 1, 1, 1), "", "")},
        {"face of two lines", Rok(square, lines, FaceOf(0, {1, 2}))},
        {"face of five lines", Rok(square, lines, FaceOf(0, {1, 2, 3, 4, 1}))},
        {"face of a million lines", Rok(square, lines, "1000000 0 0 1 2 3")},
        {"line 0", Rok(square, lines, FaceOf(0, {0, 1, 2}))},
        {"line past the lines", Rok(square, lines, FaceOf(0, {1, 2, 6}))},
        {"corner past the points", Rok(square, lines, FaceOf(0, {1, 5, 4}))},
        {"corner never found", Rok(square, lines, FaceOf(0, {1, 1, 1}))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(ImportRokText(doc, SquareAndPoint()), ExchangeResult::kOk);
        messages.shown.clear();
        EXPECT_EQ(ImportRokText(doc, c.text), ExchangeResult::kBadData);
        EXPECT_EQ(messages.shown, std::vector<std::string>{strings::kBadData});
        EXPECT_EQ(doc.vertexCount + doc.polygonCount, 0);
        ExpectDefaultRestPose(doc);
    }
}

TEST_F(RokTest, OtherFilesGiveAnEmptyMesh)
{
    ASSERT_EQ(ImportRokText(doc, SquareAndPoint()), ExchangeResult::kOk);
    EXPECT_TRUE(ImportRokText(doc, "ROKU3\nPOINT\n1 0 0 0 0 1 1 1\n") == ExchangeResult::kWrongFormat &&
                doc.vertexCount == 0);
    EXPECT_EQ(ImportRokText(doc, ""), ExchangeResult::kWrongFormat);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{strings::kWrongFormat, strings::kWrongFormat}));
}

TEST_F(RokTest, PolygonsTurnAwayFromTheirGroupAndFromSharpFolds)
{
    // Three quads in one plane (points (i, j, 0)); the middle one, written with
    // the other winding (lines 8 and 9 are the edges it shares), folds back on
    // both neighbours and is turned to match them.
    std::string strip, edges;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 4; ++i)
            strip += Point(1 + i + 4 * j, 0, i, j, 0);
    for (int i = 0; i < 3; ++i)
        edges += Line(1 + i, 2 + i); // 1-3: bottom edges
    for (int i = 0; i < 3; ++i)
        edges += Line(5 + i, 6 + i); // 4-6: top edges
    for (int i = 0; i < 4; ++i)
        edges += Line(1 + i, 5 + i); // 7-10: uprights
    strip = Rok(strip, edges, FaceOf(0, {1, 8, 4, 7}) + FaceOf(0, {8, 5, 9, 2}) + FaceOf(0, {9, 3, 6, 10}));
    ASSERT_TRUE(ImportRokText(doc, strip) == ExchangeResult::kOk && doc.polygonCount == 3);
    for (int p = 0; p < 3; ++p)
        EXPECT_NEAR(doc.faceNormals[static_cast<size_t>(p)].y, -1.0, 1e-6) << p;

    // A lone square at ROK z = 1 whose group also holds a point at z = -5: it
    // ends up facing away from that centroid (+y) whichever way it was written.
    const std::string points = Point(1, 4, 0, 0, 1) + Point(2, 4, 1, 0, 1) + Point(3, 4, 1, 1, 1) +
                               Point(4, 4, 0, 1, 1) + Point(5, 4, 0, 0, -5);
    const std::string lines = Line(1, 2) + Line(2, 3) + Line(3, 4) + Line(4, 1);
    for (const std::vector<int>& order : {std::vector<int>{1, 2, 3, 4}, std::vector<int>{4, 3, 2, 1}}) {
        ASSERT_EQ(ImportRokText(doc, Rok(points, lines, FaceOf(0, order))), ExchangeResult::kOk);
        EXPECT_NEAR(doc.faceNormals[0].y, 1.0, 1e-6) << order[0];
    }
}

} // namespace
} // namespace qm
