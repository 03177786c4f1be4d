#pragma once

#include <cstdint>

namespace qm {

constexpr int kCaptureTextures = 8;

// The smallest power of two strictly greater than size (640 gives 1024, 512 gives 1024).
constexpr int TextureSizeFor(int size)
{
    int power = 1;
    while (power <= size && power < (1 << 30))
        power <<= 1;
    return power;
}

// The most memory a frame of width x height pixels can need, with every effect
// on: about 32 bytes a pixel for the colour, depth and accumulation buffers and
// the copies of the finished picture, and the eight RGBA capture textures.
constexpr uint64_t WorstCaseFrameBytes(int width, int height)
{
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    const uint64_t texels = uint64_t(TextureSizeFor(width)) * uint64_t(TextureSizeFor(height));
    return pixels * 32 + texels * 4 * kCaptureTextures;
}

// What a headless frame may need at most; a larger picture is refused before
// anything is allocated.
constexpr uint64_t kFrameMemoryLimit = uint64_t(1) << 30;

} // namespace qm
