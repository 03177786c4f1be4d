#pragma once

#include "scene/BodyDoc.h"

namespace qm {

// The skeleton over the mesh, for fitting it: links in use as lines, nodes in
// use as points, selected nodes highlighted and pinned ones marked. Drawn
// without depth test so that nodes inside the mesh stay visible; zoom
// multiplies the widths and sizes, as a scaled desktop does.
void RenderSkeleton(const CBodyDoc& doc, int zoom = 1);

} // namespace qm
