#include <functional>

#include <gtest/gtest.h>

#include "ViewFixture.h"

namespace qm {
namespace {

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
    EXPECT_EQ(node(3).position, Vec3(7, 7, 7));
    EXPECT_TRUE(frames.edgeWidthAtFrame.empty());

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
        EXPECT_TRUE(node(3).position == node(3).restPosition && !node(3).pinned);
        EXPECT_EQ(node(150).position, node(150).restPosition);
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
    EXPECT_EQ(state().cameraTarget, before.cameraTarget);
    EXPECT_EQ(state().cameraAzimuth, before.cameraAzimuth) << "no glide in the same step";
    EXPECT_TRUE(MotionIsZero());
}

} // namespace
} // namespace qm
