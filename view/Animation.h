#pragma once

#include "scene/SceneViewState.h"

namespace qm {

// The view's motion between frames: per-frame rates that keys add to and
// that decay by a fifth every step.
struct CameraMotion {
    float elevationRate = 0.0f;
    float twistRate = 0.0f;
    float azimuthRate = 0.0f;
    Vec3 targetVelocity;
    float distanceSpeed = 0.0f;
};

constexpr float kMinCameraDistance = 1.0f;
constexpr float kMaxCameraDistance = 200.0f;
constexpr double kLightDistance = 1000.0;

// The light on its sphere about the origin, from its two angles.
void PlaceLightFromAngles(SceneViewState& view);

// One step of the camera's glide, then the distance limits.
void IntegrateCamera(SceneViewState& view, CameraMotion& motion);

// The outline width in scene units for the current eye-to-target distance.
float EdgeWidthInWorld(const SceneViewState& view, float edgeWidth);

// The part of the animation step that needs no keys, in its order.
inline void StepWithoutKeys(SceneViewState& view, CameraMotion& motion, float edgeWidth, float& edgeWidthWorld)
{
    PlaceLightFromAngles(view);
    IntegrateCamera(view, motion);
    edgeWidthWorld = EdgeWidthInWorld(view, edgeWidth);
}

} // namespace qm
