#pragma once

#include <cstdint>

#include "platform/Keyboard.h"
#include "platform/Settings.h"
#include "scene/BodyDoc.h"
#include "view/Animation.h"
#include "view/Commands.h"
#include "view/ViewOptions.h"

namespace qm {

// What the view needs of the drawing side: one frame, and the frame counter
// that motion blur restarts. The renderer implements it.
class FrameSink {
public:
    virtual void RenderFrame() = 0;
    virtual void ResetFrameCounter() = 0;
    virtual void SetEdgeWidthInWorld(float width) = 0;

protected:
    ~FrameSink() = default;
};

// Scene and window coordinates as the last frame's camera relates them:
// window x, y from the top-left and a depth. The renderer implements it.
class ScreenProjection {
public:
    virtual Vec3 ProjectPoint(const Vec3& p) const = 0;
    virtual Vec3 UnprojectPoint(const Vec3& w) const = 0;

protected:
    ~ScreenProjection() = default;
};

// Modifier keys held at a mouse event.
struct MouseKeys {
    bool shift = false;
    bool control = false;
};

// The one view of the scene: its options (loaded from the settings at
// construction), the camera and light state the document reaches, the
// camera's motion, the animation step and the view's command table.
class CBodyView {
public:
    // Attaches itself to doc (doc.AttachViewState) for its lifetime.
    CBodyView(CBodyDoc& doc, SettingsStore& settings);
    ~CBodyView();
    CBodyView(const CBodyView&) = delete;
    CBodyView& operator=(const CBodyView&) = delete;

    CBodyDoc& Document() { return doc_; }
    ViewOptions& Options() { return options_; }
    const ViewOptions& Options() const { return options_; }
    SceneViewState& State() { return state_; }
    const SceneViewState& State() const { return state_; }
    CameraMotion& Motion() { return motion_; }

    // Not owned; null until the drawing side exists.
    void SetFrameSink(FrameSink* sink) { frames_ = sink; }

    // One step of the animation loop. Without the focus nothing moves and
    // nothing is drawn, and the caller should sleep 100 ms; returns whether
    // the step ran.
    bool AnimateStep(bool hasFocus, KeyboardState& keys);

    // The view's command table. Query answers the update rule; Execute runs
    // the handler only when the rule enables it, and returns whether it ran.
    // Handles tells, without a view, whether the view has a command at all:
    // the others need the desktop.
    static bool Handles(int id);
    CommandState Query(int id) const;
    bool Execute(int id);

    // The left mouse button: picking, selecting and pinning nodes, dragging
    // figure 0 and, with Ctrl, scaling the model. Pointer positions are client
    // pixels from the top-left. Nothing happens without a projection.
    void SetProjection(const ScreenProjection* projection) { projection_ = projection; }
    void OnLButtonDown(int x, int y, MouseKeys keys);
    void OnMouseMove(int x, int y, MouseKeys keys);
    void OnLButtonUp(MouseKeys keys);
    bool Dragging() const { return mouse_.buttonDown; }
    // The node nearest (x, y) within 10 pixels, or kNoIndex.
    int PickNode(int x, int y) const;
    double NodeScreenDistance(int node, int x, int y) const;
    bool NodeInRect(int node, int x0, int y0, int x1, int y1) const;

    // The selected-node count of the last left-button release.
    int SelectedCount() const { return selectedCount_; }
    void SetSelectedCount(int count) { selectedCount_ = count; }

    float EdgeWidthInWorld() const { return edgeWidthWorld_; }

private:
    void SetPresetView(float elevation, float azimuth);

    struct MouseState {
        bool buttonDown = false;
        int dragX = 0, dragY = 0;      // the pointer at the press, then at each move
        int anchorX = 0, anchorY = 0;  // the pointer at the press
        bool nodeHit = false;
    };

    CBodyDoc& doc_;
    const ScreenProjection* projection_ = nullptr;
    MouseState mouse_;
    ViewOptions options_;
    SceneViewState state_;
    CameraMotion motion_;
    FrameSink* frames_ = nullptr;
    float edgeWidthWorld_ = 0.0f;
    int selectedCount_ = 0;
};

} // namespace qm
