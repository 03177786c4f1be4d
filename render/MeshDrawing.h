#pragma once

#include <cstdint>
#include <vector>

#include "scene/BodyDoc.h"
#include "view/ViewOptions.h"

namespace qm {

constexpr int kJointColours = 30;

// Joint colours of the skeleton edit mode, by node pool index.
extern const Rgb kJointColourTable[kJointColours];

// The colour of a vertex bound to node: its joint colour, or joint 0's for a
// node outside the table (a node of another figure).
Rgb JointColour(int node);

// The mesh laid out per polygon corner (position, normal, colour) for both
// sides, so that each side is one draw call. Rebuilt only when the document's
// mesh revision or the shading changes; the picture is the one drawing the
// polygons one by one would give.
class MeshArrays {
public:
    void Update(const CBodyDoc& doc, bool flat, bool back);
    void DrawFront() const { Draw(front_); }
    void DrawBack() const { Draw(back_); }

private:
    struct Side {
        std::vector<float> positions, normals, colours;
    };
    static void Append(Side& side, const Vec3& position, const Vec3& normal, const Rgb& colour);
    static void Draw(const Side& side);

    const CBodyDoc* doc_ = nullptr;
    uint64_t revision_ = 0;
    bool flat_ = false;
    bool hasBack_ = false;
    Side front_, back_;
};

// The mesh drawn at its modelled shape, moved by node 0's displacement from
// its rest position: smooth or flat, with or without the back faces.
void RenderMesh(const CBodyDoc& doc, const ViewSwitches& switches, MeshArrays& arrays);

// The skeleton edit mode display: the mesh where it was modelled, each corner
// in the colour of the joint its vertex is bound to.
void RenderMeshJointColours(const CBodyDoc& doc);

} // namespace qm
