// The view's mouse: the left button edits, the others move the camera.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "view/BodyView.h"

namespace qm {

namespace {

constexpr double kPickRadius = 10.0;
constexpr double kScalePerPixel = 0.002;
// A quarter turn for 300 pixels of a right drag.
constexpr double kOrbitPerPixel = 1.5707963267948966 / 300.0;
// The camera distance per wheel notch.
constexpr double kZoomPerNotch = 1.1;

// The two chest points can always be picked, whatever their flags.
bool AlwaysPickable(int node)
{
    return node == kChestNeg || node == kChestPos;
}

// The joint of figure whose node is node, or -1.
int JointOf(const Figure& figure, int node)
{
    if (!figure.active || figure.document == nullptr)
        return -1;
    for (int j = 0; j < kFigureJoints; ++j)
        if (figure.joint[size_t(j)] == node)
            return j;
    return -1;
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
    mouse_ = MouseState{true, x, y, x, y, false, -1};
    const int hit = PickNode(x, y);
    mouse_.nodeHit = hit != kNoIndex;
    // In skeleton edit mode a joint is dragged alone; the waist carries the whole figure.
    const int joint = mouse_.nodeHit && state_.skeletonEditMode ? JointOf(doc_.FirstFigure(), hit) : -1;
    mouse_.joint = joint == kWaist ? -1 : joint;
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
    if (camera_.kind != CameraDrag::None)
        MoveCamera(x, y);
    if (!mouse_.buttonDown || !projection_)
        return;
    if (keys.control) {
        const double scale = state_.modelScale - (y - mouse_.dragY) * kScalePerPixel;
        state_.modelScale = std::max(static_cast<float>(scale), kMinModelScale);
    } else if (mouse_.joint >= 0) {
        MoveJoints(x, y);
    } else {
        MoveFigure(x, y);
    }
    mouse_.dragX = x;
    mouse_.dragY = y;
    // A drag from empty space shows the rectangle it will select.
    if (!mouse_.nodeHit && frames_) {
        const ScreenRect rect{mouse_.anchorX, mouse_.anchorY, x, y};
        frames_->ShowSelectionRect(&rect);
    }
}

void CBodyView::MoveFigure(int x, int y)
{
    // The figure follows the pointer in the plane through node 0 parallel to the screen.
    const Vec3 p = doc_.pools.nodes[0].position;
    Vec3 s = projection_->ProjectPoint(p);
    s.x = static_cast<float>(double(s.x) + (x - mouse_.dragX));
    s.y = static_cast<float>(double(s.y) + (y - mouse_.dragY));
    const Vec3 w = projection_->UnprojectPoint(s);
    TranslateFigure(doc_.FirstFigure(), double(w.x) - p.x, double(w.y) - p.y, double(w.z) - p.z);
}

void CBodyView::MoveJoints(int x, int y)
{
    // The pressed joint follows the pointer in the plane through it parallel
    // to the screen; the other selected joints move by as much.
    Figure& figure = doc_.FirstFigure();
    const Vec3 p = JointNode(figure, mouse_.joint).position;
    Vec3 s = projection_->ProjectPoint(p);
    s.x = static_cast<float>(double(s.x) + (x - mouse_.dragX));
    s.y = static_cast<float>(double(s.y) + (y - mouse_.dragY));
    const Vec3 d = projection_->UnprojectPoint(s) - p;
    std::array<bool, kFigureJoints> moving{};
    std::array<Vec3, kFigureJoints> shift{};
    for (int j = 0; j < kFigureJoints; ++j) {
        const SceneNode& n = JointNode(figure, j);
        moving[size_t(j)] = n.inUse && (j == mouse_.joint || n.selected);
        if (moving[size_t(j)])
            shift[size_t(j)] = d;
    }
    // "Miroir": a moving joint's partner across the figure's middle (x = 0)
    // moves the mirror way, unless it moves itself.
    if (options_.Switches().mirrorEdit)
        for (const auto& [a, b] : kMirrorPairs)
            for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}})
                if (moving[size_t(from)] && !moving[size_t(to)])
                    shift[size_t(to)] = Vec3(-d.x, d.y, d.z);
    for (int j = 0; j < kFigureJoints; ++j) {
        SceneNode& n = JointNode(figure, j);
        if (n.inUse && shift[size_t(j)] != Vec3()) {
            n.position += shift[size_t(j)];
            n.velocity = Vec3();
        }
    }
    UpdateDerivedJoints(figure, false);
}

void CBodyView::OnLButtonUp(MouseKeys keys)
{
    if (!mouse_.buttonDown)
        return;
    mouse_.buttonDown = false;
    if (frames_)
        frames_->ShowSelectionRect(nullptr);
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

void CBodyView::OnMouseWheel(double notches)
{
    const double distance = state_.cameraDistance * std::pow(kZoomPerNotch, -notches);
    state_.cameraDistance =
        static_cast<float>(std::clamp(distance, double(kMinCameraDistance), double(kMaxCameraDistance)));
}

void CBodyView::OnRButtonDown(int x, int y, MouseKeys keys)
{
    camera_ = CameraDragState{keys.shift ? CameraDrag::Pan : CameraDrag::Orbit, x, y};
}

void CBodyView::OnMButtonDown(int x, int y)
{
    camera_ = CameraDragState{CameraDrag::Pan, x, y};
}

void CBodyView::OnCameraButtonUp()
{
    // The camera stops where the pointer left it, without the keys' glide.
    camera_.kind = CameraDrag::None;
}

void CBodyView::MoveCamera(int x, int y)
{
    const int dx = x - camera_.x, dy = y - camera_.y;
    camera_.x = x;
    camera_.y = y;
    if (camera_.kind == CameraDrag::Orbit) {
        // As the arrows turn it: right drag as the right arrow, up as the up arrow.
        state_.cameraAzimuth = static_cast<float>(state_.cameraAzimuth + dx * kOrbitPerPixel);
        state_.cameraElevation = static_cast<float>(state_.cameraElevation - dy * kOrbitPerPixel);
        return;
    }
    if (!projection_)
        return;
    // The point of the target's depth that lies where the pointer moves from
    // becomes the target, so the scene follows the pointer. The projection
    // includes the model scale; the target does not.
    const double scale = state_.modelScale;
    Vec3 s = projection_->ProjectPoint(state_.cameraTarget * (1.0 / scale));
    s.x = static_cast<float>(double(s.x) - dx);
    s.y = static_cast<float>(double(s.y) - dy);
    state_.cameraTarget = projection_->UnprojectPoint(s) * scale;
}

} // namespace qm
