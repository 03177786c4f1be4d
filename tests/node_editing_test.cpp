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
        node(n).restPosition = node(n).position = rest;
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
    // Runs edit, which must refuse, and checks that the pools are unchanged.
    template <class Edit> void ExpectRefused(Edit edit)
    {
        const SkeletonPools before = doc.pools;
        edit();
        EXPECT_EQ(std::memcmp(&before, &doc.pools, sizeof before), 0);
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
    EXPECT_TRUE(node(a).restPosition == Vec3(1, 1, 0) && node(a).position == Vec3(1, 2, 0)) << "at the mean";
    EXPECT_TRUE(link(ab).inUse && link(ab).nodeA == a && link(ab).nodeB == a) << "a loop on the kept node";
    EXPECT_TRUE(link(bOther).nodeA == a && link(bOther).nodeB == other);
    Select({other});
    ExpectRefused([&] { doc.MergeSelectedNodes(); });
}

// Linking measures the rest length (none for a zero-length link); a second
// link between the same nodes and cutting a figure's own link are refused
// with a message; with three selected, or no free link, nothing happens.
TEST_F(NodeEditingTest, LinksAreMeasuredAndRefusedWithAReason)
{
    const int a = FreeNode(Vec3(1, 1, 1)), b = FreeNode(Vec3(4, 5, 1)), c = FreeNode(Vec3(4, 5, 1));
    Select({b, a});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    EXPECT_TRUE(link(25).nodeA == a && link(25).nodeB == b && link(25).figureOwned == 0);
    EXPECT_FLOAT_EQ(link(25).restLength, 5.0f);
    EXPECT_FALSE(doc.LinkSelectedNodes(true));
    Select({a, c});
    ASSERT_TRUE(doc.LinkSelectedNodes(true));
    EXPECT_EQ(link(26).restLength, 0.0f);
    Select({kNeck, kWaist});  // figure link 0
    doc.UnlinkSelectedNodes();
    EXPECT_EQ(link(0).inUse, 1);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{strings::kAlreadyLinked, strings::kCannotUnlink}));

    Select({a, b, c});
    ExpectRefused([&] { EXPECT_FALSE(doc.LinkSelectedNodes(false)); });
    Select({a, b});
    doc.UnlinkSelectedNodes();
    EXPECT_EQ(CountLinksInUse(doc), 26);
    for (SceneLink& any : doc.pools.links)
        any.inUse = 1;
    Select({b, c});
    ExpectRefused([&] { EXPECT_FALSE(doc.LinkSelectedNodes(false)); });
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(NodeEditingTest, FiguresAndSheetsAreRefusedWhenSlotsOrPoolsRunOut)
{
    for (int slot = 1; slot < 6; ++slot)
        ASSERT_EQ(doc.AddFigure(), slot);
    EXPECT_EQ(CountNodesInUse(doc), 180);
    ExpectRefused([&] { EXPECT_EQ(doc.AddFigure(), kNoIndex); });  // 20 nodes left, a figure needs 30

    doc.ResetScene();
    ASSERT_EQ(doc.AddSheet(true), 0);
    ASSERT_EQ(doc.AddSheet(true), 1);
    ExpectRefused([&] { EXPECT_EQ(doc.AddSheet(true), kNoIndex); });  // 108 links left, 196 needed
    EXPECT_EQ(doc.sheets[2].active, 0);

    doc.ResetScene();
    for (Figure& f : doc.figures)
        f.active = 1;
    for (NodeSheet& s : doc.sheets)
        s.active = 1;
    ExpectRefused([&] {
        EXPECT_EQ(doc.AddFigure(), kNoIndex);
        EXPECT_EQ(doc.AddSheet(false), kNoIndex);
    });
}

TEST_F(NodeEditingTest, GrowMeshOutOfMemoryDiscardsTheMeshAndSaysSo)
{
    test::AddVertex(doc, Vec3(1, 1, 1));
    doc.polygonCount = kMaxMeshEntries + 1;  // a count no memory could hold
    EXPECT_TRUE(doc.GrowMesh());
    EXPECT_EQ(doc.vertexCount + doc.polygonCount, 0);
    EXPECT_EQ(doc.PolygonCapacity(), 2010);
    EXPECT_EQ(messages.shown, std::vector<std::string>{strings::kOutOfMemory});
}

} // namespace
} // namespace qm
