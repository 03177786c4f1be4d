#include <string>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "ViewFixture.h"

namespace qm {
namespace {

using test::CountLinksInUse;
using test::CountNodesInUse;

class ViewCommandsTest : public test::ViewTest {
  protected:
    void StartWithSwitch(const char* key, const char* value)
    {
        settings.values[{"View", key}] = value;
        Start();
    }
    SceneNode& joint(int j) { return JointNode(doc.FirstFigure(), j); }
    const ViewSwitches& switches() { return view->Options().Switches(); }
};

TEST_F(ViewCommandsTest, EverySwitchWritesItsKeyAtOnceEvenBackToTheDefault)
{
    const struct {
        int id;
        const char* key;
        int32_t ViewSwitches::*field;
    } rows[] = {
        {kCmdCameraTrace, "UseCameraTrace", &ViewSwitches::useCameraTrace},
        {kCmdDrawShadow, "DrawShadow", &ViewSwitches::drawShadow},
        {kCmdDrawGround, "DrawGround", &ViewSwitches::drawGround},
        {kCmdDrawCount, "DrawCount", &ViewSwitches::drawCount},
        {kCmdMotionBlur, "UseMotionBlower", &ViewSwitches::useMotionBlower},
        {kCmdAntiAlias, "UseAntiEdge", &ViewSwitches::useAntiEdge},
        {kCmdDepthOfField, "UseDepth", &ViewSwitches::useDepth},
        {kCmdFastEffects, "UseFastBlower", &ViewSwitches::useFastBlower},
        {kCmdFlatShade, "UseFlatShade", &ViewSwitches::useFlatShade},
        {kCmdAnimeShade, "AnimeShade", &ViewSwitches::animeShade},
        {kCmdCartoonEdge, "UseEdge", &ViewSwitches::useEdge},
        {kCmdDoublePlane, "DrawDoublePlane", &ViewSwitches::drawDoublePlane},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        const int32_t initial = switches().*row.field;
        for (const int32_t expected : {initial == 0 ? 1 : 0, initial}) {
            const int flushes = settings.flushes;
            ASSERT_TRUE(view->Execute(row.id));
            EXPECT_EQ(switches().*row.field, expected);
            EXPECT_EQ(view->Query(row.id).checked, expected != 0);
            EXPECT_EQ(settings.written.back(), (SettingsEntry{"View", row.key, std::to_string(expected)}));
            EXPECT_GT(settings.flushes, flushes);
        }
    }
}

TEST_F(ViewCommandsTest, MotionBlurAndTheEightPassEffectsGreyEachOther)
{
    view->SetFrameSink(nullptr); // before the drawing side exists
    ASSERT_TRUE(view->Execute(kCmdMotionBlur));
    view->SetFrameSink(&frames);
    ASSERT_TRUE(view->Execute(kCmdMotionBlur));
    EXPECT_EQ(frames.counterResets, 0) << "switched off: nothing to restart";
    ASSERT_TRUE(view->Execute(kCmdMotionBlur));
    EXPECT_EQ(frames.counterResets, 1) << "motion blur starts from the current image";
    for (const int effect : {kCmdAntiAlias, kCmdDepthOfField})
        EXPECT_FALSE(view->Query(effect).enabled || view->Execute(effect)) << "refused however it arrives";
    EXPECT_EQ(switches().useAntiEdge + switches().useDepth, 0);
    ASSERT_TRUE(view->Execute(kCmdMotionBlur));

    for (const int effect : {kCmdAntiAlias, kCmdDepthOfField}) {
        ASSERT_TRUE(view->Execute(effect));
        EXPECT_FALSE(view->Query(kCmdMotionBlur).enabled) << effect;
        ASSERT_TRUE(view->Execute(effect));
        EXPECT_TRUE(view->Query(kCmdMotionBlur).enabled) << effect;
    }

    // Both on from the settings file: each stays on while its item is greyed.
    StartWithSwitch("UseAntiEdge", "1");
    StartWithSwitch("UseMotionBlower", "1");
    const size_t writes = settings.written.size();
    for (const int greyed : {kCmdAntiAlias, kCmdMotionBlur}) {
        const CommandState rule = view->Query(greyed);
        EXPECT_TRUE(rule.handled && rule.checked && !rule.enabled) << greyed;
        EXPECT_FALSE(view->Execute(greyed));
    }
    EXPECT_EQ(switches().useAntiEdge + switches().useMotionBlower, 2);
    EXPECT_EQ(settings.written.size(), writes) << "a refused command writes nothing";
}

TEST_F(ViewCommandsTest, AnimeShadingGreysFlatShadingAndFlipsModuloTwo)
{
    StartWithSwitch("AnimeShade", "2");
    EXPECT_TRUE(view->Query(kCmdAnimeShade).checked);
    EXPECT_FALSE(view->Execute(kCmdFlatShade));

    ASSERT_TRUE(view->Execute(kCmdAnimeShade));
    EXPECT_EQ(settings.Read("View", "AnimeShade"), "1") << "2 + 1 is odd: on";
    ASSERT_TRUE(view->Execute(kCmdAnimeShade));
    EXPECT_TRUE(view->Execute(kCmdFlatShade));
    EXPECT_TRUE(view->Query(kCmdAnimeShade).enabled) << "flat shading does not grey anime shading";
}

TEST_F(ViewCommandsTest, PresetViewsKeepTargetAndDistanceAndStopTheTurning)
{
    state().cameraTarget = Vec3(1, 2, 3);
    state().cameraDistance = 50.0f;
    state().cameraTwist = 0.7f;
    motion() = CameraMotion{0.4f, -0.2f, 0.1f, Vec3(), 0.0f};  // elevation, twist and azimuth turning
    ASSERT_TRUE(view->Execute(kCmdTopView));
    EXPECT_EQ(state().cameraElevation, -1.6534700f);
    ASSERT_TRUE(view->Execute(kCmdFrontView));
    Step(3);
    EXPECT_EQ(state().cameraElevation, 0.0f) << "no glide left";
    EXPECT_EQ(state().cameraAzimuth, -1.5707965f);
    EXPECT_EQ(state().cameraTwist, 0.0f);
    EXPECT_EQ(state().cameraTarget, Vec3(1, 2, 3));
    EXPECT_EQ(state().cameraDistance, 50.0f);
}

TEST_F(ViewCommandsTest, SkeletonEditModeResetsOnEntryMirrorsAndCommitsOnExit)
{
    joint(kHandNeg).position = joint(kHandNeg).restPosition + Vec3(0, 0, 4);
    EXPECT_FALSE(view->Query(kCmdMirrorFromLeft).enabled);
    EXPECT_FALSE(view->Execute(kCmdMirrorFromRight));
    EXPECT_NE(joint(kHandNeg).position, joint(kHandNeg).restPosition) << "a refused mirror leaves the pose";

    ASSERT_TRUE(view->Execute(kCmdSkeletonEdit));
    EXPECT_TRUE(view->Query(kCmdSkeletonEdit).checked);
    EXPECT_EQ(joint(kHandNeg).position, joint(kHandNeg).restPosition) << "editing starts from the rest pose";

    for (const bool fromNegative : {true, false}) {
        const int from = fromNegative ? kHandNeg : kHandPos, to = fromNegative ? kHandPos : kHandNeg;
        joint(from).position = Vec3(fromNegative ? -9.0f : 9.0f, 1, 2);
        joint(kHead).position.x = 1.0f;
        ASSERT_TRUE(view->Execute(fromNegative ? kCmdMirrorFromLeft : kCmdMirrorFromRight));
        EXPECT_EQ(joint(to).position, Vec3(fromNegative ? 9.0f : -9.0f, 1, 2));
        EXPECT_EQ(joint(to).restPosition, joint(to).position) << "committed as the rest pose";
        EXPECT_EQ(joint(kHead).position.x, 0.0f) << "the spine centred";
    }

    const Vec3 fitted = joint(kHead).restPosition + Vec3(0, 0, 4);
    joint(kHead).position = fitted;
    ASSERT_TRUE(view->Execute(kCmdSkeletonEdit));
    EXPECT_FALSE(state().skeletonEditMode);
    EXPECT_EQ(joint(kHead).restPosition, fitted) << "leaving keeps the fitted pose";
}

TEST_F(ViewCommandsTest, GroupBindingSwitchesTheCandidatesAndRebinds)
{
    // A lone vertex far from the figure, with a free node right on it: only
    // binding vertex by vertex may pick the free node.
    test::AddVertex(doc, Vec3(500, 0, 0), 0);
    const int free = AllocNode(doc.pools);
    node(free).restPosition = node(free).position = Vec3(500, 0, 0);
    doc.BindMeshToNodes();
    ASSERT_LT(doc.boundNode[0], kFigureJoints);
    ASSERT_TRUE(view->Execute(kCmdGroupBinding));
    EXPECT_FALSE(view->Query(kCmdGroupBinding).checked);
    EXPECT_EQ(doc.boundNode[0], free);
    ASSERT_TRUE(view->Execute(kCmdGroupBinding));
    EXPECT_LT(doc.boundNode[0], kFigureJoints);
}

// The node-editing commands go by the count of the last release, not by the pool.
TEST_F(ViewCommandsTest, NodeEditingFollowsTheCountOfTheLastRelease)
{
    const int a = AllocNode(doc.pools), b = AllocNode(doc.pools);
    node(a).selected = node(b).selected = 1;
    const int nodes = CountNodesInUse(doc), links = CountLinksInUse(doc);
    for (const int id : {kCmdMergeNodes, kCmdLinkNodes, kCmdLinkNodesZeroLength, kCmdUnlinkNodes})
        EXPECT_FALSE(view->Execute(id)) << id;
    view->SetSelectedCount(3);
    EXPECT_FALSE(view->Query(kCmdLinkNodes).enabled) << "links want exactly two";
    view->SetSelectedCount(2);
    ASSERT_TRUE(view->Execute(kCmdLinkNodesZeroLength));
    EXPECT_EQ(doc.pools.links[static_cast<size_t>(links)].zeroLength, 1);
    ASSERT_TRUE(view->Execute(kCmdUnlinkNodes));
    ASSERT_TRUE(view->Execute(kCmdMergeNodes));
    EXPECT_EQ(CountNodesInUse(doc), nodes - 1);
    EXPECT_TRUE(view->Query(kCmdMergeNodes).enabled) << "a merge does not recount the selection";

    ASSERT_TRUE(view->Execute(kCmdAddNode));  // in the merged node's place, with nothing of it left
    EXPECT_TRUE(node(b).inUse && node(b).position == Vec3() && !node(b).selected);
    ASSERT_TRUE(view->Execute(kCmdAddFigure));
    ASSERT_TRUE(view->Execute(kCmdAddSheet));
    EXPECT_EQ(CountNodesInUse(doc), nodes + kFigureJoints + 49);
    joint(kHead).position = joint(kHead).restPosition + Vec3(3, 0, 0);
    joint(kHead).pinned = 1;
    ASSERT_TRUE(view->Execute(kCmdResetNodes));
    EXPECT_EQ(joint(kHead).position, joint(kHead).restPosition);
    EXPECT_EQ(joint(kHead).pinned, 0);
}

} // namespace
} // namespace qm
