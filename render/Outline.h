#pragma once

#include "scene/BodyDoc.h"
#include "view/ViewOptions.h"

namespace qm {

// A black shell of the mesh pushed out by width (scene units) along the vertex
// normals and drawn with reversed winding: with front faces culled only its
// far side survives, and that shows as a rim beyond the silhouette. Drawn
// after the mesh.
void RenderOutline(const CBodyDoc& doc, const ViewSwitches& switches, float width);

} // namespace qm
