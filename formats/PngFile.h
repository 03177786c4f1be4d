#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Writes 8-bit RGB rows, top row first, as a PNG file, replacing any old file
// only once the whole image is written. False when it cannot be written.
bool WritePngRgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

} // namespace qm
