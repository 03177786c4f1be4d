#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "platform/Files.h"
#include "scene/SceneFile.h"
#include "tools/SampleFigure.h"

namespace qm {
namespace {

constexpr double kFloorZ = 16.5;
constexpr double kHalfFieldOfView = 20.0 * 3.14159265358979323846 / 180.0;

class SampleTest : public ::testing::Test {
protected:
    SampleTest() { built = BuildSampleFigure(doc); }

    const Vec3& Position(int32_t v) const { return doc.restVertices[static_cast<size_t>(v)]; }
    const PolygonCorners& Corners(int p) const { return doc.polygonCorners[static_cast<size_t>(p)]; }

    // The figure joint a vertex is bound to, or -1 for a node outside figure 0.
    int BoundJoint(int v) const
    {
        const Figure& figure = doc.figures[0];
        const int32_t node = doc.boundNode[static_cast<size_t>(v)];
        const auto it = std::find(figure.joint.begin(), figure.joint.end(), node);
        return it == figure.joint.end() ? -1 : static_cast<int>(it - figure.joint.begin());
    }

    RecordingMessages messages;
    CBodyDoc doc{messages};
    bool built = false;
};

// (p2 - p0) x (p1 - p0) without normalising, as the renderer orients faces.
Vec3 FaceCross(const Vec3& p0, const Vec3& p1, const Vec3& p2) { return Cross(p2 - p0, p1 - p0); }

TEST_F(SampleTest, IsAFewThousandPolygonsNamingRealVertices)
{
    ASSERT_TRUE(built);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_GE(doc.polygonCount, 2000);
    EXPECT_LE(doc.polygonCount, 5000);

    std::vector<bool> used(static_cast<size_t>(doc.vertexCount), false);
    for (int p = 0; p < doc.polygonCount; ++p) {
        for (int32_t c : Corners(p)) {
            ASSERT_GE(c, 0) << "polygon " << p;
            ASSERT_LT(c, doc.vertexCount) << "polygon " << p;
            used[static_cast<size_t>(c)] = true;
        }
    }
    // A stray vertex would still be bound and pull its group's centroid.
    EXPECT_EQ(std::count(used.begin(), used.end(), false), 0);
}

// The face normal comes from the first three corners, so a triangle may
// repeat a corner only in the last place or over the first.
TEST_F(SampleTest, QuadsAreProperAndTrianglesKeepTheirFirstThreeCornersApart)
{
    ASSERT_TRUE(built);
    int triangles = 0;
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = Corners(p);
        const std::set<int32_t> distinct(c.begin(), c.end());
        ASSERT_GE(distinct.size(), 3u) << "polygon " << p;
        ASSERT_TRUE(c[0] != c[1] && c[1] != c[2] && c[0] != c[2]) << "polygon " << p;
        const bool triangle = distinct.size() == 3;
        triangles += triangle ? 1 : 0;

        // Distinct corners must not sit on one another either.
        for (size_t i = 0; i < 4; ++i) {
            for (size_t j = i + 1; j < 4; ++j) {
                if (c[i] != c[j]) {
                    ASSERT_GT(Distance(Position(c[i]), Position(c[j])), 1e-3) << "polygon " << p;
                }
            }
        }

        const Vec3 first = FaceCross(Position(c[0]), Position(c[1]), Position(c[2]));
        ASSERT_GT(first.Length(), 1e-6) << "polygon " << p << " has no area";
        if (!triangle) {
            // The other half of the quad must face the same way: no folds, no bow ties.
            const Vec3 second = FaceCross(Position(c[0]), Position(c[2]), Position(c[3]));
            ASSERT_GT(second.Length(), 1e-6) << "polygon " << p;
            EXPECT_GT(first.Dot(second), 0.0) << "polygon " << p << " is folded";
        }
    }
    EXPECT_GT(triangles, 0);  // the ends of the parts close onto poles
}

// Every part is a closed surface whose polygons all run the same way round
// (each edge is met once in each direction), and the volume it encloses,
// taken with the renderer's face orientation, is positive: so every face
// normal points out of its part.
TEST_F(SampleTest, EveryPartIsClosedWithNormalsPointingOutwards)
{
    ASSERT_TRUE(built);
    std::map<std::pair<int32_t, int32_t>, int> edges;
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = Corners(p);
        for (size_t i = 0; i < 4; ++i) {
            const int32_t a = c[i], b = c[(i + 1) % 4];
            if (a != b)
                ++edges[{a, b}];
        }
    }
    for (const auto& [edge, count] : edges) {
        ASSERT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second << " is run the same way twice";
        ASSERT_EQ(edges.count({edge.second, edge.first}), 1u)
            << "edge " << edge.first << "-" << edge.second << " borders a hole";
    }

