#pragma once

#include <array>
#include <cstdint>

#include "skeleton/Vec3.h"

namespace qm {

constexpr int kNodePoolSize = 200;
constexpr int kLinkPoolSize = 500;
constexpr int kNoIndex = -1;

// One point of the skeleton. The layout (22 consecutive 32-bit fields) is kept
// as it always was; fields such as the state and spare flags and the three
// parameters are carried along without anything consulting them.
struct SceneNode {
    Vec3 position;
    Vec3 velocity;
    Vec3 previousPosition;
    Vec3 restPosition;  // pose in which the mesh was bound
    int32_t index = 0;
    int32_t inUse = 0;
    int32_t stateFlag = 0;
    int32_t selected = 0;
    int32_t pinned = 0;
    int32_t pickable = 0;
    int32_t spareFlag = 0;
    float paramA = 0.0f;
    float paramB = 0.0f;
    float paramC = 0.0f;
};
static_assert(sizeof(SceneNode) == 22 * 4, "SceneNode is 22 32-bit fields");

struct SceneLink {
    int32_t nodeA = kNoIndex;
    int32_t nodeB = kNoIndex;
    int32_t index = 0;
    float restLength = 0.0f;
    int32_t inUse = 0;
    int32_t zeroLength = 0;   // rest length forced to 0
    int32_t figureOwned = 0;  // created by a figure; the document will not remove it
};
static_assert(sizeof(SceneLink) == 7 * 4, "SceneLink is 7 32-bit fields");

// The fixed node and link pools of a scene. Records refer to each other by
// pool index, so indices stay valid for the life of the scene.
struct SkeletonPools {
    std::array<SceneNode, kNodePoolSize> nodes{};
    std::array<SceneLink, kLinkPoolSize> links{};

    bool ValidNode(int i) const { return i >= 0 && i < kNodePoolSize; }
    bool ValidLink(int i) const { return i >= 0 && i < kLinkPoolSize; }
    int FreeNodeCount() const;
    int FreeLinkCount() const;
};

// First-fit allocation from index 0. Both return kNoIndex, leaving the pool
// untouched, when every entry is in use.
int AllocNode(SkeletonPools& pools);
int AllocLink(SkeletonPools& pools);

void SetLinkEnds(SkeletonPools& pools, int link, int a, int b);

// Distance between the rest positions of two nodes, never below 0.01.
double RestDistance(const SkeletonPools& pools, int a, int b);

void UpdateLinkRestLengths(SkeletonPools& pools);

// Every node, in use or not, back to its rest position with no motion and no pin.
void ResetAllNodeMotion(SkeletonPools& pools);

} // namespace qm
