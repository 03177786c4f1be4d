#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "skeleton/BinaryStream.h"
#include "skeleton/Pools.h"

namespace qm {
namespace {

TEST(BinaryStream, WritesLittleEndianReadsBackAndLatchesFailure)
{
    BinaryWriter w;
    w.WriteInt32(-2);
    w.WriteFloat(1.0f);
    w.WriteU16(0x1234);
    EXPECT_EQ(w.Bytes(), (std::vector<uint8_t>{0xfe, 0xff, 0xff, 0xff, 0x00, 0x00, 0x80, 0x3f, 0x34, 0x12}));

    BinaryReader r(w.Bytes());
    EXPECT_EQ(r.ReadInt32(), -2);
    EXPECT_EQ(r.ReadFloat(), 1.0f);
    EXPECT_EQ(r.ReadU16(), 0x1234);
    EXPECT_FALSE(r.Failed());
    EXPECT_EQ(r.ReadU32(), 0u) << "past the end: zero";
    EXPECT_TRUE(r.Failed());

    const std::vector<uint8_t> three = {1, 2, 3};
    BinaryReader cut(three);
    EXPECT_EQ(cut.ReadU32(), 0u); // needs four, only three there
    EXPECT_EQ(cut.ReadByte(), 0) << "stays failed even where a byte would fit";
}

TEST(NodePool, AllocatedNodeStartsAfreshAtTheOrigin)
{
    SkeletonPools pools;
    pools.nodes[0].inUse = 1;
    pools.nodes[1].position = Vec3(5, 5, 5); // leftovers of a freed node
    pools.nodes[1].selected = pools.nodes[1].pinned = 1;

    ASSERT_EQ(AllocNode(pools), 1);
    const SceneNode& n = pools.nodes[1];
    EXPECT_EQ(n.index, 1);
    EXPECT_EQ(n.inUse + n.pickable, 2);
    EXPECT_EQ(n.position, Vec3());
    EXPECT_EQ(n.selected + n.pinned, 0);
}

TEST(NodePool, FullPoolsRefuseWithoutTouchingAnything)
{
    SkeletonPools pools;
    for (int i = 0; i < kNodePoolSize; ++i)
        ASSERT_EQ(AllocNode(pools), i);
    for (int i = 0; i < kLinkPoolSize; ++i)
        ASSERT_EQ(AllocLink(pools), i);
    const SkeletonPools before = pools;

    EXPECT_EQ(AllocNode(pools), kNoIndex);
    EXPECT_EQ(AllocLink(pools), kNoIndex);
    EXPECT_EQ(std::memcmp(&before, &pools, sizeof pools), 0);

    pools.nodes[57].inUse = 0; // a freed entry is the next one handed out
    EXPECT_EQ(AllocNode(pools), 57);
}

TEST(LinkPool, RestLengthsFollowRestPositionsWithFloorAndZeroLength)
{
    SkeletonPools pools;
    const int a = AllocNode(pools), b = AllocNode(pools), c = AllocNode(pools);
    pools.nodes[static_cast<size_t>(b)].restPosition = Vec3(3, 4, 0);
    pools.nodes[static_cast<size_t>(b)].position = Vec3(100, 0, 0); // current positions do not count

    const int ab = AllocLink(pools), ac = AllocLink(pools), zero = AllocLink(pools), loose = AllocLink(pools);
    EXPECT_FLOAT_EQ(pools.links[static_cast<size_t>(ab)].restLength, 1.0f);
    EXPECT_EQ(pools.links[static_cast<size_t>(loose)].nodeA, kNoIndex);
    SetLinkEnds(pools, ab, a, b);
    SetLinkEnds(pools, ac, a, c); // coincident rest positions
    SetLinkEnds(pools, zero, a, b);
    pools.links[static_cast<size_t>(zero)].zeroLength = 1;

    UpdateLinkRestLengths(pools);
    EXPECT_FLOAT_EQ(pools.links[static_cast<size_t>(ab)].restLength, 5.0f);
    EXPECT_FLOAT_EQ(pools.links[static_cast<size_t>(ac)].restLength, 0.01f);
    EXPECT_EQ(pools.links[static_cast<size_t>(zero)].restLength, 0.0f);
    EXPECT_FLOAT_EQ(pools.links[static_cast<size_t>(loose)].restLength, 0.01f); // no ends yet

    pools.nodes[static_cast<size_t>(c)].restPosition.x = std::numeric_limits<float>::quiet_NaN();
    EXPECT_DOUBLE_EQ(RestDistance(pools, a, c), 0.01);
}

TEST(NodePool, ResetMotionReturnsEveryNodeToRestAndClearsPins)
{
    SkeletonPools pools;
    SceneNode& used = pools.nodes[static_cast<size_t>(AllocNode(pools))];
    SceneNode& unused = pools.nodes[150];
    for (SceneNode* n : {&used, &unused}) {
        n->restPosition = Vec3(1, 2, 3);
        n->position = Vec3(7, 7, 7);
        n->velocity = Vec3(1, 1, 1);
        n->pinned = 1;
        n->stateFlag = 4;
    }
    ResetAllNodeMotion(pools);
    for (const SceneNode* n : {&used, &unused}) {
        EXPECT_EQ(n->position, Vec3(1, 2, 3));
        EXPECT_EQ(n->previousPosition, Vec3(1, 2, 3));
        EXPECT_EQ(n->velocity, Vec3());
        EXPECT_EQ(n->pinned + n->stateFlag, 0);
    }
    EXPECT_EQ(unused.inUse, 0);
}

} // namespace
} // namespace qm
