// The wheel, the right and the middle button move the camera, within the
// keys' limits and without their glide.
#include <cmath>

#include "Fixtures.h"

namespace qm {
namespace {

// 10 pixels per unit across the plane y = 0.
class TenPixelsPerUnit final : public ScreenProjection {
public:
    Vec3 ProjectPoint(const Vec3& p) const override { return Vec3(10 * p.x, 10 * p.z, p.y); }
    Vec3 UnprojectPoint(const Vec3& w) const override { return Vec3(w.x / 10, w.z, w.y / 10); }
};

class CameraMouseTest : public test::ViewTest {};

TEST_F(CameraMouseTest, GesturesMoveTheCameraAndStopWhereReleased)
{
    TenPixelsPerUnit projection;
    view->SetProjection(&projection);
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
