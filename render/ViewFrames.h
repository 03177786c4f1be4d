#pragma once

#include "render/FrameRenderer.h"
#include "view/BodyView.h"

namespace qm {

// Lets the view's animation step and commands drive a renderer. The renderer
// must draw from the view's own options and state (construct it with
// view.Options() and view.State()), so that what the commands change is
// what the frames show.
class ViewFrames final : public FrameSink {
public:
    explicit ViewFrames(FrameRenderer& renderer) : renderer_(renderer) {}

    void RenderFrame() override { lastResult_ = renderer_.RenderFrame(); }
    void ResetFrameCounter() override { renderer_.ResetFrameCounter(); }
    void SetEdgeWidthInWorld(float width) override { renderer_.SetEdgeWidthInWorld(width); }
    void ShowSelectionRect(const ScreenRect* rect) override { renderer_.SetSelectionRect(rect); }

    // What the last frame came to; Drawn before the first.
    FrameRenderer::FrameResult LastResult() const { return lastResult_; }

private:
    FrameRenderer& renderer_;
    FrameRenderer::FrameResult lastResult_ = FrameRenderer::FrameResult::Drawn;
};

} // namespace qm
