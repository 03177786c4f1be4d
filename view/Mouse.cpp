// The view's left mouse button.
#include <algorithm>
#include <cmath>
#include <utility>

#include "view/BodyView.h"

namespace qm {

namespace {

constexpr double kPickRadius = 10.0;
constexpr double kScalePerPixel = 0.002;

// The two chest points can always be picked, whatever their flags.
bool AlwaysPickable(int node)
{
    return node == kChestNeg || node == kChestPos;
}

} // namespace

double CBodyView::NodeScreenDistance(int node, int x, int y) const
{
    const Vec3 s = projection_->ProjectPoint(doc_.pools.nodes[static_cast<size_t>(node)].position);
    return std::hypot(double(s.x) - x, double(s.y) - y);
}

bool CBodyView::NodeInRect(int node, int x0, int y0, int x1, int y1) const
{
    const Vec3 s = projection_->ProjectPoint(doc_.pools.nodes[static_cast<size_t>(node)].position);
    return x0 < s.x && s.x < x1 && y0 < s.y && s.y < y1;
}

int CBodyView::PickNode(int x, int y) const
{
    if (!projection_)
        return kNoIndex;
    double best = 1.0e10;
    int picked = kNoIndex;
    for (int i = 0; i < kNodePoolSize; ++i) {
        if (!doc_.pools.nodes[static_cast<size_t>(i)].pickable && !AlwaysPickable(i))
            continue;
        const double d = NodeScreenDistance(i, x, y);
        if (d < kPickRadius && d < best) {
            best = d;
            picked = i;
        }
    }
    return picked;
}

void CBodyView::OnLButtonDown(int x, int y, MouseKeys keys)
{
    if (!projection_)
        return;
    mouse_ = MouseState{true, x, y, x, y, false};
    const int hit = PickNode(x, y);
    mouse_.nodeHit = hit != kNoIndex;
    auto& nodes = doc_.pools.nodes;
    auto clear = [&](int32_t SceneNode::*flag) {
        for (SceneNode& n : nodes)
            n.*flag = 0;
    };

    // A click on a node of the selection keeps the selection.
    if (!keys.shift && !(mouse_.nodeHit && nodes[static_cast<size_t>(hit)].selected))
        clear(&SceneNode::selected);
    if (keys.control) {
        if (mouse_.nodeHit) {
            int32_t& pinned = nodes[static_cast<size_t>(hit)].pinned;
            pinned = pinned == 0 ? 1 : 0;
        } else {
            clear(&SceneNode::pinned);
        }
        return;
    }
    if (mouse_.nodeHit) {
        int32_t& selected = nodes[static_cast<size_t>(hit)].selected;
        selected = keys.shift ? (selected == 0 ? 1 : 0) : 1;
    } else if (!keys.shift) {
        clear(&SceneNode::selected);
    }
}

void CBodyView::OnMouseMove(int x, int y, MouseKeys keys)
{
    if (!mouse_.buttonDown || !projection_)
        return;
    if (keys.control) {
        const double scale = state_.modelScale - (y - mouse_.dragY) * kScalePerPixel;
        state_.modelScale = std::max(static_cast<float>(scale), kMinModelScale);
    } else {
        // The figure follows the pointer in the plane through node 0 parallel to the screen.
        const Vec3 p = doc_.pools.nodes[0].position;
        Vec3 s = projection_->ProjectPoint(p);
        s.x = static_cast<float>(double(s.x) + (x - mouse_.dragX));
        s.y = static_cast<float>(double(s.y) + (y - mouse_.dragY));
        const Vec3 w = projection_->UnprojectPoint(s);
        TranslateFigure(doc_.FirstFigure(), double(w.x) - p.x, double(w.y) - p.y, double(w.z) - p.z);
    }
    mouse_.dragX = x;
    mouse_.dragY = y;
}

void CBodyView::OnLButtonUp(MouseKeys keys)
{
    if (!mouse_.buttonDown)
        return;
    mouse_.buttonDown = false;
    if (!mouse_.nodeHit) {
        // The rectangle from the press to the last move, corners in order.
        if (mouse_.dragX < mouse_.anchorX)
            std::swap(mouse_.dragX, mouse_.anchorX);
        if (mouse_.dragY < mouse_.anchorY)
            std::swap(mouse_.dragY, mouse_.anchorY);
        for (int i = 0; i < kNodePoolSize; ++i) {
            SceneNode& n = doc_.pools.nodes[static_cast<size_t>(i)];
            if (n.inUse && n.pickable && NodeInRect(i, mouse_.anchorX, mouse_.anchorY, mouse_.dragX, mouse_.dragY))
                (keys.control ? n.pinned : n.selected) = 1;
        }
    }
    if (std::fabs(state_.modelScale - 1.0) > 0.001)
        doc_.ApplyModelScale();
    if (state_.skeletonEditMode)
        CommitPoseAndRebind(doc_.FirstFigure(), true);
    mouse_.nodeHit = false;
    selectedCount_ = static_cast<int>(std::count_if(doc_.pools.nodes.begin(), doc_.pools.nodes.end(),
                                                    [](const SceneNode& n) { return n.selected != 0; }));
}

} // namespace qm
