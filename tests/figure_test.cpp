#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "SceneFixtures.h"

namespace qm {
namespace {

using test::AddPolygon;
using test::AddVertex;
using test::CountLinksInUse;
using test::CountNodesInUse;

constexpr int kSpareJoints[] = {6, 7, 8, 13, 14, 18, 19, 23, 28};

class FigureTest : public ::testing::Test {
  protected:
    FigureTest() { doc.ResetScene(); }
    Figure& figure() { return doc.FirstFigure(); }
    SceneNode& joint(int i) { return JointNode(figure(), i); }

    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(FigureTest, FreshSceneHoldsFigureZeroInItsDefaultRestPose)
{
    EXPECT_EQ(CountNodesInUse(doc), 30);
    EXPECT_EQ(CountLinksInUse(doc), 25);
    EXPECT_EQ(figure().document, &doc);
    EXPECT_EQ(figure().joint[kFigureJoints - 1], kFigureJoints - 1) << "the first nodes";
    EXPECT_EQ(figure().link[kFigureLinks - 1], kFigureLinks - 1) << "and the first links";
    EXPECT_EQ(FigureLink(figure(), 3).figureOwned, 1);
    EXPECT_NEAR(FigureLink(figure(), 1).restLength, 2.32, 1e-5) << "link 1 joins the shoulders";

    EXPECT_EQ(joint(kWaist).restPosition, Vec3(0, -0.54f, 2.1f));
    EXPECT_EQ(joint(kPelvis).restPosition, Midpoint(joint(kHipNeg).restPosition, joint(kHipPos).restPosition));
    EXPECT_EQ(joint(kThighNeg).restPosition, Midpoint(joint(kHipNeg).restPosition, joint(kKneeNeg).restPosition));
    EXPECT_EQ(joint(kThighPos).restPosition, Midpoint(joint(kHipPos).restPosition, joint(kKneePos).restPosition));
    const int unpickable[] = {4, 5, 6, 7, 8, 9, 13, 14, 18, 19, 23, 24, 28, 29};
    for (int i = 0; i < kFigureJoints; ++i) {
        const bool spare = std::count(std::begin(kSpareJoints), std::end(kSpareJoints), i) != 0;
        EXPECT_EQ(joint(i).restPosition == Vec3(-1000, 0, 0), spare) << "spares are parked, joint " << i;
        EXPECT_EQ(joint(i).position, joint(i).restPosition);
        EXPECT_EQ(joint(i).previousPosition, joint(i).restPosition);
        EXPECT_EQ(joint(i).pickable, std::count(std::begin(unpickable), std::end(unpickable), i) ? 0 : 1) << i;
    }
}

TEST_F(FigureTest, MeshAroundTheFigureNeverBindsToSpareJoints)
{
    doc.ViewState().groupBinding = false;
    for (int x = -8; x <= 8; x += 2)
        for (int z = -4; z <= 14; z += 2)
            AddVertex(doc, Vec3(float(x), 0.0f, float(z)));
    doc.BindMeshToNodes();
    for (int v = 0; v < doc.vertexCount; ++v) {
        const int n = doc.boundNode[static_cast<size_t>(v)];
        EXPECT_EQ(std::count(std::begin(kSpareJoints), std::end(kSpareJoints), n), 0) << "vertex " << v;
    }
    // A vertex by the +x hand binds to it.
    const int hand = AddVertex(doc, Vec3(6.1f, 0.1f, -0.5f));
    doc.BindMeshToNodes();
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(hand)], kHandPos);
}

TEST_F(FigureTest, MirrorCopiesOneSideAndCentresTheSpine)
{
    std::vector<Vec3> positions;
    for (int i = 0; i < kFigureJoints; ++i)
        positions.push_back(joint(i).position = Vec3(float(i) + 0.5f, float(i), float(-i)));

    MirrorPose(figure(), true);
    for (int j : {0, 1, 2, 3})
        EXPECT_EQ(joint(j).position.x, 0.0f);
    for (const auto& pair : kMirrorPairs) {
        const Vec3 n = joint(pair[0]).position, p = joint(pair[1]).position;
        EXPECT_EQ(n, positions[static_cast<size_t>(pair[0])]); // the source side stays
        EXPECT_EQ(p, Vec3(-n.x, n.y, n.z));
    }
    for (int j : {6, 7, 8, 9, 13, 14, 18, 19, 23, 28})
        EXPECT_EQ(joint(j).position, positions[static_cast<size_t>(j)]) << "joint " << j;

    joint(kKneePos).position = Vec3(4, 5, 6);
    MirrorPose(figure(), false);
    EXPECT_EQ(joint(kKneeNeg).position, Vec3(-4, 5, 6));
    EXPECT_EQ(joint(kKneePos).position, Vec3(4, 5, 6));
}

TEST_F(FigureTest, CommittedPoseBecomesTheRestPoseAndRebinds)
{
    doc.ViewState().groupBinding = false;
    const int v = AddVertex(doc, Vec3(4.9f, 0.15f, -0.44f)); // nearer the +x hand than the elbow
    doc.BindMeshToNodes();
    ASSERT_EQ(doc.boundNode[static_cast<size_t>(v)], kHandPos);

    doc.ViewState().skeletonEditMode = true;
    TranslateFigure(figure(), 1.0, 0.0, 0.0); // now the elbow is nearer
    CommitPoseAndRebind(figure(), true);
    for (int i = 0; i < kFigureJoints; ++i)
        EXPECT_EQ(joint(i).restPosition, joint(i).position) << "joint " << i;
    EXPECT_EQ(joint(kPelvis).restPosition, Midpoint(joint(kHipNeg).position, joint(kHipPos).position));
    EXPECT_EQ(joint(kChestNeg).pickable, 1); // still in the mode at commit time
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], kElbowPos);
    EXPECT_NEAR(FigureLink(figure(), 1).restLength, 2.32, 1e-5); // rigid move keeps lengths
}

