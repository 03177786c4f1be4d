#pragma once

#include <istream>
#include <string>

#include "formats/Exchange.h"

namespace qm {

// Replaces the mesh, its vertex groups and colour entries 0 to 12 with the
// model of a ROK file: points, lines, faces given by their lines, and the
// palette. The mesh is centred and scaled like a DXF import, polygons are
// turned outwards (away from their group's centroid, then against neighbours
// they fold back on), group binding is turned on and figure slot 0 goes back to
// its default rest pose. A file that contradicts itself gives an empty mesh.
ExchangeResult ImportRok(CBodyDoc& doc, const std::string& path);
ExchangeResult ImportRok(CBodyDoc& doc, std::istream& text);

} // namespace qm
