#include "render/OverlayText.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>

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

constexpr int kScale = 2;  // design pixels to overlay pixels at zoom 1

const GlyphDesign* Find(char c)
{
    for (const GlyphDesign& d : kDesigns)
        if (d.c == c)
            return &d;
    return nullptr;
}

} // namespace

bool OverlayFontHas(char c)
{
    return Find(c) != nullptr;
}

namespace {

// Window pixels for the overlay, top-left origin, nothing lit, textured or
// depth-tested; GL state and both matrices come back as they were.
class OverlayPixels {
public:
    OverlayPixels(int width, int height)
    {
        glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT | GL_COLOR_BUFFER_BIT | GL_PIXEL_MODE_BIT);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, width, height, 0, -1, 1);
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

// Integer corners cover whole pixels, so every glyph and side is sharp.
void FillPixels(int x, int y, int w, int h)
{
    glVertex2i(x, y);
    glVertex2i(x + w, y);
    glVertex2i(x + w, y + h);
    glVertex2i(x, y + h);
}

} // namespace

void DrawOverlayText(int x, int y, const std::string& text, int width, int height, int zoom)
{
    if (width <= 0 || height <= 0)
        return;
    const OverlayPixels pixels(width, height);
    const int cell = kScale * zoom;
    glColor3f(0, 0, 0);
    glBegin(GL_QUADS);
    for (size_t i = 0; i < text.size(); ++i) {
        const GlyphDesign* g = Find(text[i]);
        const int left = x + static_cast<int>(i) * kOverlayAdvance * zoom;
        for (int row = 0; g && row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g->rows[row][col] == '#')
                    FillPixels(left + col * cell, y + row * cell, cell, cell);
    }
    glEnd();
}

void DrawOverlayRectangle(int x0, int y0, int x1, int y1, int width, int height, int thickness)
{
    if (width <= 0 || height <= 0)
        return;
    const OverlayPixels pixels(width, height);
    glColor3f(1, 1, 1);
    const int left = std::min(x0, x1), right = std::max(x0, x1), top = std::min(y0, y1), bottom = std::max(y0, y1);
    const int across = right - left + thickness, down = bottom - top + thickness;
    glBegin(GL_QUADS);
    FillPixels(left, top, across, thickness);
    FillPixels(left, bottom, across, thickness);
    FillPixels(left, top, thickness, down);
    FillPixels(right, top, thickness, down);
    glEnd();
}

void DrawOverlayPicture(int x, int y, const OverlayPicture& picture, int width, int height)
{
    if (width <= 0 || height <= 0 || picture.width <= 0 ||
        picture.rgba.size() != size_t(picture.width) * size_t(picture.height) * 4)
        return;
    const OverlayPixels pixels(width, height);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // A raster position outside the window would draw nothing: the picture
    // stays within it, cut at the right and bottom when too large.
    glRasterPos2i(std::max(x, 0), std::max(y, 0));
    glPixelZoom(1.0f, -1.0f);  // its rows run top down
    glDrawPixels(picture.width, picture.height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
}

} // namespace qm
