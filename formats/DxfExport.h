#pragma once

#include <array>
#include <string>

#include "formats/Exchange.h"

namespace qm {

// The mesh as DXF text: one ENTITIES section of 3DFACEs on layer "body2",
// axes turned back the way ImportDxf turns them, each polygon's colour written
// as the default colour nearest to it. The document is not changed.
std::string FormatDxf(const CBodyDoc& doc);

// Writes FormatDxf to path, replacing any file there only once the whole text
// is on disk. On failure the user is told (path followed by the cannot-open
// text) and an existing file is left as it was.
ExchangeResult ExportDxf(CBodyDoc& doc, const std::string& path);

// For each entry of table, the entry of the default table nearest to it in
// RGB; equal distances go to the lowest entry.
std::array<int, kColourCount> NearestDefaultColours(const std::array<Rgb, kColourCount>& table);

} // namespace qm
