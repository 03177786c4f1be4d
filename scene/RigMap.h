#pragma once

#include <cstdint>
#include <vector>

#include "scene/FigureFit.h"

namespace qm {

// A figure joint that stands for the chest: 4 or 5, by the side of the vertex.
constexpr int kChestBySide = -2;
// No figure joint: the bone's vertices go by where they are.
constexpr int kNoJoint = -1;

// How a model's skeleton maps onto the figure: per bone of doc.rig, the figure
// joint its vertices go with (the joint of the bone itself, or of its nearest
// mapped ancestor), kChestBySide, or kNoJoint.
struct RigMap {
    std::vector<int> boneJoint;
};

// FitFromRig, also telling which joint each bone's vertices go with.
bool MapRig(const CBodyDoc& doc, FigureFit& fit, RigMap& map);

} // namespace qm
