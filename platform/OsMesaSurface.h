#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/GlSurface.h"

namespace qm {

// An offscreen GL surface on OSMesa: RGBA, 24-bit depth, 16-bit accumulation
// buffer (or none, as some windows get). Presenting keeps the finished frame
// for ReadRgb.
class OsMesaSurface final : public GlSurface {
public:
    OsMesaSurface(int width, int height, int accumBits = 16);
    ~OsMesaSurface() override;
    OsMesaSurface(const OsMesaSurface&) = delete;
    OsMesaSurface& operator=(const OsMesaSurface&) = delete;

    bool MakeCurrent() override;
    void Present() override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool HasAccumBuffer() const override { return accumBits_ > 0; }

    // Leaves the context to the end of the process: after running out of
    // memory inside it, Mesa may crash while tearing it down.
    void Abandon();

    // The last presented frame as 8-bit RGB rows, top row first.
    std::vector<uint8_t> ReadRgb() const;
    // The pixel at (x, y) from the top-left of the last presented frame.
    void Pixel(int x, int y, uint8_t rgb[3]) const;

private:
    struct Context;
    std::unique_ptr<Context> context_;
    int width_, height_;
    int accumBits_ = 0;
    std::vector<uint8_t> buffer_;     // RGBA, bottom row first, as GL draws it
    std::vector<uint8_t> presented_;  // copy of buffer_ at the last Present
};

} // namespace qm
