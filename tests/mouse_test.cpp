#include "SceneFixtures.h"
#include "ViewFixture.h"

namespace qm {
namespace {

using test::AddVertex;

// A camera looking along +y: 10 pixels per unit, x to the right, z down, the
// origin at pixel (200, 200); the depth is y.
class FlatProjection final : public ScreenProjection {
public:
    Vec3 ProjectPoint(const Vec3& p) const override { return Vec3(200 + 10 * p.x, 200 + 10 * p.z, p.y); }
    Vec3 UnprojectPoint(const Vec3& w) const override { return Vec3((w.x - 200) / 10, w.z, (w.y - 200) / 10); }
};

class MouseTest : public test::ViewTest {
protected:
    MouseTest()
    {
        view->SetProjection(&projection);
        // Out of the way of the figure (which stands within about 13 units of the origin).
        for (SceneNode& n : doc.pools.nodes)
            if (n.inUse)
                n.position += Vec3(100, 0, 100);
    }

    int FreeNodeAt(float x, float z)
    {
        const int i = AllocNode(doc.pools);
        node(i).position = Vec3(x, 0, z);
        return i;
    }
    void Click(int x, int y, MouseKeys keys = {})
    {
        view->OnLButtonDown(x, y, keys);
        view->OnLButtonUp(keys);
    }
    void Drag(int x0, int y0, int x1, int y1, MouseKeys keys = {})
    {
        view->OnLButtonDown(x0, y0, keys);
        view->OnMouseMove(x1, y1, keys);
        view->OnLButtonUp(keys);
    }

    FlatProjection projection;
};

TEST_F(MouseTest, PickingTakesTheNearestWithinTenPixelsLowerIndexFirst)
{
    const int a = FreeNodeAt(0.5f, 0), b = FreeNodeAt(-0.5f, 0);  // both 5 pixels from (200, 200)
    EXPECT_EQ(view->PickNode(200, 200), a);
    EXPECT_LT(a, b);
    EXPECT_EQ(view->PickNode(196, 200), b);

    const int c = FreeNodeAt(20, 0);  // at pixel (400, 200)
    EXPECT_EQ(view->PickNode(410, 200), kNoIndex);  // exactly 10 pixels is a miss
    EXPECT_EQ(view->PickNode(409, 200), c);

    node(c).pickable = 0;
    EXPECT_EQ(view->PickNode(400, 200), kNoIndex);
    // The chest points are picked whatever their flags.
    node(kChestNeg).position = Vec3(20, 0, 0);
    node(kChestNeg).pickable = 0;
    node(kChestNeg).inUse = 0;
    EXPECT_EQ(view->PickNode(400, 200), kChestNeg);
    const Vec3 thigh = projection.ProjectPoint(node(kThighNeg).position);  // a joint no click reaches
    EXPECT_EQ(view->PickNode(int(thigh.x), int(thigh.y)), kNoIndex);
}

TEST_F(MouseTest, ClicksSelectAddRemoveAndPin)
{
    const int a = FreeNodeAt(0, 0), b = FreeNodeAt(5, 0);
    Click(200, 200);
    EXPECT_EQ(node(a).selected, 1);
    Click(250, 200, {true, false});  // Shift adds
    EXPECT_EQ(node(b).selected, 1);
    Click(200, 200);  // a node of the selection: the selection stays
    EXPECT_EQ(node(a).selected, 1);
    EXPECT_EQ(node(b).selected, 1);
    EXPECT_EQ(view->SelectedCount(), 2);
    Click(250, 200, {true, false});  // Shift removes
    EXPECT_EQ(node(b).selected, 0);

    Click(250, 200, {false, true});  // Ctrl pins b, and clears the selection b was not part of
    EXPECT_EQ(node(b).pinned, 1);
    EXPECT_EQ(node(a).selected, 0);
    node(a).pinned = 1;
    Click(300, 300, {false, true});  // Ctrl on empty space clears every pin
    EXPECT_EQ(node(a).pinned + node(b).pinned, 0);
}

TEST_F(MouseTest, RectangleTakesNodesStrictlyInsideEitherWay)
{
    const int inside = FreeNodeAt(1, 1), border = FreeNodeAt(2, 1), unused = FreeNodeAt(1, 1.5f);
    node(unused).inUse = 0;
    for (const bool reversed : {false, true}) {
        Click(300, 300);
        if (reversed)
            Drag(220, 230, 195, 195);
        else
            Drag(195, 195, 220, 230);  // from empty space; node "border" projects onto x = 220
        EXPECT_TRUE(node(inside).selected && !node(border).selected && !node(unused).selected) << reversed;
    }

    Drag(195, 195, 221, 230, {false, true});  // with Ctrl the rectangle pins
    EXPECT_EQ(node(border).pinned, 1);
}

TEST_F(MouseTest, DraggingMovesTheFigureInTheScreenPlane)
{
    const Vec3 waist = node(kWaist).position, head = node(kHead).position;
    const Vec3 waistRest = node(kWaist).restPosition;
    Drag(50, 50, 80, 30);  // 3 units right, 2 up (z decreases)
    EXPECT_EQ(node(kWaist).position, waist + Vec3(3, 0, -2));
    EXPECT_EQ(node(kHead).position, head + Vec3(3, 0, -2));
    EXPECT_EQ(node(kWaist).restPosition, waistRest);  // outside the edit mode nothing is committed

    // In skeleton edit mode the release commits the pose and binds the mesh to it.
    const int v = AddVertex(doc, Vec3(0, 0, 0));
    ASSERT_TRUE(view->Execute(kCmdSkeletonEdit));
    Drag(50, 50, 50, 50);
    EXPECT_EQ(node(kWaist).restPosition, node(kWaist).position);
    EXPECT_EQ(doc.boundNode[static_cast<size_t>(v)], kNeck);  // bound anew to the committed pose
}

TEST_F(MouseTest, ControlDragScalesTheModelAndReleaseBakesIt)
{
    AddVertex(doc, Vec3(1, 2, 3));
    view->OnLButtonDown(300, 300, {false, true});
    view->OnMouseMove(300, 200, {false, true});  // 100 pixels up
    EXPECT_NEAR(state().modelScale, 1.2, 1e-6);
    view->OnLButtonUp({false, true});
    EXPECT_EQ(state().modelScale, 1.0f);
    EXPECT_NEAR(doc.restVertices[0].x, 1.2, 1e-5);
    EXPECT_NEAR(doc.restVertices[0].z, 3.6, 1e-5);

    Drag(300, 0, 300, 1000, {false, true});
    EXPECT_NEAR(doc.restVertices[0].x, 0.012, 1e-6);  // at the floor of the scale, 0.01
}

} // namespace
} // namespace qm