    // Parts are the sets of vertices joined by polygons.
    std::vector<int32_t> parent(static_cast<size_t>(doc.vertexCount));
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int32_t v) {
        while (parent[static_cast<size_t>(v)] != v)
            v = parent[static_cast<size_t>(v)] = parent[static_cast<size_t>(parent[static_cast<size_t>(v)])];
        return v;
    };
    for (int p = 0; p < doc.polygonCount; ++p)
        for (int32_t c : Corners(p))
            parent[static_cast<size_t>(root(c))] = root(Corners(p)[0]);

    std::map<int32_t, double> volume;
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = Corners(p);
        const Vec3 &p0 = Position(c[0]), &p1 = Position(c[1]), &p2 = Position(c[2]), &p3 = Position(c[3]);
        volume[root(c[0])] += (p0.Dot(FaceCross(p0, p1, p2)) + p0.Dot(FaceCross(p0, p2, p3))) / 6.0;
    }
    EXPECT_GE(volume.size(), 11u);  // head, neck, torso and two of each limb part
    for (const auto& [part, v] : volume)
        EXPECT_GT(v, 0.01) << "the part holding vertex " << part << " is turned inside out";

    // What the renderer lights with agrees: on the front of the face, the
    // smoothed normals look forwards.
    const Vec3 face = JointNode(doc.figures[0], kFace).restPosition;
    int nearFace = 0;
    for (int v = 0; v < doc.vertexCount; ++v) {
        if (doc.vertexGroup[static_cast<size_t>(v)] != kSampleHead || Position(v).y > face.y - 0.1 ||
            std::fabs(Position(v).x) > 0.3)
            continue;
        ++nearFace;
        EXPECT_LT(doc.vertexNormals[static_cast<size_t>(v)].y, 0.0) << "vertex " << v;
    }
    EXPECT_GT(nearFace, 0);
}

TEST_F(SampleTest, GroupBindingTiesEachPartToItsOwnJoints)
{
    ASSERT_TRUE(built);
    ASSERT_TRUE(doc.ViewState().groupBinding);
    const std::map<int32_t, std::set<int>> allowed = {
        {kSampleHead, {kHead, kFace}},
        {kSampleNeck, {kNeck, kHead, kFace}},
        {kSampleChest, {kNeck, kChestNeg, kChestPos}},
        {kSampleBelly, {kWaist, kChestNeg, kChestPos}},
        {kSamplePelvis, {kWaist, kPelvis, kHipNeg, kHipPos}},
        {kSampleUpperArmNeg, {kShoulderNeg, kElbowNeg}},
        {kSampleForearmNeg, {kElbowNeg, kHandNeg}},
        {kSampleHandNeg, {kHandNeg}},
        {kSampleUpperArmPos, {kShoulderPos, kElbowPos}},
        {kSampleForearmPos, {kElbowPos, kHandPos}},
        {kSampleHandPos, {kHandPos}},
        {kSampleThighNeg, {kHipNeg, kThighNeg, kKneeNeg}},
        {kSampleShinNeg, {kKneeNeg, kFootNeg}},
        {kSampleFootNeg, {kFootNeg}},
        {kSampleThighPos, {kHipPos, kThighPos, kKneePos}},
        {kSampleShinPos, {kKneePos, kFootPos}},
        {kSampleFootPos, {kFootPos}},
    };

    std::map<int32_t, int> perGroup;
    std::set<int> carried;
    for (int v = 0; v < doc.vertexCount; ++v) {
        const int32_t group = doc.vertexGroup[static_cast<size_t>(v)];
        const auto it = allowed.find(group);
        ASSERT_NE(it, allowed.end()) << "vertex " << v << " has group " << group;
        const int joint = BoundJoint(v);
        EXPECT_EQ(it->second.count(joint), 1u) << "vertex " << v << " of group " << group << " is bound to joint "
                                               << joint;
        ++perGroup[group];
        carried.insert(joint);
    }
    EXPECT_EQ(perGroup.size(), allowed.size()) << "a part has no vertices";

    // In the skeleton edit mode every named joint shows a piece of the mesh.
    for (int joint : {kWaist, kNeck, kHead, kFace, kChestNeg, kChestPos, kPelvis, kShoulderNeg, kElbowNeg, kHandNeg,
                      kShoulderPos, kElbowPos, kHandPos, kHipNeg, kKneeNeg, kFootNeg, kThighNeg, kHipPos, kKneePos,
                      kFootPos, kThighPos})
        EXPECT_EQ(carried.count(joint), 1u) << "no vertex is bound to joint " << joint;
}

