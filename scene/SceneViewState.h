#pragma once

#include "skeleton/Vec3.h"

namespace qm {

// The few view fields that document operations read or write. The view owns
// this state; the document reaches it through a non-owning pointer.
struct SceneViewState {
    bool groupBinding = true;       // bind vertices by the centroid of their group
    float modelScale = 1.0f;        // uniform scale of the drawn scene
    Vec3 cameraTarget;              // the point looked at
    bool skeletonEditMode = false;  // the skeleton is being fitted to the mesh
};

} // namespace qm
