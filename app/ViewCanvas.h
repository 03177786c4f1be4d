#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Clock.h"
#include "platform/Keyboard.h"
#include "platform/wx/GlxCanvas.h"
#include "render/FrameRenderer.h"
#include "render/ViewFrames.h"
#include "view/BodyView.h"

namespace qm {

// The view's window: the GL surface the scene is drawn on, and where its
// keys, focus, size and paint events arrive.
class ViewCanvas final : public GlxCanvas {
public:
    ViewCanvas(wxWindow* parent, CBodyView& view, MessageSink& messages);

    // One idle call of the animation loop; false when the loop should pause.
    bool IdleStep();
    bool FirstFrameDrawn() const { return firstFrameDrawn_; }
    bool ContextFailed() const { return frames_.LastResult() == FrameRenderer::FrameResult::NoContext; }
    // Draws a frame and returns its picture without the overlay, RGB rows of
    // the client size in pixels, top row first; empty when nothing could be drawn.
    std::vector<uint8_t> Picture(int& width, int& height);

private:
    void RenderFrame();
    void WaitForFrameTime();

    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnKey(wxKeyEvent& event, bool down);
    void OnKillFocus(wxFocusEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnCameraButton(wxMouseEvent& event);
    void OnWheel(wxMouseEvent& event);
    void EndDrag();

    CBodyView& view_;
    SteadyClock clock_;
    LatchedKeyboard keyboard_;
    std::array<int, size_t(Key::Count)> pressedCodes_{};  // the toolkit's code of each key's last press
    FrameRenderer renderer_;
    ViewFrames frames_{renderer_};
    bool firstFrameDrawn_ = false;
    double hintScale_ = 0;  // the scale the start-up hint was drawn for
    std::chrono::steady_clock::duration framePeriod_{};  // found at the first step
    std::chrono::steady_clock::time_point nextFrame_;     // the next frame's earliest start
};

} // namespace qm
