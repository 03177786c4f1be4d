#pragma once

#include <memory>

#include <wx/glcanvas.h>

#include "platform/GlSurface.h"

namespace qm {

// The frame buffer the viewer asks for: double-buffered RGBA, 24-bit depth
// and a 16-bit accumulation buffer when the display offers one. Chosen by
// hand, since GLX on Mesa hands out a 32-bit depth buffer for any request
// (polygon offsets then barely move anything). Falls back to the toolkit's
// defaults when no such configuration exists.
wxGLAttributes ViewerFramebufferAttributes();

// Makes the accumulation buffer average linearly: on an sRGB-capable window
// Mesa averages in sRGB space. Call before the first GL context exists; a
// value the user set is kept.
void PreferLinearAccumulation();

// A wxGLCanvas with its own context, as a GlSurface.
class GlxCanvas : public wxGLCanvas, public GlSurface {
public:
    explicit GlxCanvas(wxWindow* parent);
    ~GlxCanvas() override;

    bool MakeCurrent() override;
    void Present() override { SwapBuffers(); }
    int Width() const override;
    int Height() const override;
    bool HasAccumBuffer() const override { return accumBits_ > 0; }
    double PixelsPerPoint() const override;
    // Whether each swap waits for the display's next refresh (swap interval
    // 1), as far as the driver says; known once the context exists.
    bool SwapsWithDisplay() const { return swapsWithDisplay_; }

private:
    // Asks for swap interval 1 through the GLX swap-control extensions of the
    // current context; false when none is offered.
    bool SwapWithTheDisplay();

    std::unique_ptr<wxGLContext> context_;
    int accumBits_ = 0;
    bool swapsWithDisplay_ = false;
};

} // namespace qm
