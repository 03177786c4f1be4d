#include "platform/OsMesaSurface.h"

#include <GL/osmesa.h>
#include <cstring>
#include <new>

namespace qm {

struct OsMesaSurface::Context {
    OSMesaContext handle = nullptr;
};

OsMesaSurface::OsMesaSurface(int width, int height, int accumBits)
    : context_(std::make_unique<Context>()), width_(width), height_(height)
{
    context_->handle = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, accumBits, nullptr);
}

OsMesaSurface::~OsMesaSurface()
{
    if (context_->handle)
        OSMesaDestroyContext(context_->handle);
}

void OsMesaSurface::Abandon()
{
    context_->handle = nullptr;
}

bool OsMesaSurface::MakeCurrent()
{
    if (!context_->handle || width_ <= 0 || height_ <= 0)
        return false;
    try {
        buffer_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!OSMesaMakeCurrent(context_->handle, buffer_.data(), GL_UNSIGNED_BYTE, width_, height_))
        return false;
    GLint accum = 0;
    glGetIntegerv(GL_ACCUM_RED_BITS, &accum);
    accumBits_ = accum;
    return true;
}

void OsMesaSurface::Present()
{
    // Read back rather than copy buffer_: OSMesa brings the buffer up to date
    // only after drawing, and a frame may end with glAccum(GL_RETURN), which
    // it does not count as drawing.
    presented_.resize(buffer_.size());
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, presented_.data());
    glPopClientAttrib();
}

std::vector<uint8_t> OsMesaSurface::ReadRgb() const
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
    if (presented_.empty())
        return rgb;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            Pixel(x, y, &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3]);
    return rgb;
}

void OsMesaSurface::Pixel(int x, int y, uint8_t rgb[3]) const
{
    if (presented_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    const size_t row = static_cast<size_t>(height_ - 1 - y);
    std::memcpy(rgb, &presented_[(row * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4], 3);
}

} // namespace qm
