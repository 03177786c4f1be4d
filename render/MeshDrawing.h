#pragma once

#include "scene/BodyDoc.h"
#include "view/ViewOptions.h"

namespace qm {

constexpr int kJointColours = 30;

// Joint colours of the skeleton edit mode, by node pool index.
extern const Rgb kJointColourTable[kJointColours];

// The colour of a vertex bound to node: its joint colour, or joint 0's for a
// node outside the table (a node of another figure).
Rgb JointColour(int node);

// The mesh drawn at its modelled shape, moved by node 0's displacement from
// its rest position: smooth or flat, with or without the back faces.
void RenderMesh(const CBodyDoc& doc, const ViewSwitches& switches);

// The skeleton edit mode display: the mesh where it was modelled, each corner
// in the colour of the joint its vertex is bound to.
void RenderMeshJointColours(const CBodyDoc& doc);

} // namespace qm
