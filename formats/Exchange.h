#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

#include "scene/BodyDoc.h"

namespace qm {

// What an import or export came to, for callers that map it to an exit code.
// Every failure has already been shown through the document's messages.
enum class ExchangeResult {
    kOk,
    kCannotOpen,  // the file could not be opened, read or written
    kWrongFormat, // not a file of this format; the mesh is empty (a model file leaves it as it was)
    kBadData,     // the file contradicts itself; the mesh is empty
    kOutOfMemory, // the mesh was discarded, or a DXF mesh was left unwelded
};

// Bounding box of the points an importer stores, empty to begin with.
struct MeshBounds {
    Vec3 min{1e10f, 1e10f, 1e10f};
    Vec3 max{-1e10f, -1e10f, -1e10f};

    // A NaN coordinate widens nothing.
    void Widen(const Vec3& v)
    {
        min = Vec3(std::min(min.x, v.x), std::min(min.y, v.y), std::min(min.z, v.z));
        max = Vec3(std::max(max.x, v.x), std::max(max.y, v.y), std::max(max.z, v.z));
    }
};

// Centres an imported mesh on the origin and scales it to a 30-unit diagonal,
// then stands node 0 and the camera target where the model can be seen.
// Nothing happens to an empty mesh.
void FitMeshToView(CBodyDoc& doc, const MeshBounds& bounds);

// Figure slot 0 back to its default rest pose, with the mesh bound to it and
// its normals recomputed.
void RestoreDefaultPoseAndBind(CBodyDoc& doc);

// Opens path for reading. When it cannot, the user is told (path followed by
// the cannot-open text) and the result is false.
bool OpenForReading(CBodyDoc& doc, const std::string& path, std::ifstream& file);
void ReportCannotOpen(CBodyDoc& doc, const std::string& path);

// Size of what is left in a stream, or -1 when it cannot seek.
int64_t RemainingBytes(std::istream& in);

} // namespace qm
