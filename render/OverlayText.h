#pragma once

#include <string>

namespace qm {

constexpr int kOverlayGlyphWidth = 10;
constexpr int kOverlayGlyphHeight = 14;
constexpr int kOverlayAdvance = 12;

// Draws text in black with the built-in bitmap font, its top-left corner at
// (x, y) pixels from the top-left of a width x height frame, so that the
// overlay looks the same in the window and in headless images. Leaves GL
// state and both matrices as it found them.
void DrawOverlayText(int x, int y, const std::string& text, int width, int height);

// Draws a thin white rectangle between two corners, in pixels from the
// top-left of a width x height frame; leaves GL state as it found it.
void DrawOverlayRectangle(int x0, int y0, int x1, int y1, int width, int height);

// Whether the built-in font has a glyph for c (others advance as blanks).
bool OverlayFontHas(char c);

} // namespace qm
