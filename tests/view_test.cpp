#include <cmath>
#include <functional>

#include "Fixtures.h"

namespace qm {
namespace {

using namespace test;

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
            EXPECT_TRUE(switches().*row.field == expected && view->Query(row.id).checked == (expected != 0));
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
    ASSERT_TRUE(view->Execute(kCmdMotionBlur));

    ASSERT_TRUE(view->Execute(kCmdDepthOfField));
    EXPECT_FALSE(view->Query(kCmdMotionBlur).enabled);
    ASSERT_TRUE(view->Execute(kCmdDepthOfField));

    // Both on from the settings file: each stays on while its item is greyed.
    StartWithSwitch("UseAntiEdge", "1");
    StartWithSwitch("UseMotionBlower", "1");
    const size_t writes = settings.written.size();
    for (const int greyed : {kCmdAntiAlias, kCmdMotionBlur}) {
        const CommandState rule = view->Query(greyed);
        EXPECT_TRUE(rule.handled && rule.checked && !rule.enabled && !view->Execute(greyed)) << greyed;
    }
    EXPECT_EQ(switches().useAntiEdge + switches().useMotionBlower, 2);
    EXPECT_EQ(settings.written.size(), writes) << "a refused command writes nothing";
}

TEST_F(ViewCommandsTest, AnimeShadingGreysFlatShadingAndFlipsModuloTwo)
{
    StartWithSwitch("AnimeShade", "2");
    EXPECT_TRUE(view->Query(kCmdAnimeShade).checked && !view->Execute(kCmdFlatShade));

    ASSERT_TRUE(view->Execute(kCmdAnimeShade));
    EXPECT_EQ(settings.Read("View", "AnimeShade"), "1") << "2 + 1 is odd: on";
    ASSERT_TRUE(view->Execute(kCmdAnimeShade));
    EXPECT_TRUE(view->Execute(kCmdFlatShade));
    EXPECT_TRUE(view->Query(kCmdAnimeShade).enabled) << "flat shading does not grey anime shading";
    EXPECT_FALSE(doc.IsModified()) << "what the view shows is no work to save";
}

TEST_F(ViewCommandsTest, SkeletonEditModeResetsOnEntryMirrorsAndCommitsOnExit)
{
    joint(kHandNeg).position = joint(kHandNeg).restPosition + Vec3(0, 0, 4);
    EXPECT_FALSE(view->Query(kCmdMirrorFromLeft).enabled || view->Execute(kCmdMirrorFromRight));
    EXPECT_NE(joint(kHandNeg).position, joint(kHandNeg).restPosition) << "a refused mirror leaves the pose";
    ASSERT_TRUE(view->Execute(kCmdSkeletonEdit) && view->Execute(kCmdSkeletonEdit) && view->Execute(kCmdSkeletonEdit));
    EXPECT_EQ(joint(kHandNeg).position, joint(kHandNeg).restPosition) << "editing starts from the rest pose";
    EXPECT_FALSE(doc.IsModified()) << "a pose committed as it was";

    for (const bool fromNegative : {true, false}) {
        const int from = fromNegative ? kHandNeg : kHandPos, to = fromNegative ? kHandPos : kHandNeg;
        joint(from).position = Vec3(fromNegative ? -9.0f : 9.0f, 1, 2);
        joint(kHead).position.x = 1.0f;
        ASSERT_TRUE(view->Execute(fromNegative ? kCmdMirrorFromLeft : kCmdMirrorFromRight));
        EXPECT_EQ(joint(to).position, Vec3(fromNegative ? 9.0f : -9.0f, 1, 2));
        EXPECT_TRUE(joint(to).restPosition == joint(to).position && joint(kHead).position.x == 0.0f)
            << "committed as the rest pose, the spine centred";
    }

    const Vec3 fitted = joint(kHead).restPosition + Vec3(0, 0, 4);
    joint(kHead).position = fitted;
    ASSERT_TRUE(view->Execute(kCmdSkeletonEdit));
    EXPECT_FALSE(state().skeletonEditMode);
    EXPECT_EQ(joint(kHead).restPosition, fitted) << "leaving keeps the fitted pose";
    EXPECT_TRUE(doc.IsModified());
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
    EXPECT_TRUE(!view->Query(kCmdGroupBinding).checked && doc.boundNode[0] == free);
    ASSERT_TRUE(view->Execute(kCmdGroupBinding));
    EXPECT_LT(doc.boundNode[0], kFigureJoints);
}

// The node-editing commands go by the count of the last release, not by the pool.
TEST_F(ViewCommandsTest, NodeEditingFollowsTheCountOfTheLastRelease)
{
    const int a = AllocNode(doc.pools), b = AllocNode(doc.pools);
    node(a).selected = node(b).selected = 1;
    const int nodes = InUse(doc.pools.nodes), links = InUse(doc.pools.links);
    for (const int id : {kCmdMergeNodes, kCmdLinkNodes, kCmdLinkNodesZeroLength, kCmdUnlinkNodes})
        EXPECT_FALSE(view->Execute(id)) << id;
    view->SetSelectedCount(3);
    EXPECT_FALSE(view->Query(kCmdLinkNodes).enabled) << "links want exactly two";
    view->SetSelectedCount(2);
    ASSERT_TRUE(view->Execute(kCmdLinkNodesZeroLength));
    EXPECT_EQ(doc.pools.links[static_cast<size_t>(links)].zeroLength, 1);
    ASSERT_TRUE(view->Execute(kCmdUnlinkNodes));
    ASSERT_TRUE(view->Execute(kCmdMergeNodes));
    EXPECT_EQ(InUse(doc.pools.nodes), nodes - 1);
    EXPECT_TRUE(view->Query(kCmdMergeNodes).enabled) << "a merge does not recount the selection";

    ASSERT_TRUE(view->Execute(kCmdAddNode));  // in the merged node's place, with nothing of it left
    EXPECT_TRUE(node(b).inUse && node(b).position == Vec3() && !node(b).selected);
    ASSERT_TRUE(view->Execute(kCmdAddFigure) && view->Execute(kCmdAddSheet));
    EXPECT_EQ(InUse(doc.pools.nodes), nodes + kFigureJoints + 49);
    joint(kHead).position = joint(kHead).restPosition + Vec3(3, 0, 0);
    joint(kHead).pinned = 1;
    ASSERT_TRUE(view->Execute(kCmdResetNodes));
    EXPECT_TRUE(joint(kHead).position == joint(kHead).restPosition && !joint(kHead).pinned);
}

class AnimationStepTest : public test::ViewTest {
  protected:
    // The change of value over one further step, with keys as they are.
    double ChangeOverOneStep(const std::function<double()>& read)
    {
        const double before = read();
        Step();
        return read() - before;
    }
    void Hold(std::initializer_list<Key> held)
    {
        for (Key k : held)
            keys.KeyDown(k);
    }
    bool MotionIsZero()
    {
        const CameraMotion& m = motion();
        return m.elevationRate == 0 && m.twistRate == 0 && m.azimuthRate == 0 && m.targetVelocity == Vec3() &&
               m.distanceSpeed == 0;
    }
};

TEST_F(AnimationStepTest, WithoutTheFocusNothingMovesAndNothingIsDrawn)
{
    motion().azimuthRate = 0.5f;
    Hold({Key::Left, Key::PageUp, Key::C});
    node(3).position = Vec3(7, 7, 7);
    const SceneViewState before = state();
    EXPECT_FALSE(view->AnimateStep(false, keys));
    EXPECT_TRUE(state().cameraAzimuth == before.cameraAzimuth && state().cameraDistance == 300.0f);
    EXPECT_TRUE(node(3).position == Vec3(7, 7, 7) && frames.edgeWidthAtFrame.empty());

    state().cameraEye = Vec3(0, 0, -50);  // as the last camera set-up left it
    Step();
    EXPECT_EQ(state().cameraDistance, 200.0f);
    ASSERT_EQ(frames.edgeWidthAtFrame.size(), 1u);
    EXPECT_FLOAT_EQ(frames.edgeWidthAtFrame[0], 50 * 0.002f) << "the outline width handed over before the frame";
}

// Held keys glide up to a steady rate: camera, target (with Shift, along the
// view) and light (with Ctrl, at once).
TEST_F(AnimationStepTest, HeldKeysReachTheirSteadyRates)
{
    state().cameraAzimuth = 0.0f;
    const struct {
        std::initializer_list<Key> held;
        int steps;
        std::function<double()> read;
        double change;
    } cases[] = {
        {{Key::Shift, Key::Up}, 60, [&] { return state().cameraTarget.x; }, 1.0},
        {{Key::Shift, Key::Left}, 60, [&] { return state().cameraTarget.y; }, -1.0},
        {{Key::Left}, 60, [&] { return state().cameraAzimuth; }, -0.1},
        {{Key::Up}, 60, [&] { return state().cameraElevation; }, 0.1},
        {{Key::PageUp}, 40, [&] { return state().cameraDistance; }, -2.0},
        {{Key::Control, Key::Right}, 0, [&] { return state().lightAzimuth; }, 0.1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Step(100);  // every glide over
        Hold(c.held);
        Step(c.steps);
        EXPECT_NEAR(ChangeOverOneStep(c.read), c.change, 1e-3);
        keys.ReleaseAll();
    }
    Hold({Key::PageUp});
    Step(200);
    EXPECT_EQ(state().cameraDistance, 1.0f) << "no nearer than one unit";
}

TEST_F(AnimationStepTest, OppositeKeysCancelAndCResetsTheNodesInEveryMode)
{
    for (const Key modifier : {Key::Count, Key::Shift, Key::Control}) {
        SCOPED_TRACE(static_cast<int>(modifier));
        node(3).position = node(3).restPosition + Vec3(5, 0, 0);
        node(3).pinned = 1;
        node(150).position = Vec3(1, 2, 3);  // in use or not
        const SceneViewState before = state();
        Hold({Key::Left, Key::Right, Key::Up, Key::Down, Key::PageUp, Key::PageDown, Key::C});
        keys.KeyUp(Key::C);
        if (modifier != Key::Count)
            keys.KeyDown(modifier);
        Step(5);
        EXPECT_TRUE(MotionIsZero());
        EXPECT_TRUE(state().cameraAzimuth == before.cameraAzimuth && state().cameraTarget == before.cameraTarget &&
                    state().lightAzimuth == before.lightAzimuth);
        EXPECT_TRUE(node(3).position == node(3).restPosition && !node(3).pinned &&
                    node(150).position == node(150).restPosition);
        keys.ReleaseAll();
    }
}

// A tap between two steps counts once; tapped modifiers do not stay; keys
// released all at once (as when the focus goes) move nothing more.
TEST_F(AnimationStepTest, TapsCountOnceAndReleasedKeysStayReleased)
{
    state().cameraAzimuth = 0.0f;  // where a float resolves the small steps
    keys.KeyDown(Key::Left);
    keys.KeyUp(Key::Left);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraAzimuth; }), 0.2 * -0.1, 1e-7);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraAzimuth; }), 0.2 * -0.08, 1e-7) << "gliding only";

    Step(100);
    for (Key k : {Key::Shift, Key::Control}) {
        keys.KeyDown(k);
        keys.KeyUp(k);
    }
    keys.KeyDown(Key::Up);
    const float lightElevation = state().lightElevation;
    Step();
    EXPECT_TRUE(state().cameraTarget == Vec3() && state().lightElevation == lightElevation) << "tapped Shift, Ctrl";
    EXPECT_GT(state().cameraElevation, kCameraStraightUp) << "the arrow orbits";

    Hold({Key::Shift, Key::PageUp});
    keys.KeyUp(Key::PageUp);
    keys.ReleaseAll();
    keys.KeyUp(Key::Shift);  // after the focus came back
    const SceneViewState still = state();
    Step(20);
    EXPECT_TRUE(state().cameraDistance == still.cameraDistance && state().cameraTarget == still.cameraTarget);
}

