#pragma once

#include <cstdint>

#include "platform/Keyboard.h"
#include "platform/Settings.h"
#include "scene/BodyDoc.h"
#include "view/Animation.h"
#include "view/Commands.h"
#include "view/ViewOptions.h"

namespace qm {

// A rectangle in window pixels from the top-left, corners in any order.
struct ScreenRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// What the view needs of the drawing side: one frame, and the frame counter
// that motion blur restarts. The renderer implements it.
class FrameSink {
public:
    virtual void RenderFrame() = 0;
    virtual void ResetFrameCounter() = 0;
    virtual void SetEdgeWidthInWorld(float width) = 0;
    // The selection rectangle being dragged, drawn over the frames; null when none.
    virtual void ShowSelectionRect(const ScreenRect* rect) { (void)rect; }

protected:
    ~FrameSink() = default;
};

// Scene and window coordinates as the last frame's camera relates them:
// window x, y from the top-left and a depth. The renderer implements it.
class ScreenProjection {
public:
    virtual Vec3 ProjectPoint(const Vec3& p) const = 0;
    virtual Vec3 UnprojectPoint(const Vec3& w) const = 0;
    // The window's width over its height.
    virtual double Aspect() const { return 4.0 / 3.0; }

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
    // Whether the last command that ran refused to do its work (the user was told).
    bool LastCommandRefused() const { return refused_; }

    // The left mouse button: picking, selecting and pinning nodes, dragging
    // figure 0 and, with Ctrl, scaling the model. In skeleton edit mode a drag
    // that starts on a joint other than the waist moves that joint and the
    // other selected joints only ("Miroir": their mirror partners follow).
    // Pointer positions are client pixels from the top-left. Nothing happens
    // without a projection.
    void SetProjection(const ScreenProjection* projection) { projection_ = projection; }
    void OnLButtonDown(int x, int y, MouseKeys keys);
    void OnMouseMove(int x, int y, MouseKeys keys);
    void OnLButtonUp(MouseKeys keys);
    bool Dragging() const { return mouse_.buttonDown; }

    // The other buttons move the camera, in the same move handler: the wheel
    // zooms (notches away from the user bring the camera closer), a right
    // drag turns the camera around its target, a middle drag (or Shift +
    // right drag) moves the target across the view.
    void OnMouseWheel(double notches);
    void OnRButtonDown(int x, int y, MouseKeys keys);
    void OnMButtonDown(int x, int y);
    void OnCameraButtonUp();
    bool CameraDragging() const { return camera_.kind != CameraDrag::None; }

    // "Cadrer le modèle": the whole mesh in the window, the camera angles
    // kept and its glide stopped. False when there is no mesh.
    bool FrameModel();

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
    void MoveCamera(int x, int y);
    void MoveFigure(int x, int y);
    void MoveJoints(int x, int y);

    enum class CameraDrag { None, Orbit, Pan };
    struct CameraDragState {
        CameraDrag kind = CameraDrag::None;
        int x = 0, y = 0;  // the pointer at the press, then at each move
    };

    struct MouseState {
        bool buttonDown = false;
        int dragX = 0, dragY = 0;      // the pointer at the press, then at each move
        int anchorX = 0, anchorY = 0;  // the pointer at the press
        bool nodeHit = false;
        int joint = -1;  // the joint of figure 0 a skeleton edit drags alone, or -1
    };

    CBodyDoc& doc_;
    const ScreenProjection* projection_ = nullptr;
    MouseState mouse_;
    CameraDragState camera_;
    ViewOptions options_;
    SceneViewState state_;
    CameraMotion motion_;
    FrameSink* frames_ = nullptr;
    float edgeWidthWorld_ = 0.0f;
    int selectedCount_ = 0;
    bool refused_ = false;
};

} // namespace qm
