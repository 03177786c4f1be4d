#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// The distance from one character to the next, in pixels at zoom 1.
constexpr int kOverlayAdvance = 12;

// Draws text in black with the built-in bitmap font, its top-left corner at
// (x, y) pixels from the top-left of a width x height frame, so that the
// overlay looks the same in the window and in headless images; zoom
// multiplies the glyphs' size, as a scaled desktop does. Leaves GL state and
// both matrices as it found them.
void DrawOverlayText(int x, int y, const std::string& text, int width, int height, int zoom = 1);

// Draws a white rectangle of sides thickness pixels wide between two corners,
// in pixels from the top-left of a width x height frame; leaves GL state as
// it found it.
void DrawOverlayRectangle(int x0, int y0, int x1, int y1, int width, int height, int thickness = 1);

// A picture for the overlay: 8-bit RGBA rows, top row first, alpha not
// premultiplied.
struct OverlayPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// Blends picture over the frame, its top-left corner at (x, y) pixels from
// the frame's top-left; leaves GL state as it found it.
void DrawOverlayPicture(int x, int y, const OverlayPicture& picture, int width, int height);

// Whether the built-in font has a glyph for c (others advance as blanks).
bool OverlayFontHas(char c);

} // namespace qm
