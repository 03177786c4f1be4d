#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::CountLinksInUse;
using test::CountNodesInUse;

class NodeEditingTest : public ::testing::Test {
  protected:
    NodeEditingTest() { doc.ResetScene(); }

    int FreeNode(Vec3 rest)
    {
        const int n = AllocNode(doc.pools);
        node(n).restPosition = rest;
        node(n).position = rest;
        return n;
    }
    SceneNode& node(int i) { return doc.pools.nodes[static_cast<size_t>(i)]; }
    SceneLink& link(int i) { return doc.pools.links[static_cast<size_t>(i)]; }
    void Select(std::initializer_list<int> nodes)
    {
        for (SceneNode& n : doc.pools.nodes)
            n.selected = 0;
        for (int n : nodes)
            node(n).selected = 1;
    }

    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(NodeEditingTest, MergeKeepsLowestIndexAndMovesLinkEnds)
{
    const int a = FreeNode(Vec3(0, 0, 0)), b = FreeNode(Vec3(3, 0, 0)), c = FreeNode(Vec3(0, 3, 0));
    const int other = FreeNode(Vec3(9, 9, 9));
    node(c).position = Vec3(0, 6, 0);
    Select({a, b});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    Select({b, other});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    const int ab = 25, bOther = 26;

    Select({c, b, a});
    doc.MergeSelectedNodes();
    EXPECT_EQ(node(a).inUse + node(b).inUse + node(c).inUse, 1);
    EXPECT_EQ(node(a).restPosition, Vec3(1, 1, 0));
    EXPECT_EQ(node(a).position, Vec3(1, 2, 0));
    EXPECT_EQ(node(a).previousPosition, Vec3(1, 2, 0));
    EXPECT_TRUE(link(ab).inUse && link(ab).nodeA == a && link(ab).nodeB == a) << "a loop on the kept node";
    EXPECT_TRUE(link(bOther).nodeA == a && link(bOther).nodeB == other);
    EXPECT_EQ(AllocNode(doc.pools), b) << "freed nodes are handed out again, lowest first";

    // Fewer than two selected: nothing happens.
    Select({other});
    const SkeletonPools before = doc.pools;
    doc.MergeSelectedNodes();
    EXPECT_EQ(std::memcmp(&before, &doc.pools, sizeof before), 0);
}

TEST_F(NodeEditingTest, LinkMeasuresRestLengthAndRefusesDuplicates)
{
    const int a = FreeNode(Vec3(1, 1, 1)), b = FreeNode(Vec3(1, 1, 1)), c = FreeNode(Vec3(4, 5, 1));
    Select({b, a});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    EXPECT_TRUE(link(25).nodeA == a && link(25).nodeB == b && link(25).figureOwned == 0);
    EXPECT_EQ(link(25).restLength, 0.0f); // coincident nodes: no 0.01 floor here

    EXPECT_FALSE(doc.LinkSelectedNodes(true)); // already linked, either order
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], strings::kAlreadyLinked);
    EXPECT_EQ(CountLinksInUse(doc), 26);

    Select({a, c});
    ASSERT_TRUE(doc.LinkSelectedNodes(true));
    EXPECT_EQ(link(26).restLength, 0.0f) << "zero length";

    Select({a, b, c});
    EXPECT_FALSE(doc.LinkSelectedNodes(false)); // three selected: nothing, silently
    EXPECT_EQ(messages.shown.size(), 1u);

    // No free link: refused, pools unchanged.
    for (SceneLink& any : doc.pools.links)
        any.inUse = 1;
    Select({b, c});
    const SkeletonPools before = doc.pools;
    EXPECT_FALSE(doc.LinkSelectedNodes(false));
    EXPECT_EQ(std::memcmp(&before, &doc.pools, sizeof before), 0);
}

TEST_F(NodeEditingTest, FigureLinksCannotBeCut)
{
    Select({kNeck, kWaist}); // joined by figure link 0
    doc.UnlinkSelectedNodes();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], strings::kCannotUnlink);
    EXPECT_EQ(link(0).inUse, 1);

    Select({kHandNeg, kNeck}); // not linked: nothing, silently
    doc.UnlinkSelectedNodes();
    EXPECT_EQ(messages.shown.size(), 1u);
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    doc.UnlinkSelectedNodes();
    EXPECT_EQ(link(25).inUse, 0);
    EXPECT_EQ(CountLinksInUse(doc), 25);
}

TEST_F(NodeEditingTest, SheetIsAGridOfPickableNodesWithItsLinks)
{
    ASSERT_EQ(doc.AddSheet(true), 0);
    const NodeSheet& sheet = doc.sheets[0];
    EXPECT_EQ(sheet.active, 1);
    EXPECT_EQ(CountNodesInUse(doc), 30 + 49);
    EXPECT_EQ(CountLinksInUse(doc), 25 + 156);
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 7; ++i) {
            const SceneNode& n = node(sheet.node[static_cast<size_t>(7 * j + i)]);
            EXPECT_EQ(n.restPosition, Vec3(2.0f * i, 2.0f * j, 0));
            EXPECT_EQ(n.position, n.restPosition);
            EXPECT_EQ(n.pickable, 1);
        }
    // Slot (kind 3, column 0, row 0) joins (1, 0) and (0, 1) across a diagonal.
    const SceneLink& diagonal = link(sheet.link[(7 * 3 + 0) * 7 + 0]);
    EXPECT_EQ(diagonal.nodeA, sheet.node[1]);
    EXPECT_EQ(diagonal.nodeB, sheet.node[7]);
    EXPECT_FLOAT_EQ(diagonal.restLength, float(2 * std::sqrt(2.0)));
    EXPECT_EQ(diagonal.figureOwned, 0);
    // The unused slot at the end of a row went back to the pool.
    EXPECT_EQ(link(sheet.link[6]).inUse, 0);

    ASSERT_EQ(doc.AddSheet(false), 1);
    EXPECT_EQ(CountLinksInUse(doc), 25 + 156 + 84);
}

TEST_F(NodeEditingTest, SheetsAreRefusedWhenSlotsOrPoolsRunOut)
{
    ASSERT_EQ(doc.AddSheet(true), 0);
    ASSERT_EQ(doc.AddSheet(true), 1); // 128 nodes, 392 links taken
    const SkeletonPools before = doc.pools;
    EXPECT_EQ(doc.AddSheet(true), kNoIndex); // 108 links left, 196 needed
    EXPECT_EQ(std::memcmp(&before, &doc.pools, sizeof before), 0);
    EXPECT_EQ(doc.sheets[2].active, 0);

    doc.ResetScene();
    for (NodeSheet& s : doc.sheets)
        s.active = 1;
    EXPECT_EQ(doc.AddSheet(false), kNoIndex);
    EXPECT_EQ(CountNodesInUse(doc), 30);
}

} // namespace
} // namespace qm
