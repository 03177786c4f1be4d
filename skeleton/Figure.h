#pragma once

#include <array>
#include <cstdint>

#include "skeleton/BinaryStream.h"
#include "skeleton/Pools.h"

namespace qm {

constexpr int kFigureJoints = 30;
constexpr int kFigureLinks = 25;
constexpr int kPoseBlockBytes = kFigureJoints * 6 * 4;

// Named joints of a figure (the others are spare or derived).
enum Joint : int {
    kWaist = 0, kNeck = 1, kHead = 2, kFace = 3, kChestNeg = 4, kChestPos = 5,
    kPelvis = 9,
    kShoulderNeg = 10, kElbowNeg = 11, kHandNeg = 12,
    kShoulderPos = 15, kElbowPos = 16, kHandPos = 17,
    kHipNeg = 20, kKneeNeg = 21, kFootNeg = 22, kThighNeg = 24,
    kHipPos = 25, kKneePos = 26, kFootPos = 27, kThighPos = 29,
};

// The joint pair of each of a figure's 25 links, in link order.
extern const std::array<std::array<int, 2>, kFigureLinks> kFigureLinkJoints;

// Mirror pairs, the -x member first.
extern const std::array<std::array<int, 2>, 8> kMirrorPairs;

// What a figure needs from the scene that owns it: the pools its indices refer
// to, the mesh binding to redo after a commit, and whether the skeleton is
// being fitted (joints 4 and 5 are pickable only then).
class FigureHost {
public:
    virtual SkeletonPools& Pools() = 0;
    virtual void BindMeshToNodes() = 0;
    virtual bool SkeletonEditMode() const = 0;
    // The skeleton's rest pose or the mesh's binding to it has changed: the
    // scene has work to save.
    virtual void MarkModified() = 0;

protected:
    ~FigureHost() = default;
};

// One figure slot: 30 joint nodes and 25 link indices into its document's pools.
struct Figure {
    std::array<int32_t, kFigureJoints> joint{};
    std::array<int32_t, kFigureLinks> link{};
    FigureHost* document = nullptr;  // not owned; null until first built
    uint8_t active = 0;
};

SceneNode& JointNode(Figure& figure, int i);
const SceneNode& JointNode(const Figure& figure, int i);
SceneLink& FigureLink(Figure& figure, int i);

void TranslateFigure(Figure& figure, double dx, double dy, double dz);
void SettleFigure(Figure& figure);
void ClearJointSelection(Figure& figure);

// Builds a figure with the default skeleton in host's pools. Refuses (returns
// false, pools and figure untouched) when fewer than 30 nodes or 25 links are free.
bool BuildFigure(Figure& figure, FigureHost& host);

void SetDefaultRestPose(Figure& figure);
// Where the default rest pose puts a joint (spare joints: parked far away).
Vec3 DefaultRestPosition(int joint);
void UpdateDerivedJoints(Figure& figure, bool alsoRest);
void ResetFigurePose(Figure& figure, bool toRest);
void CommitPoseAndRebind(Figure& figure, bool commit);
void MirrorPose(Figure& figure, bool fromNegativeSide);

// The pose block of a scene file: per joint, position then rest position.
void SaveFigurePose(const Figure& figure, BinaryWriter& out);
// Reads a pose block and rebinds the mesh to it. Returns false, leaving the
// figure untouched, when the block is incomplete.
bool LoadFigurePose(Figure& figure, BinaryReader& in);

} // namespace qm
