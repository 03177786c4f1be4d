#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "scene/ModelRig.h"
#include "scene/NodeSheet.h"
#include "scene/SceneViewState.h"
#include "skeleton/Figure.h"
#include "skeleton/Pools.h"

namespace qm {

constexpr int kFigureSlots = 10;
constexpr int kSheetSlots = 10;
constexpr int kColourCount = 256;
constexpr int kGroupCount = 256;

// Every per-vertex array holds the vertex reserve plus this many entries, the
// per-polygon arrays the polygon reserve plus this many...
constexpr int kArraySurplus = 2000;
// ...except the corner records, which hold the polygon reserve plus this many.
constexpr int kCornerSurplus = 500;
constexpr int kInitialVertexReserve = 40;
constexpr int kInitialPolygonReserve = 10;
constexpr int kGrowthStep = 1000;
// Counts beyond this are treated as a lack of memory: no real model comes
// near it, and it keeps a corrupt count from asking for gigabytes.
constexpr int kMaxMeshEntries = 1 << 24;

struct Rgb {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    friend bool operator==(const Rgb& a, const Rgb& c) { return a.r == c.r && a.g == c.g && a.b == c.b; }
};

using PolygonCorners = std::array<int32_t, 4>;

// The scene: a quad mesh (a triangle repeats a corner) with normals and its
// binding to the skeleton, a 256-entry colour table, the node and link pools,
// ten figure slots and ten sheet slots.
class CBodyDoc final : public FigureHost {
public:
    explicit CBodyDoc(MessageSink& messages);
    CBodyDoc(const CBodyDoc&) = delete;
    CBodyDoc& operator=(const CBodyDoc&) = delete;

    // The view's state that document operations use. Null detaches: the
    // document then works on state of its own with the view's initial values.
    void AttachViewState(SceneViewState* state) { view_ = state ? state : &ownViewState_; }
    SceneViewState& ViewState() { return *view_; }
    const SceneViewState& ViewState() const { return *view_; }

    MessageSink& Messages() { return messages_; }

    // A new scene: reset, titled "Default", then "default.abd" from the
    // current folder when there is one. Always succeeds.
    bool OnNewDocument();
    const std::string& Title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }

    // Whether the scene holds work that no file has: its mesh, colours,
    // skeleton or binding changed since it was reset, loaded or saved. What
    // the view shows (camera, switches) does not count.
    bool IsModified() const { return modified_; }
    void MarkModified() override { modified_ = true; }
    void ClearModified() { modified_ = false; }

    // Mesh storage.
    void ResetMesh(bool allocate);
    // Call after raising vertexCount or polygonCount. Returns true only when
    // the mesh had to be discarded for lack of memory (the user is told).
    bool GrowMesh();
    Rgb GetColour(int index) const;
    void SetDefaultColours();
    int VertexCapacity() const { return static_cast<int>(restVertices.size()); }
    int PolygonCapacity() const { return static_cast<int>(polygonColour.size()); }

    // Scene operations.
    void ResetScene();
    void RecomputeNormals();
    void BindMeshToNodes() override;
    void FlipAllPolygons();
    void ApplyModelScale();
    // Builds a figure in the first free slot; returns the slot, or kNoIndex
    // (scene unchanged) when every slot is taken or the pools are too full.
    int AddFigure();

    // Changes whenever the mesh's shape, winding, normals, binding or colours
    // may have changed: every such change ends in RecomputeNormals (or
    // ApplyModelScale). Drawing caches compare it.
    uint64_t MeshRevision() const { return meshRevision_; }

    // FigureHost
    SkeletonPools& Pools() override { return pools; }
    bool SkeletonEditMode() const override { return view_->skeletonEditMode; }

    Figure& FirstFigure() { return figures[0]; }

    // Node editing on the selected nodes in use (the mouse selects them).
    // Merges them into the lowest-numbered one; links follow.
    void MergeSelectedNodes();
    // Links exactly two selected nodes. False when nothing was linked: not two
    // selected, already linked (the user is told) or no free link.
    bool LinkSelectedNodes(bool zeroLength);
    // Removes the link between exactly two selected nodes, unless a figure owns it.
    void UnlinkSelectedNodes();
    // Builds a 7 x 7 sheet in the first free slot; returns the slot, or
    // kNoIndex (scene unchanged) when no slot or not enough nodes or links are free.
    int AddSheet(bool diagonals);

    std::array<Figure, kFigureSlots> figures{};
    std::array<NodeSheet, kSheetSlots> sheets{};
    SkeletonPools pools;

    // The full path of the file a mesh import is reading, which its messages
    // name; empty when none is.
    std::string importPath;

    int32_t vertexReserve = 0;
    int32_t polygonReserve = 0;
    int32_t vertexCount = 0;
    std::vector<Vec3> restVertices;
    std::vector<Vec3> vertexNormals;
    std::vector<Vec3> reversedNormals;
    std::vector<int32_t> boundNode;
    std::vector<int32_t> vertexGroup;
    int32_t polygonCount = 0;
    std::vector<PolygonCorners> polygonCorners;
    std::vector<Vec3> faceNormals;
    std::vector<int32_t> polygonColour;
    std::array<Rgb, kColourCount> colourTable{};
    std::array<Vec3, kGroupCount> groupCentroids{};
    // The skeleton the mesh's model file came with, if any; emptied with the mesh.
    ModelRig rig;

private:
    bool SizeMeshArrays();
    bool CornersValid(const PolygonCorners& c) const;

    std::vector<int> SelectedNodesInUse() const;

    MessageSink& messages_;
    std::string title_;
    uint64_t meshRevision_ = 0;
    bool modified_ = false;
    SceneViewState ownViewState_;
    SceneViewState* view_ = &ownViewState_;
};

// Fills sheet with a width x height grid of nodes, two units apart in the
// z = 0 plane, joined along rows and columns (and diagonals). Refuses, leaving
// everything untouched, when the grid does not fit the slot or the pools.
bool BuildSheet(NodeSheet& sheet, CBodyDoc& doc, int width, int height, bool diagonals);

// The default colour of a table entry (0 to 255).
Rgb DefaultColour(int entry);

} // namespace qm
