#include <cmath>

#include <gtest/gtest.h>

#include "ViewFixture.h"

namespace qm {
namespace {

class AnimationStepTest : public test::ViewTest {
  protected:
    // The change of value over one further step, with keys as they are.
    template <class Read> double ChangeOverOneStep(Read read)
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
    EXPECT_EQ(state().cameraAzimuth, before.cameraAzimuth);
    EXPECT_EQ(state().cameraDistance, 300.0f) << "not even the distance limit applies";
    EXPECT_EQ(state().lightPosition, before.lightPosition);
    EXPECT_EQ(motion().azimuthRate, 0.5f);
    EXPECT_EQ(node(3).position, Vec3(7, 7, 7));
    EXPECT_TRUE(frames.edgeWidthAtFrame.empty());
}

TEST_F(AnimationStepTest, FirstStepLimitsTheDistanceAndPutsTheLightOnItsSphere)
{
    EXPECT_FLOAT_EQ(view->EdgeWidthInWorld(), 300.0f * 0.002f) << "what the first step will measure";
    state().cameraEye = Vec3(0, 0, -50); // as the last camera set-up left it
    Step();
    EXPECT_EQ(state().cameraDistance, 200.0f);
    EXPECT_EQ(motion().distanceSpeed, 0.0f);
    EXPECT_NEAR(state().lightPosition.Length(), 1000.0, 1e-3);
    EXPECT_NEAR(std::atan2(state().lightPosition.y, state().lightPosition.x), -2.9441972, 1e-6);
    ASSERT_EQ(frames.edgeWidthAtFrame.size(), 1u);
    EXPECT_FLOAT_EQ(frames.edgeWidthAtFrame[0], 50 * 0.002f) << "handed over before the frame";
}

TEST_F(AnimationStepTest, HeldKeysReachTheirSteadyRates)
{
    Step(); // distance now 200
    Hold({Key::Left});
    Step(60);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraAzimuth; }), -0.1, 1e-5);
    keys.KeyUp(Key::Left);
    Hold({Key::Up});
    Step(60);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraElevation; }), 0.1, 1e-5);
    keys.KeyUp(Key::Up);
    Hold({Key::PageUp});
    Step(40);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraDistance; }), -2.0, 1e-3);
    keys.KeyUp(Key::PageUp);
    Hold({Key::Control, Key::Right});
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().lightAzimuth; }), 0.1, 1e-6) << "at once";
}

TEST_F(AnimationStepTest, TargetModeMovesAlongTheViewAtOneUnitPerFrame)
{
    state().cameraAzimuth = 0.0f;
    Hold({Key::Shift, Key::Up});
    Step(60);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraTarget.x; }), 1.0, 1e-4);
    EXPECT_EQ(state().cameraTarget.y, 0.0f);
    EXPECT_EQ(state().cameraAzimuth, 0.0f) << "the camera does not turn";
    keys.KeyUp(Key::Up);
    Step(100);

    const Vec3 start = state().cameraTarget;
    Hold({Key::Left});
    Step(60);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraTarget.y; }), -1.0, 1e-4);
    EXPECT_NEAR(state().cameraTarget.x, start.x, 1e-3);
}

TEST_F(AnimationStepTest, OppositeKeysCancelAndCResetsTheNodesInEveryMode)
{
    for (const Key modifier : {Key::Count, Key::Shift, Key::Control}) {
        SCOPED_TRACE(static_cast<int>(modifier));
        node(3).position = node(3).restPosition + Vec3(5, 0, 0);
        node(3).pinned = 1;
        node(150).position = Vec3(1, 2, 3); // in use or not
        const SceneViewState before = state();
        Hold({Key::Left, Key::Right, Key::Up, Key::Down, Key::PageUp, Key::PageDown, Key::C});
        keys.KeyUp(Key::C);
        if (modifier != Key::Count)
            keys.KeyDown(modifier);
        Step(5);
        EXPECT_TRUE(MotionIsZero());
        EXPECT_EQ(state().cameraAzimuth, before.cameraAzimuth);
        EXPECT_EQ(state().cameraElevation, before.cameraElevation);
        EXPECT_EQ(state().cameraTarget, before.cameraTarget);
        EXPECT_EQ(state().lightAzimuth, before.lightAzimuth);
        EXPECT_EQ(state().lightElevation, before.lightElevation);
        EXPECT_EQ(node(3).position, node(3).restPosition);
        EXPECT_EQ(node(3).pinned, 0);
        EXPECT_EQ(node(150).position, node(150).restPosition);
        keys.ReleaseAll();
    }
}

TEST_F(AnimationStepTest, ATapBetweenTwoStepsCountsOnce)
{
    state().cameraAzimuth = 0.0f; // where a float resolves the small steps
    keys.KeyDown(Key::Left);
    keys.KeyUp(Key::Left);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraAzimuth; }), 0.2 * -0.1, 1e-7);
    EXPECT_NEAR(ChangeOverOneStep([&] { return state().cameraAzimuth; }), 0.2 * -0.08, 1e-7) << "gliding only";
}

TEST_F(AnimationStepTest, ModifiersCountOnlyWhileHeld)
{
    state().cameraAzimuth = 0.0f;
    keys.KeyDown(Key::Shift);
    keys.KeyUp(Key::Shift);
    keys.KeyDown(Key::Control);
    keys.KeyUp(Key::Control);
    keys.KeyDown(Key::Up);
    const float lightElevation = state().lightElevation;
    Step();
    EXPECT_EQ(state().cameraTarget, Vec3()) << "a tapped Shift is no pan";
    EXPECT_EQ(state().lightElevation, lightElevation) << "a tapped Ctrl moves no light";
    EXPECT_GT(state().cameraElevation, kCameraStraightUp) << "the arrow orbits";
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
