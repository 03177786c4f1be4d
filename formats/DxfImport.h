#pragma once

#include <istream>
#include <string>

#include "formats/Exchange.h"

namespace qm {

// Replaces the mesh with the 3DFACE entities of a DXF file: axes converted,
// centred and scaled to a 30-unit diagonal, coincident corners welded, figure
// slot 0 back in its default rest pose and the mesh bound to it; group binding
// is turned off and the colour table set to its defaults. The stream form does
// the same with text already open (read as binary: every line ending is handled).
ExchangeResult ImportDxf(CBodyDoc& doc, const std::string& path);
ExchangeResult ImportDxf(CBodyDoc& doc, std::istream& text);

// Merges vertices closer than 0.001 into one, walking them sorted by x, then
// y, then z, all descending (ties in index order), and renumbers the polygon
// corners, turning a polygon whose first three corners are not distinct.
// O(n log n). Returns false, mesh unwelded, when there is no memory for it.
bool WeldVertices(CBodyDoc& doc);

} // namespace qm
