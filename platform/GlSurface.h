#pragma once

namespace qm {

// Where frames are drawn: a window's double-buffered GL surface or an
// offscreen buffer. The renderer only needs it current, its size, whether it
// has an accumulation buffer, and a way to show the finished frame.
class GlSurface {
public:
    virtual ~GlSurface() = default;
    // False when no GL context can be had for the surface.
    virtual bool MakeCurrent() = 0;
    virtual void Present() = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool HasAccumBuffer() const = 0;
    // Surface pixels per pointer unit: 2 on a desktop scaled to 200 %, where
    // Width and Height count the surface's own pixels.
    virtual double PixelsPerPoint() const { return 1.0; }
};

} // namespace qm