TEST_F(FigureTest, TranslateSkipsFreedJointsAndSettleKeepsPins)
{
    joint(kHandNeg).inUse = 0;
    joint(kElbowNeg).velocity = Vec3(3, 3, 3);
    const Vec3 hand = joint(kHandNeg).position, elbow = joint(kElbowNeg).position;
    TranslateFigure(figure(), 2, 0, 0);
    EXPECT_EQ(joint(kHandNeg).position, hand);
    EXPECT_EQ(joint(kElbowNeg).position, elbow + Vec3(2, 0, 0));
    EXPECT_EQ(joint(kElbowNeg).velocity, Vec3());

    joint(kHead).pinned = 1;
    joint(kHead).velocity = Vec3(1, 0, 0);
    const Vec3 headPrevious = joint(kHead).previousPosition;
    SettleFigure(figure());
    EXPECT_EQ(joint(kHead).previousPosition, headPrevious);
    EXPECT_EQ(joint(kHead).velocity, Vec3());
    EXPECT_EQ(joint(kNeck).previousPosition, joint(kNeck).position);
}

TEST_F(FigureTest, PoseBlockRoundTripKeepsPoseAndRebindsFromStoredRest)
{
    doc.ViewState().groupBinding = false;
    const int v = AddVertex(doc, Vec3(-6.0f, 0.1f, -0.5f));
    TranslateFigure(figure(), 0, 0, 3); // current pose differs from rest
    joint(kHandNeg).restPosition = Vec3(20, 0, 0);
    joint(kHandPos).restPosition = Vec3(-6, 0, -0.5f); // stored rest puts the +x hand by the vertex
    joint(kNeck).selected = 1;

    BinaryWriter out;
    SaveFigurePose(figure(), out);
    ASSERT_EQ(out.Bytes().size(), size_t(kPoseBlockBytes));
    const auto saved = doc.pools.nodes;

    doc.ResetScene();
    const int w = AddVertex(doc, Vec3(-6.0f, 0.1f, -0.5f));
    ASSERT_EQ(v, w);
    BinaryReader in(out.Bytes());
    ASSERT_TRUE(LoadFigurePose(figure(), in));
    for (int i : {0, 1, 2, 10, 12, 20, 27}) {
        EXPECT_EQ(joint(i).position, saved[static_cast<size_t>(i)].position) << "joint " << i;
        EXPECT_EQ(joint(i).previousPosition, saved[static_cast<size_t>(i)].position);
    }
    EXPECT_EQ(joint(kHandPos).restPosition, Vec3(-6, 0, -0.5f));
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(w)], kHandPos);
    EXPECT_EQ(joint(kNeck).selected, 0);

    // A block cut short changes nothing.
    std::vector<uint8_t> cut(out.Bytes().begin(), out.Bytes().end() - 4);
    joint(kHead).position = Vec3(1, 2, 3);
    BinaryReader shortIn(cut);
    EXPECT_FALSE(LoadFigurePose(figure(), shortIn));
    EXPECT_EQ(joint(kHead).position, Vec3(1, 2, 3));
}

TEST_F(FigureTest, FullPoolsOrSlotsRefuseNewFiguresAndLeaveTheSceneAlone)
{
    for (int slot = 1; slot < 6; ++slot)
        ASSERT_EQ(doc.AddFigure(), slot);
    EXPECT_EQ(CountNodesInUse(doc), 180);
    EXPECT_EQ(CountLinksInUse(doc), 150);
    EXPECT_EQ(doc.figures[5].joint[0], 150);

    const SkeletonPools pools = doc.pools;
    const auto figures = doc.figures;
    EXPECT_EQ(doc.AddFigure(), kNoIndex); // 20 nodes left, a figure needs 30
    EXPECT_EQ(std::memcmp(&pools, &doc.pools, sizeof pools), 0);
    EXPECT_EQ(std::memcmp(&figures, &doc.figures, sizeof figures), 0);

    // Every slot active: refused even with free pools.
    doc.ResetScene();
    for (Figure& f : doc.figures)
        f.active = 1;
    EXPECT_EQ(doc.AddFigure(), kNoIndex);
    EXPECT_EQ(CountNodesInUse(doc), 30);
}

} // namespace
} // namespace qm
