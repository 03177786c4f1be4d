#pragma once

#include <array>

#include "scene/BodyDoc.h"
#include "view/ViewOptions.h"

namespace qm {

constexpr float kFloorZ = 16.5f;
constexpr float kShadowZ = 16.2f;
// Polygons with a corner at or below this height cast no shadow: they would
// reach through the floor.
constexpr float kShadowCutZ = 16.0f;
constexpr int kFloorTiles = 20;

// Whether the light stands high enough above the horizon (about 11.5 degrees)
// for a shadow to be drawn. A light at the origin has no direction and casts none.
bool LightCastsShadow(const Vec3& lightPosition);

// The model-view factor that flattens model units onto the shadow plane along
// the light's direction, column-major for glMultMatrixd. Only meaningful for a
// light that LightCastsShadow; a light with no height gives a straight-down
// projection rather than a division by zero.
std::array<double, 16> ShadowMatrix(const Vec3& lightPosition, float modelScale);

// The chequered floor, 20 x 20 tiles of GroundScale at z = 16.5, seen only
// from above. Drawn without the model scale.
void RenderGround(const ViewParameters& parameters);

// The mesh in black under the shadow matrix, with a polygon offset so that it
// wins over the floor. Leaves blending, lighting and the offset off.
void RenderShadow(const CBodyDoc& doc, float modelScale);

} // namespace qm