TEST_F(AnimationStepTest, CtrlWinsOverShiftAndStopsTheCameraAtOnce)
{
    motion().azimuthRate = 0.3f;
    motion().targetVelocity = Vec3(2, 0, 0);
    motion().distanceSpeed = -5.0f;
    const SceneViewState before = state();
    Hold({Key::Control, Key::Shift, Key::Left});
    Step();
    EXPECT_FLOAT_EQ(state().lightAzimuth, before.lightAzimuth - 0.1f);
    EXPECT_TRUE(state().cameraTarget == before.cameraTarget && state().cameraAzimuth == before.cameraAzimuth &&
                MotionIsZero())
        << "no glide in the same step";
}

// A camera looking along +y: 10 pixels per unit, x to the right, z down, the
// origin at pixel (200, 200); the depth is y.
class FlatProjection final : public ScreenProjection {
public:
    Vec3 ProjectPoint(const Vec3& p) const override { return Vec3(200 + 10 * p.x, 200 + 10 * p.z, p.y); }
    Vec3 UnprojectPoint(const Vec3& w) const override { return Vec3((w.x - 200) / 10, w.z, (w.y - 200) / 10); }
};

class MouseTest : public test::ViewTest {
protected:
    MouseTest()
    {
        view->SetProjection(&projection);
        // Out of the way of the figure (which stands within about 13 units of the origin).
        for (SceneNode& n : doc.pools.nodes)
            if (n.inUse)
                n.position += Vec3(100, 0, 100);
    }

