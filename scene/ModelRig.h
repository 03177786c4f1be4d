#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "skeleton/Vec3.h"

namespace qm {

// A bone of an imported model's own skeleton, in its bind pose.
struct RigBone {
    std::string name;    // as the file names it (UTF-8)
    int32_t parent = -1; // the nearest ancestor that is also a bone, or -1
    Vec3 head;           // where the bone starts, in the mesh's coordinates
};

// The skeleton a model file came with, kept beside the mesh it skins so that
// the figure can be fitted to it. Its positions follow every change of the
// mesh's placement (centring, scaling, turning); it is not stored in scene
// files and goes with the mesh it belongs to.
struct ModelRig {
    std::vector<RigBone> bones;
    // Per vertex of the mesh: its most weighted bone, or -1. Empty when no
    // mesh of the file is skinned.
    std::vector<int32_t> vertexBone;
    // A humanoid bone map the file carries (VRM): role name as the format
    // spells it ("hips", "leftUpperArm", ...) and the bone it names.
    std::vector<std::pair<std::string, int32_t>> humanoid;

    bool Empty() const { return bones.empty(); }
    void Clear() { *this = ModelRig{}; }
};

} // namespace qm
