#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::ExpectDefaultRestPose;
using test::ExpectIndicesInside;
using test::ExpectNear;
using test::ImportRokText;

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

// A palette colour given as bytes, each byte out of 255.
void ExpectBytes(const Rgb& c, int r, int g, int b)
{
    EXPECT_NEAR(c.r, r / 255.0, 1e-6);
    EXPECT_NEAR(c.g, g / 255.0, 1e-6);
    EXPECT_NEAR(c.b, b / 255.0, 1e-6);
}

class RokTest : public ::testing::Test {
  protected:
    RokTest() { doc.ResetScene(); }
    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(RokTest, ImportReadsPointsLinesFacesAndPalette)
{
    doc.ViewState().groupBinding = false;
    doc.colourTable[20] = {0.5f, 0.5f, 0.5f};
    ASSERT_EQ(ImportRokText(doc, SquareAndPoint()), ExchangeResult::kOk);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(doc.ViewState().groupBinding);

    // Stored as (-x, z, y), centred, the diagonal scaled to 30.
    const double s = 30.0 / std::sqrt(24.0);
    ASSERT_EQ(doc.vertexCount, 5);
    ExpectNear(doc.restVertices[2], -1 * s, 2 * s, -1 * s);
    ExpectNear(doc.restVertices[4], 1 * s, -2 * s, 1 * s);
    EXPECT_EQ(doc.vertexGroup[4], 301);

    ASSERT_EQ(doc.polygonCount, 3);
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{0, 1, 2, 3}));
    EXPECT_EQ(doc.polygonCorners[1], (PolygonCorners{0, 1, 4, 0})) << "a triangle repeats its first corner";
    // Lines 1 and 7 share their first point: the list starts at line 1's far
    // end and follows the outline 2-1-4-3 rather than crossing it.
    EXPECT_EQ(doc.polygonCorners[2], (PolygonCorners{1, 0, 3, 2}));
    EXPECT_EQ(doc.polygonColour[1], 2);
    ExpectDefaultRestPose(doc);

    // Two palette records, the cut third keeps its default, as do the rest of
    // the palette's 13; entries past it stay as they were.
    ExpectBytes(doc.colourTable[1], 0, 128, 255);
    ExpectBytes(doc.colourTable[2], 143, 143, 255);
    EXPECT_EQ(doc.colourTable[20], (Rgb{0.5f, 0.5f, 0.5f}));
}

TEST_F(RokTest, PointsInAnyOrderGrowTheArraysFirst)
{
    ASSERT_EQ(ImportRokText(doc, Rok(Point(7, 0, 1, 1, 1) + Point(1, 0, 0, 0, 0), "", "")), ExchangeResult::kOk);
    EXPECT_EQ(doc.vertexCount, 7);

    // A point far past the arrays' first size, in a file big enough to have that many.
    std::string padding;
    for (int i = 0; i < 40000; ++i)
        padding += "x ";
    const std::string text = "ROKU4 " + padding + "POINT\n" + Point(1, 2, 0, 0, 0) + Point(2, 2, 0, 1, 0) +
                             Point(4000, 2, 1, 1, 1) + "LINE0 " + Line(1, 4000) + Line(4000, 2) + Line(2, 1) + "FACE0 " +
                             FaceOf(0, {1, 2, 3}) + "END00";
    ASSERT_EQ(ImportRokText(doc, text), ExchangeResult::kOk);
    EXPECT_EQ(doc.vertexCount, 4000);
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

TEST_F(RokTest, OtherAndCutFilesGiveAnEmptyOrAShorterMesh)
{
    ASSERT_EQ(ImportRokText(doc, SquareAndPoint()), ExchangeResult::kOk);
    EXPECT_EQ(ImportRokText(doc, "ROKU3\nPOINT\n1 0 0 0 0 1 1 1\n"), ExchangeResult::kWrongFormat);
    EXPECT_EQ(doc.vertexCount, 0);
    EXPECT_EQ(ImportRokText(doc, ""), ExchangeResult::kWrongFormat);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{strings::kWrongFormat, strings::kWrongFormat}));

    const std::string missing = ::testing::TempDir() + "no/such.rok";
    EXPECT_EQ(ImportRok(doc, missing), ExchangeResult::kCannotOpen);
    EXPECT_EQ(messages.shown.back(), missing + strings::kCannotOpen);

    // Every prefix of a file: records cut short are dropped, nothing points outside.
    const std::string text = SquareAndPoint();
    for (size_t n = 0; n <= text.size(); ++n) {
        ImportRokText(doc, text.substr(0, n));
        ExpectIndicesInside(doc);
        ASSERT_FALSE(HasFatalFailure()) << "prefix of " << n;
    }
}

// Three quads in one plane (points (i, j, 0)); the middle one is written with
// the other winding, and lines 8 and 9 are the edges it shares.
std::string Strip(int group)
{
    std::string points;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 4; ++i)
            points += Point(1 + i + 4 * j, group, i, j, 0);
    std::string lines;
    for (int i = 0; i < 3; ++i)
        lines += Line(1 + i, 2 + i); // 1-3: bottom edges
    for (int i = 0; i < 3; ++i)
        lines += Line(5 + i, 6 + i); // 4-6: top edges
    for (int i = 0; i < 4; ++i)
        lines += Line(1 + i, 5 + i); // 7-10: uprights
    return Rok(points, lines, FaceOf(0, {1, 8, 4, 7}) + FaceOf(0, {8, 5, 9, 2}) + FaceOf(0, {9, 3, 6, 10}));
}

TEST_F(RokTest, PolygonsTurnAwayFromTheirGroupAndFromSharpFolds)
{
    // The middle quad folds back on both neighbours and is turned to match them.
    ASSERT_EQ(ImportRokText(doc, Strip(0)), ExchangeResult::kOk);
    ASSERT_EQ(doc.polygonCount, 3);
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