    int FreeNodeAt(float x, float z)
    {
        const int i = AllocNode(doc.pools);
        node(i).position = Vec3(x, 0, z);
        return i;
    }
    void Click(int x, int y, MouseKeys keys = {})
    {
        view->OnLButtonDown(x, y, keys);
        view->OnLButtonUp(keys);
    }
    void Drag(int x0, int y0, int x1, int y1, MouseKeys keys = {})
    {
        view->OnLButtonDown(x0, y0, keys);
        view->OnMouseMove(x1, y1, keys);
        view->OnLButtonUp(keys);
    }

    FlatProjection projection;
};

TEST_F(MouseTest, PickingTakesTheNearestWithinTenPixelsLowerIndexFirst)
{
    const int a = FreeNodeAt(0.5f, 0), b = FreeNodeAt(-0.5f, 0);  // both 5 pixels from (200, 200)
    EXPECT_TRUE(a < b && view->PickNode(200, 200) == a && view->PickNode(196, 200) == b);

    const int c = FreeNodeAt(20, 0);  // at pixel (400, 200)
    EXPECT_EQ(view->PickNode(410, 200), kNoIndex);  // exactly 10 pixels is a miss
    EXPECT_EQ(view->PickNode(409, 200), c);

    node(c).pickable = 0;
    EXPECT_EQ(view->PickNode(400, 200), kNoIndex);
    // The chest points are picked whatever their flags.
    node(kChestNeg).position = Vec3(20, 0, 0);
    node(kChestNeg).pickable = node(kChestNeg).inUse = 0;
    EXPECT_EQ(view->PickNode(400, 200), kChestNeg);
    const Vec3 thigh = projection.ProjectPoint(node(kThighNeg).position);  // a joint no click reaches
    EXPECT_EQ(view->PickNode(int(thigh.x), int(thigh.y)), kNoIndex);
}

