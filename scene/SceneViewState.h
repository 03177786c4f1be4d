#pragma once

#include <cmath>
#include <cstdint>

#include "skeleton/Vec3.h"

namespace qm {

// One step above the float nearest pi/2: the camera starts looking straight
// down the z axis without the look-at degenerating.
constexpr float kCameraStraightUp = 1.5707965f;
// The smallest model scale: the mouse stops there, and a file's is raised to it.
constexpr float kMinModelScale = 0.01f;

// The view state that travels with a scene: what the scene file stores, plus
// the few fields document operations read or write. The view owns it; the
// document reaches it through a non-owning pointer. Initial values are the
// view's at start-up.
struct SceneViewState {
    float cameraElevation = kCameraStraightUp;
    float cameraTwist = 0.0f;
    float cameraAzimuth = 10.0f;
    Vec3 cameraEye;  // written by each frame's camera set-up
    float cameraDistance = 300.0f;
    Vec3 cameraTarget;

    Vec3 lightPosition{-500.0f, -100.0f, -1000.0f};
    float lightAzimuth = 0.0f;
    float lightElevation = 0.0f;

    float modelScale = 1.0f;
    std::int32_t extraFlags[4] = {0, 1, 1, 1};  // stored in scene files; nothing reads them
    bool groupBinding = true;       // bind vertices by the centroid of their group
    bool skeletonEditMode = false;  // the skeleton is being fitted to the mesh

    SceneViewState() { LightAnglesFromPosition(); }

    // So that the keyboard's light control continues from the light position.
    void LightAnglesFromPosition()
    {
        const double x = lightPosition.x, y = lightPosition.y, z = lightPosition.z;
        lightAzimuth = static_cast<float>(std::atan2(y, x));
        lightElevation = static_cast<float>(std::atan2(z, std::sqrt(x * x + y * y)));
    }
};

} // namespace qm
