#include "render/OverlayText.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace qm {

namespace {

// 5 x 7 glyphs, top row first, drawn at twice their size: the characters the
// overlay's two lines need.
struct GlyphDesign {
    char c;
    const char* rows[7];
};

constexpr GlyphDesign kDesigns[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'/', {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'p', {".....", ".....", "####.", "#...#", "####.", "#....", "#...."}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'y', {".....", ".....", "#...#", "#...#", ".####", "....#", ".###."}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."}},
    {'x', {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    // and those of the translated words
    {'g', {".....", ".....", ".####", "#...#", ".####", "....#", ".###."}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#"}},
};

constexpr int kScale = 2;
constexpr int kRowBytes = (kOverlayGlyphWidth + 7) / 8;
using GlyphBitmap = std::array<uint8_t, kRowBytes * kOverlayGlyphHeight>;

// glBitmap's layout: bottom row first, most significant bit leftmost.
GlyphBitmap Expand(const GlyphDesign& design)
{
    GlyphBitmap bits{};
    for (int row = 0; row < kOverlayGlyphHeight; ++row) {
        const char* source = design.rows[6 - row / kScale];
        for (int col = 0; col < kOverlayGlyphWidth; ++col)
            if (source[col / kScale] == '#')
                bits[static_cast<size_t>(row * kRowBytes + col / 8)] |= static_cast<uint8_t>(0x80 >> (col % 8));
    }
    return bits;
}

const GlyphDesign* Find(char c)
{
    for (const GlyphDesign& d : kDesigns)
        if (d.c == c)
            return &d;
    return nullptr;
}

const GlyphBitmap* Glyph(char c)
{
    static const auto bitmaps = [] {
        std::array<GlyphBitmap, std::size(kDesigns)> all{};
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = Expand(kDesigns[i]);
        return all;
    }();
    const GlyphDesign* d = Find(c);
    return d ? &bitmaps[static_cast<size_t>(d - kDesigns)] : nullptr;
}

} // namespace

bool OverlayFontHas(char c)
{
    return Find(c) != nullptr;
}

namespace {

// Window pixels for the overlay, bottom-left origin, nothing lit, textured or
// depth-tested; GL state and both matrices come back as they were.
class OverlayPixels {
public:
    OverlayPixels(int width, int height)
    {
        glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT | GL_LINE_BIT);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, width, 0, height, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
    }
    ~OverlayPixels()
    {
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glPopClientAttrib();
        glPopAttrib();  // restores the matrix mode too
    }
    OverlayPixels(const OverlayPixels&) = delete;
    OverlayPixels& operator=(const OverlayPixels&) = delete;
};

} // namespace

void DrawOverlayText(int x, int y, const std::string& text, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const OverlayPixels pixels(width, height);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glColor3f(0, 0, 0);
    glRasterPos2i(x, height - y - kOverlayGlyphHeight);
    static const GlyphBitmap blank{};
    for (char c : text) {
        const GlyphBitmap* g = Glyph(c);
        glBitmap(kOverlayGlyphWidth, kOverlayGlyphHeight, 0, 0, kOverlayAdvance, 0, (g ? *g : blank).data());
    }
}

void DrawOverlayRectangle(int x0, int y0, int x1, int y1, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const OverlayPixels pixels(width, height);
    glLineWidth(1.0f);
    glColor3f(1, 1, 1);
    // Through the pixel centres, so that each side is one pixel wide.
    const float left = float(std::min(x0, x1)) + 0.5f, right = float(std::max(x0, x1)) + 0.5f;
    const float top = float(height - std::min(y0, y1)) - 0.5f, bottom = float(height - std::max(y0, y1)) - 0.5f;
    glBegin(GL_LINE_LOOP);
    glVertex2f(left, top);
    glVertex2f(right, top);
    glVertex2f(right, bottom);
    glVertex2f(left, bottom);
    glEnd();
}

} // namespace qm
