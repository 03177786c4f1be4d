#pragma once

#include "scene/BodyDoc.h"

namespace qm {

// The camera's vertical field of view, in degrees.
constexpr double kFieldOfViewDegrees = 40.0;

// The mesh as it is drawn: every vertex moved by node 0's displacement from
// its rest position (not in the skeleton edit mode, where the mesh stays where
// it was modelled), then multiplied by the model scale.
Vec3 DrawnVertex(const CBodyDoc& doc, const SceneViewState& view, int vertex);

// Aims the camera at the centre of the drawn mesh's bounding box and sets the
// distance so that every vertex falls inside a window of the given aspect
// (width over height) with a small margin, within the zoom limits. The camera
// angles stay. False, with nothing changed, when there is no vertex to frame.
bool FrameMesh(const CBodyDoc& doc, SceneViewState& view, double aspect);

} // namespace qm
