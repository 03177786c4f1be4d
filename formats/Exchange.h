#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
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
// its normals recomputed: the end of every mesh import, which marks the scene changed.
void RestoreDefaultPoseAndBind(CBodyDoc& doc);

// Opens path for reading. When it cannot, the user is told (path followed by
// the cannot-open text) and the result is false.
bool OpenForReading(CBodyDoc& doc, const std::string& path, std::ifstream& file);
void ReportCannotOpen(CBodyDoc& doc, const std::string& path);

// A reader's message about its input: with the file's path while a
// NamedImport of it lives (ReadSized and the model import make one), so that
// a translation may name it.
void ReportAboutInput(CBodyDoc& doc, const char* text);

class NamedImport {
public:
    NamedImport(CBodyDoc& doc, const std::string& path);
    ~NamedImport() { doc_.importPath.clear(); }
    NamedImport(const NamedImport&) = delete;
    NamedImport& operator=(const NamedImport&) = delete;

private:
    CBodyDoc& doc_;
};

// Size of what is left in a stream, or -1 when it cannot seek.
int64_t RemainingBytes(std::istream& in);

// The most a reader takes from a pipe or a device, which cannot say how much
// they hold: a count in the text can then be checked against the bytes there are.
inline constexpr int64_t kMaxStreamedBytes = int64_t(256) << 20;

// Runs read over the text with its size in bytes. A stream of unknown size
// (bytes < 0) is read whole first, up to kMaxStreamedBytes; a longer one is
// refused as bad data, the user told.
ExchangeResult ReadSized(CBodyDoc& doc, std::istream& in, int64_t bytes,
                         const std::function<ExchangeResult(std::istream&, int64_t)>& read);
// The same for a file, open in file: a regular file is read where it is.
ExchangeResult ReadSized(CBodyDoc& doc, const std::string& path, std::ifstream& file,
                         const std::function<ExchangeResult(std::istream&, int64_t)>& read);

} // namespace qm