TEST_F(SampleTest, CameraFramesTheWholeFigureFromTheFront)
{
    ASSERT_TRUE(built);
    const SceneViewState& view = doc.ViewState();
    EXPECT_GE(view.cameraDistance, 1.0f);
    EXPECT_LE(view.cameraDistance, 200.0f);
    EXPECT_EQ(view.cameraTwist, 0.0f);
    EXPECT_EQ(view.modelScale, 1.0f);

    // The eye as each frame places it, and gluLookAt's frame with -z up.
    const double el = view.cameraElevation, az = view.cameraAzimuth, d = view.cameraDistance;
    const Vec3 target = view.cameraTarget;
    const Vec3 towardsEye =
        Vec3::FromDouble(std::cos(az) * std::cos(el), std::sin(az) * std::cos(el), std::sin(el));
    const Vec3 eye = target + towardsEye * d;
    EXPECT_LT(Distance(eye, view.cameraEye), 1e-3);
    const Vec3 forward = (target - eye) * (1.0 / d);
    const Vec3 right = Cross(forward, Vec3(0, 0, -1));
    const Vec3 up = Cross(right * (1.0 / right.Length()), forward);

    const double tanHalf = std::tan(kHalfFieldOfView), aspect = 4.0 / 3.0;
    double lowest = 1.0, highest = -1.0, maxZ = -1e9;
    for (int v = 0; v < doc.vertexCount; ++v) {
        const Vec3 rel = Position(v) - eye;
        const double depth = rel.Dot(forward);
        ASSERT_GT(depth, 0.1) << "vertex " << v << " is behind the camera";
        const double sx = rel.Dot(right) / right.Length() / depth / (tanHalf * aspect);
        const double sy = rel.Dot(up) / depth / tanHalf;
        EXPECT_LT(std::fabs(sx), 1.0) << "vertex " << v << " is off the sides of a 4:3 view";
        EXPECT_LT(std::fabs(sy), 1.0) << "vertex " << v << " is off the top or bottom of the view";
        lowest = std::min(lowest, sy);
        highest = std::max(highest, sy);
        maxZ = std::max(maxZ, double(Position(v).z));
    }
    EXPECT_GT((highest - lowest) / 2.0, 0.7) << "the figure fills too little of the view";
    EXPECT_LT(maxZ, kFloorZ) << "the figure reaches through the floor";

    // The figure faces -y: the eye must be on that side, in front of the face.
    const Vec3 face = JointNode(doc.figures[0], kFace).restPosition;
    EXPECT_LT(eye.y, face.y - 5.0);

    // The light comes from the front and from above, steeply enough for the
    // shadow to be drawn.
    const Vec3 light = view.lightPosition;
    EXPECT_LT(light.y, 0.0f);
    EXPECT_LT(light.z / light.Length(), -0.2);
}

TEST_F(SampleTest, DependsOnNothingTheDocumentHeldBefore)
{
    ASSERT_TRUE(built);
    const std::vector<uint8_t> fresh = SaveScene(doc);

    RecordingMessages otherMessages;
    CBodyDoc used(otherMessages);
    used.ResetScene();
    test::AddVertex(used, Vec3(1, 2, 3), 7);
    test::AddPolygon(used, 0, 0, 0, 0, 9);
    used.colourTable[32] = {0.1f, 0.2f, 0.3f};
    used.colourTable[200] = {0.4f, 0.5f, 0.6f};
    SceneViewState& view = used.ViewState();
    view.cameraDistance = 77.0f;
    view.cameraTwist = 0.5f;
    view.lightPosition = Vec3(1, 2, 3);
    view.modelScale = 2.0f;
    view.extraFlags[0] = 5;
    view.extraFlags[3] = 0;
    view.groupBinding = false;
    JointNode(used.FirstFigure(), kHandNeg).restPosition = Vec3(-9, 9, 9);
    ASSERT_TRUE(BuildSampleFigure(used));
    EXPECT_TRUE(SaveScene(used) == fresh);
}

TEST_F(SampleTest, CommittedSampleIsWhatTheGeneratorMakes)
{
    ASSERT_TRUE(built);
    const std::string path = std::string(QM_SOURCE_DIR) + "/samples/figure.abd";
    std::string committed;
    ASSERT_EQ(ReadWholeFile(path, committed), FileRead::Ok) << path;
    const std::vector<uint8_t> now = SaveScene(doc);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), committed.begin(), committed.end(),
                           [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }))
        << "samples/figure.abd is out of date: run build/tools/make_sample samples/figure.abd";
}

} // namespace
} // namespace qm