TEST_F(MouseTest, ClicksSelectAddRemoveAndPin)
{
    const int a = FreeNodeAt(0, 0), b = FreeNodeAt(5, 0);
    Click(200, 200);
    EXPECT_EQ(node(a).selected, 1);
    Click(250, 200, {true, false});  // Shift adds
    EXPECT_EQ(node(b).selected, 1);
    Click(200, 200);  // a node of the selection: the selection stays
    EXPECT_TRUE(node(a).selected && node(b).selected && view->SelectedCount() == 2);
    Click(250, 200, {true, false});  // Shift removes
    EXPECT_EQ(node(b).selected, 0);

    Click(250, 200, {false, true});  // Ctrl pins b, and clears the selection b was not part of
    EXPECT_TRUE(node(b).pinned && !node(a).selected);
    node(a).pinned = 1;
    Click(300, 300, {false, true});  // Ctrl on empty space clears every pin
    EXPECT_EQ(node(a).pinned + node(b).pinned, 0);
}

TEST_F(MouseTest, RectangleTakesNodesStrictlyInsideEitherWay)
{
    const int inside = FreeNodeAt(1, 1), border = FreeNodeAt(2, 1), unused = FreeNodeAt(1, 1.5f);
    node(unused).inUse = 0;
    for (const bool reversed : {false, true}) {
        Click(300, 300);
        if (reversed)
            Drag(220, 230, 195, 195);
        else
            Drag(195, 195, 220, 230);  // from empty space; node "border" projects onto x = 220
        EXPECT_TRUE(node(inside).selected && !node(border).selected && !node(unused).selected) << reversed;
    }

    Drag(195, 195, 221, 230, {false, true});  // with Ctrl the rectangle pins
    EXPECT_EQ(node(border).pinned, 1);
}

