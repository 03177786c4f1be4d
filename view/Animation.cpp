#include "view/Animation.h"

#include <cmath>

namespace qm {

void PlaceLightFromAngles(SceneViewState& view)
{
    const double el = view.lightElevation, az = view.lightAzimuth;
    view.lightPosition = Vec3::FromDouble(kLightDistance * std::cos(el) * std::cos(az),
                                          kLightDistance * std::cos(el) * std::sin(az), kLightDistance * std::sin(el));
}

namespace {

// value += 0.2 * rate, then rate -= 0.2 * rate, each stored back as float.
void Glide(float& value, float& rate, double gain)
{
    value = static_cast<float>(value + gain * rate);
    rate = static_cast<float>(rate - 0.2 * rate);
}

} // namespace

void IntegrateCamera(SceneViewState& view, CameraMotion& motion)
{
    Glide(view.cameraElevation, motion.elevationRate, 0.2);
    Glide(view.cameraTwist, motion.twistRate, 0.2);
    Glide(view.cameraAzimuth, motion.azimuthRate, 0.2);
    Glide(view.cameraDistance, motion.distanceSpeed, 0.04);
    view.cameraTarget += motion.targetVelocity * 0.2;
    motion.targetVelocity -= motion.targetVelocity * 0.2;

    if (view.cameraDistance < kMinCameraDistance) {
        view.cameraDistance = kMinCameraDistance;
        motion.distanceSpeed = 0.0f;
    }
    if (view.cameraDistance > kMaxCameraDistance) {
        view.cameraDistance = kMaxCameraDistance;
        motion.distanceSpeed = 0.0f;
    }
}

float EdgeWidthInWorld(const SceneViewState& view, float edgeWidth)
{
    return static_cast<float>(Distance(view.cameraEye, view.cameraTarget) * edgeWidth);
}

} // namespace qm
