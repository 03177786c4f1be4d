#include "skeleton/Pools.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace qm {

int SkeletonPools::FreeNodeCount() const
{
    return static_cast<int>(std::count_if(nodes.begin(), nodes.end(), [](const SceneNode& n) { return !n.inUse; }));
}

int SkeletonPools::FreeLinkCount() const
{
    return static_cast<int>(std::count_if(links.begin(), links.end(), [](const SceneLink& l) { return !l.inUse; }));
}

int AllocNode(SkeletonPools& pools)
{
    for (int i = 0; i < kNodePoolSize; ++i) {
        SceneNode& n = pools.nodes[i];
        if (n.inUse)
            continue;
        n = SceneNode{};
        n.index = i;
        n.inUse = 1;
        n.pickable = 1;
        n.paramA = 0.999f;
        n.paramB = 0.9f;
        n.paramC = 0.5f;
        return i;
    }
    return kNoIndex;
}

int AllocLink(SkeletonPools& pools)
{
    for (int i = 0; i < kLinkPoolSize; ++i) {
        SceneLink& l = pools.links[i];
        if (l.inUse)
            continue;
        l = SceneLink{};
        l.index = i;
        l.inUse = 1;
        l.restLength = 1.0f;
        return i;
    }
    return kNoIndex;
}

void SetLinkEnds(SkeletonPools& pools, int link, int a, int b)
{
    assert(pools.ValidLink(link));
    SceneLink& l = pools.links[static_cast<size_t>(link)];
    l.nodeA = a;
    l.nodeB = b;
    l.inUse = 1;
}

double RestDistance(const SkeletonPools& pools, int a, int b)
{
    if (!pools.ValidNode(a) || !pools.ValidNode(b))
        return 0.01;
    const double d = Distance(pools.nodes[static_cast<size_t>(a)].restPosition,
                              pools.nodes[static_cast<size_t>(b)].restPosition);
    // "!(d > 0.01)" also catches NaN.
    return (d > 0.01) ? d : 0.01;
}

void UpdateLinkRestLengths(SkeletonPools& pools)
{
    for (SceneLink& l : pools.links) {
        if (!l.inUse)
            continue;
        l.restLength = l.zeroLength ? 0.0f : static_cast<float>(RestDistance(pools, l.nodeA, l.nodeB));
    }
}

void ResetAllNodeMotion(SkeletonPools& pools)
{
    for (SceneNode& n : pools.nodes) {
        n.stateFlag = 0;
        n.velocity = Vec3();
        n.position = n.restPosition;
        n.previousPosition = n.position;
        n.pinned = 0;
    }
}

} // namespace qm
