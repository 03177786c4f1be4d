#pragma once

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

// A PNG file's pixels as 8-bit RGB rows, top row first; empty when unreadable.
struct RgbPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;

    // The larger of the width and height fractions of the box around every
    // pixel that differs from the top-left one: how much of the picture the
    // model fills on a plain background.
    double FilledSpan() const
    {
        int x0 = width, y0 = height, x1 = -1, y1 = -1;
        for (int i = 0; i < width * height; ++i)
            if (!std::equal(&rgb[size_t(i) * 3], &rgb[size_t(i) * 3 + 3], rgb.data()))
                x0 = std::min(x0, i % width), x1 = std::max(x1, i % width), y0 = std::min(y0, i / width),
                y1 = std::max(y1, i / width);
        return x1 < 0 ? 0.0 : std::max(double(x1 - x0 + 1) / width, double(y1 - y0 + 1) / height);
    }
};

inline RgbPicture ReadPng(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    RgbPicture picture;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return picture;
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return RgbPicture{};
    }
    picture.width = int(image.width);
    picture.height = int(image.height);
    return picture;
}

} // namespace qm::test