TEST_F(MouseTest, DraggingMovesTheFigureInTheScreenPlane)
{
    const Vec3 waist = node(kWaist).position, head = node(kHead).position;
    const Vec3 waistRest = node(kWaist).restPosition;
    Drag(50, 50, 80, 30);  // 3 units right, 2 up (z decreases)
    EXPECT_TRUE(node(kWaist).position == waist + Vec3(3, 0, -2) && node(kHead).position == head + Vec3(3, 0, -2));
    EXPECT_EQ(node(kWaist).restPosition, waistRest);  // outside the edit mode nothing is committed

    // In skeleton edit mode the release commits the pose and binds the mesh to it.
    const int v = AddVertex(doc, Vec3(0, 0, 0));
    ASSERT_TRUE(view->Execute(kCmdSkeletonEdit));
    Drag(50, 50, 50, 50);
    EXPECT_EQ(node(kWaist).restPosition, node(kWaist).position);
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], kNeck);  // bound anew to the committed pose
}

TEST_F(MouseTest, ControlDragScalesTheModelAndReleaseBakesIt)
{
    AddVertex(doc, Vec3(1, 2, 3));
    view->OnLButtonDown(300, 300, {false, true});
    view->OnMouseMove(300, 200, {false, true});  // 100 pixels up
    EXPECT_NEAR(state().modelScale, 1.2, 1e-6);
    view->OnLButtonUp({false, true});
    EXPECT_EQ(state().modelScale, 1.0f);
    EXPECT_NEAR(doc.restVertices[0].x, 1.2, 1e-5);
    EXPECT_NEAR(doc.restVertices[0].z, 3.6, 1e-5);

    Drag(300, 0, 300, 1000, {false, true});
    EXPECT_NEAR(doc.restVertices[0].x, 0.012, 1e-6);  // at the floor of the scale, 0.01
}

// The wheel, the right and the middle button move the camera, within the
// keys' limits and without their glide.
TEST_F(MouseTest, CameraGesturesStopWhereReleased)
{
    const float quarter = float(std::acos(0.0)), up = kCameraStraightUp;
    const struct {
        const char* gesture;
        int button;  // 2 middle, 3 right
        MouseKeys keys;
        int dx, dy;
        double notches;
        float distance, azimuth, elevation, targetX, targetZ;
    } rows[] = {
        {"100 notches towards the screen stop at the nearest distance", 0, {}, 0, 0, 100, 1, 10, up, 0, 0},
        {"and back, at the farthest", 0, {}, 0, 0, -100, 200, 10, up, 0, 0},
        {"a right drag 300 pixels right and up: a quarter turn each way", 3, {}, 300, -300, 0, 200, 10 + quarter,
         up + quarter, 0, 0},
        {"a middle drag: the scene follows the pointer", 2, {}, 20, -30, 0, 200, 10 + quarter, up + quarter, -2, 3},
        {"so does a Shift + right drag", 3, {true, false}, 20, 0, 0, 200, 10 + quarter, up + quarter, -4, 3},
    };
    for (const auto& r : rows) {
        view->OnMouseWheel(r.notches);
        if (r.button == 3)
            view->OnRButtonDown(100, 100, r.keys);
        if (r.button == 2)
            view->OnMButtonDown(100, 100);
        view->OnMouseMove(100 + r.dx, 100 + r.dy, {});
        view->OnCameraButtonUp();
        view->OnMouseMove(0, 0, {});  // after the release, moves do nothing
        Step(3);                      // and nothing glides
        EXPECT_FLOAT_EQ(state().cameraDistance, r.distance) << r.gesture;
        EXPECT_FLOAT_EQ(state().cameraAzimuth, r.azimuth) << r.gesture;
        EXPECT_FLOAT_EQ(state().cameraElevation, r.elevation) << r.gesture;
        EXPECT_NEAR(state().cameraTarget.x, r.targetX, 1e-5) << r.gesture;
        EXPECT_NEAR(state().cameraTarget.z, r.targetZ, 1e-5) << r.gesture;
    }
}

} // namespace
} // namespace qm
